#include "imageio/library/pdf_reader.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "imageio/library/jpeg_reader.h"
#include "imageio/library/library_formats.h"
#include "imageio/library/pdf_page_survey.h"
#include "imageio/sample_rows.h"
#include "raster/thread_start.h"
#include "raster/upright_grid.h"

namespace vp {
namespace {

// What MuPDF may hold at once: far more than a scanned sheet's compressed image
// or a JBIG2 page (an A0 sheet at 600 dpi is 70 MB), far less than a hostile
// file could ask for. (MuPDF itself refuses images over 65536 pixels a side.)
constexpr std::size_t kLibraryBytes = std::size_t{384} << 20;
constexpr std::size_t kStoreBytes = std::size_t{16} << 20;
// Interpreting one page's content may take this long; a plotted A0 sheet takes seconds.
constexpr std::chrono::seconds kPageTime{60};
// Rendered rows are made this many bytes at a time.
constexpr std::int64_t kBandBytes = std::int64_t{8} << 20;
constexpr int kMinRenderDpi = PageChoice::kLowestDpi;
constexpr int kMaxRenderDpi = PageChoice::kHighestDpi;

// ---- MuPDF's allocations, counted against kLibraryBytes ----

struct Budget {
  std::size_t used = 0;
};
constexpr std::size_t kHeader = 16;  // keeps the block's alignment

void* budget_malloc(void* user, std::size_t size) {
  auto& budget = *static_cast<Budget*>(user);
  if (size > kLibraryBytes - budget.used) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  budget.used += size;
  return block + kHeader;
}

void budget_free(void* user, void* pointer) {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  static_cast<Budget*>(user)->used -= size;
  std::free(block);
}

void* budget_realloc(void* user, void* old, std::size_t size) {
  if (old == nullptr) return budget_malloc(user, size);
  auto& budget = *static_cast<Budget*>(user);
  auto* block = static_cast<unsigned char*>(old) - kHeader;
  std::size_t old_size = 0;
  std::memcpy(&old_size, block, sizeof old_size);
  if (size > old_size && size - old_size > kLibraryBytes - budget.used) return nullptr;
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  budget.used = budget.used - old_size + size;
  return grown + kHeader;
}

void stay_silent(void*, const char*) {}

// Sets the cookie's abort flag once the time is up, unless finished before. A
// system that refuses the watching thread leaves the work unwatched.
class Deadline {
 public:
  Deadline(fz_cookie& cookie, std::chrono::seconds limit)
      : thread_(try_start_thread([this, &cookie, limit] {
          std::unique_lock lock(mutex_);
          if (!finished_signal_.wait_for(lock, limit, [this] { return finished_; })) cookie.abort = 1;
        })) {}
  ~Deadline() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    finished_signal_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable finished_signal_;
  bool finished_ = false;
  std::thread thread_;  // last: started once the rest is ready
};

// A resolution within a hundredth of a whole number is that number: page sizes
// in points are rarely exact to the pixel.
double page_dpi(int pixels, float points) {
  const double dpi = pixels * 72.0 / points;
  const double whole = std::round(dpi);
  return std::fabs(dpi - whole) < 0.01 ? whole : std::round(dpi * 100) / 100;
}

// Whether every component's Decode range is [0 top], the default (top is 1, or
// the highest index of an indexed image): nothing to turn round or stretch.
bool plain_decode(const fz_image& image, float top) {
  for (int c = 0; c < image.n; ++c) {
    if (image.decode[2 * c] != 0 || image.decode[2 * c + 1] != top) return false;
  }
  return true;
}

std::string code_name(const fz_compression_params& params) {
  switch (params.type) {
    case FZ_IMAGE_FAX:
      return params.u.fax.k < 0 ? "CCITT G4" : params.u.fax.k == 0 ? "CCITT G3 1-D" : "CCITT G3 2-D";
    case FZ_IMAGE_JBIG2:
      return "JBIG2";
    case FZ_IMAGE_JPEG:
      return "DCT (JPEG)";
    case FZ_IMAGE_FLATE:
      return "Flate";
    case FZ_IMAGE_LZW:
      return "LZW";
    case FZ_IMAGE_RLD:
      return "RunLength";
    case FZ_IMAGE_RAW:
      return "uncompressed";
    default:
      return "other";
  }
}

// MuPDF takes /EncodedByteAlign in a G3 code to mean that each EOL ends on a
// byte (fill bits before it) under /EndOfLine true, and that each row starts on
// one otherwise. Coders also start the EOLs on bytes (the fill after the row), or
// leave /EndOfLine out of a code full of EOLs, and MuPDF loses the rows of both.
// In a code that holds EOLs they mark the rows themselves and the zeros before
// them are fill, skipped wherever they lie: the alignment is better not looked for.
void find_rows_by_eols(fz_context* ctx, fz_compressed_buffer& code) {
  auto& fax = code.params.u.fax;
  if (code.params.type != FZ_IMAGE_FAX || fax.k < 0 || fax.encoded_byte_align == 0) return;
  unsigned char* data = nullptr;
  const std::size_t size = fz_buffer_storage(ctx, code.buffer, &data);
  // A G3 code starts with its first EOL, if it has any: eleven zero bits and a
  // one. No run or mode code starts with more than seven.
  int zeros = 0;
  for (std::size_t i = 0; i < size && zeros < 11; ++i) {
    zeros += std::countl_zero(data[i]);
    if (data[i] != 0) break;
  }
  if (zeros >= 11) fax.encoded_byte_align = 0;
}

// ---- The calls into MuPDF that may throw ----
// Each holds nothing with a destructor between its fz_try and fz_catch (setjmp
// and longjmp), and whatever it sets inside is volatile.

fz_stream* open_decoder(fz_context* ctx, fz_compressed_buffer* code) {
  fz_stream* volatile stream = nullptr;
  fz_try(ctx) { stream = fz_open_image_decomp_stream_from_buffer(ctx, code, nullptr); }
  fz_catch(ctx) { return nullptr; }
  return stream;
}

// Whether `size` bytes came.
bool read_exactly(fz_context* ctx, fz_stream* stream, unsigned char* to, std::size_t size) {
  volatile std::size_t got = 0;
  fz_try(ctx) { got = fz_read(ctx, stream, to, size); }
  fz_catch(ctx) { return false; }
  return got == size;
}

// The band of the page in grey, white where nothing is drawn; none after a fault.
fz_pixmap* render_band(fz_context* ctx, fz_display_list* list, fz_matrix ctm, fz_irect band, fz_cookie* cookie) {
  fz_pixmap* volatile pixels = nullptr;
  fz_device* volatile painter = nullptr;
  fz_try(ctx) {
    pixels = fz_new_pixmap_with_bbox(ctx, fz_device_gray(ctx), band, nullptr, 0);
    fz_clear_pixmap_with_value(ctx, pixels, 255);
    painter = fz_new_draw_device(ctx, fz_identity, pixels);
    fz_run_display_list(ctx, list, painter, ctm, fz_rect_from_irect(band), cookie);
    fz_close_device(ctx, painter);
  }
  fz_always(ctx) { fz_drop_device(ctx, painter); }
  fz_catch(ctx) {
    fz_drop_pixmap(ctx, pixels);
    return nullptr;
  }
  return pixels;
}

int count_pages(fz_context* ctx, pdf_document* doc) {
  volatile int count = 0;
  fz_try(ctx) { count = pdf_count_pages(ctx, doc); }
  fz_catch(ctx) { return 0; }
  return count;
}

fz_compressed_buffer* code_of(fz_context* ctx, fz_image* image) {
  fz_compressed_buffer* volatile code = nullptr;
  fz_try(ctx) { code = fz_compressed_image_buffer(ctx, image); }
  fz_catch(ctx) { return nullptr; }
  return code;
}

}  // namespace

// ---- The reader ----

struct PdfReader::Impl {
  enum class Way { None, Rendered, Jpeg, Streamed };

  Budget budget;
  fz_alloc_context allocator{&budget, budget_malloc, budget_realloc, budget_free};
  fz_context* ctx = nullptr;
  pdf_document* doc = nullptr;
  fz_page* page = nullptr;
  fz_display_list* list = nullptr;
  fz_image* image = nullptr;
  fz_compressed_buffer* code = nullptr;  // the image's, not ours
  fz_compressed_buffer decoding{};       // its copy as decoded: the image's bytes, our parameters
  int orientation = 1;                   // how the image's rows stand upright on the page
  Way way = Way::None;
  std::unique_ptr<JpegReader> jpeg;
  // Streamed images: samples as coded, turned round when the Decode array says so.
  bool invert = false;
  imageio::SampleLayout layout;
  imageio::GreyTable grey{};
  std::function<bool()> stop;  // the reader's stop check, asked between bands
  // Rendered pages.
  fz_matrix render_ctm = fz_identity;
  fz_irect render_box{};

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (ctx == nullptr) return;
    fz_drop_image(ctx, image);
    fz_drop_display_list(ctx, list);
    fz_drop_page(ctx, page);
    pdf_drop_document(ctx, doc);
    fz_drop_context(ctx);
  }

  ImageStatus open(const std::string& path, ImageInfo& info, const PageChoice& choice, int& pages, bool& locked);
  bool open_document(const std::string& path);
  bool record_page(int index, fz_rect& bounds);
  void survey(fz_rect bounds);
  ImageStatus take_image(ImageInfo& info, fz_rect bounds);
  ImageStatus take_rendering(ImageInfo& info, fz_rect bounds, int dpi);
  ImageStatus stream_rows(std::int32_t width, std::int32_t height,
                          const std::function<bool(std::int32_t, const std::uint8_t*)>& row);
  ImageStatus render_rows(const std::function<bool(std::int32_t, const std::uint8_t*)>& row);
};

// The steps that call into MuPDF hold nothing with a destructor between their
// fz_try and its fz_catch, which are setjmp and longjmp.
bool PdfReader::Impl::open_document(const std::string& path) {
  volatile bool ok = true;
  fz_try(ctx) { doc = pdf_open_document(ctx, path.c_str()); }
  fz_catch(ctx) { ok = false; }
  return ok && doc != nullptr;
}

bool PdfReader::Impl::record_page(int index, fz_rect& bounds) {
  fz_cookie cookie{};
  Deadline deadline(cookie, kPageTime);
  fz_device* volatile recorder = nullptr;
  volatile bool ok = true;
  fz_try(ctx) {
    page = fz_load_page(ctx, &doc->super, index);
    bounds = fz_bound_page(ctx, page);
    list = fz_new_display_list(ctx, bounds);
    recorder = fz_new_list_device(ctx, list);
    fz_run_page(ctx, page, recorder, fz_identity, &cookie);
    fz_close_device(ctx, recorder);
  }
  fz_always(ctx) { fz_drop_device(ctx, recorder); }
  fz_catch(ctx) { ok = false; }
  return ok && cookie.abort == 0 && !fz_is_empty_rect(bounds);
}

// A fault while looking leaves the page to be rendered, which meets it again.
void PdfReader::Impl::survey(fz_rect bounds) {
  image = pdf::single_page_image(ctx, list, bounds, orientation);
  if (image != nullptr) code = code_of(ctx, image);
}

ImageStatus PdfReader::Impl::open(const std::string& path, ImageInfo& info, const PageChoice& choice, int& pages,
                                  bool& locked) {
  ctx = fz_new_context(&allocator, nullptr, kStoreBytes);
  if (ctx == nullptr) throw std::bad_alloc();
  fz_set_error_callback(ctx, stay_silent, nullptr);
  fz_set_warning_callback(ctx, stay_silent, nullptr);
  if (!open_document(path)) return ImageStatus::Unreadable;
  if (pdf_needs_password(ctx, doc)) {
    locked = true;
    return ImageStatus::Unsupported;
  }
  const int count = count_pages(ctx, doc);
  // A file MuPDF had to mend (cut short, offsets wrong) is damaged, whatever it mended.
  if (pdf_was_repaired(ctx, doc)) return ImageStatus::Unreadable;
  pages = std::max(count, 0);
  if (choice.index < 0 || choice.index >= pages) return ImageStatus::Unreadable;
  fz_rect bounds{};
  if (!record_page(choice.index, bounds) || pdf_was_repaired(ctx, doc)) return ImageStatus::Unreadable;
  survey(bounds);
  info.format = "PDF";
  if (image != nullptr && code != nullptr) {
    const ImageStatus taken = take_image(info, bounds);
    if (taken != ImageStatus::Unsupported) return taken;
    info = ImageInfo{};
    info.format = "PDF";
  }
  return take_rendering(info, bounds, choice.render_dpi);
}

// The page's one image as it is; Unsupported for one that must be rendered instead.
ImageStatus PdfReader::Impl::take_image(ImageInfo& info, fz_rect bounds) {
  const fz_image& im = *image;
  if (im.w <= 0 || im.h <= 0) return ImageStatus::Unreadable;
  const std::string code_text = code_name(code->params);
  info.encoding = "embedded image, " + code_text + (im.imagemask ? ", image mask" : "");
  info.width = im.w;
  info.height = im.h;
  // The image's rows run down the page when it lies on its side there.
  const bool sideways = turns_sideways(orientation);
  info.x_dpi = page_dpi(im.w, sideways ? bounds.y1 - bounds.y0 : bounds.x1 - bounds.x0);
  info.y_dpi = page_dpi(im.h, sideways ? bounds.x1 - bounds.x0 : bounds.y1 - bounds.y0);
  // A JPEG's own EXIF orientation is not the page's: viewers place the pixels as coded.
  info.orientation = orientation;
  if (code->params.type == FZ_IMAGE_JPEG) {
    unsigned char* data = nullptr;
    const std::size_t size = fz_buffer_storage(ctx, code->buffer, &data);
    if (size == 0 || im.use_decode) return ImageStatus::Unsupported;
    jpeg = std::make_unique<JpegReader>();
    const ImageStatus status = jpeg->open_memory(std::vector<std::uint8_t>(data, data + size));
    if (status != ImageStatus::Ok) return status;
    const ImageInfo& coded = jpeg->info();
    if (coded.width != im.w || coded.height != im.h) return ImageStatus::Unreadable;
    info.kind = coded.kind;
    info.bits_per_pixel = coded.bits_per_pixel;
    info.ink_index = coded.ink_index;
    info.blurred_grey = true;
    way = Way::Jpeg;
    return ImageStatus::Ok;
  }
  switch (code->params.type) {
    case FZ_IMAGE_FAX:
    case FZ_IMAGE_JBIG2:
    case FZ_IMAGE_FLATE:
    case FZ_IMAGE_LZW:
    case FZ_IMAGE_RLD:
    case FZ_IMAGE_RAW:
      break;
    default:
      return ImageStatus::Unsupported;  // JPEG 2000 and the like: rendered
  }
  decoding = *code;
  find_rows_by_eols(ctx, decoding);
  const int bits = im.bpc;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return ImageStatus::Unsupported;
  const fz_colorspace* space = im.colorspace;
  const enum fz_colorspace_type type = space == nullptr ? FZ_COLORSPACE_GRAY : space->type;
  const int max = (1 << bits) - 1;
  if (im.imagemask || (type == FZ_COLORSPACE_GRAY && im.n == 1)) {
    // After turning round, 0 is black (or, in a mask, what is painted).
    invert = im.decode[0] > im.decode[1];
    info.kind = PixelKind::Grey;
    info.ink_index = 0;
    grey = imageio::grey_levels_of_samples(bits, false);
  } else if (type == FZ_COLORSPACE_RGB && im.n == 3 && bits == 8 && plain_decode(im, 1)) {
    info.kind = PixelKind::Rgb;
    info.ink_index = -1;
  } else if (type == FZ_COLORSPACE_INDEXED && im.n == 1 && plain_decode(im, max)) {
    const fz_colorspace* base = space->u.indexed.base;
    const int high = space->u.indexed.high;
    const int base_n = base == nullptr ? 0 : base->n;
    if ((base_n != 1 && base_n != 3) || high < 0 || high > 255) return ImageStatus::Unsupported;
    std::vector<imageio::Colour> palette(static_cast<std::size_t>(high) + 1);
    for (std::size_t i = 0; i < palette.size(); ++i) {
      const unsigned char* entry = space->u.indexed.lookup + i * static_cast<std::size_t>(base_n);
      palette[i] =
          base_n == 1 ? imageio::Colour{entry[0], entry[0], entry[0]} : imageio::Colour{entry[0], entry[1], entry[2]};
    }
    // Samples above the last entry take the last entry.
    for (int v = 0; v <= max; ++v) {
      const imageio::Colour& c = palette[static_cast<std::size_t>(std::min(v, high))];
      grey[static_cast<std::size_t>(v)] =
          luma(static_cast<std::uint8_t>(c.red), static_cast<std::uint8_t>(c.green), static_cast<std::uint8_t>(c.blue));
    }
    info.kind = PixelKind::Palette;
    info.palette_entries = high + 1;
    info.ink_index = imageio::nearest_to_black(palette);
  } else {
    return ImageStatus::Unsupported;  // CMYK, Lab, spot colours, 16-bit samples: rendered
  }
  info.bits_per_pixel = bits * im.n;
  layout = imageio::layout_of(info);
  way = Way::Streamed;
  return ImageStatus::Ok;
}

ImageStatus PdfReader::Impl::take_rendering(ImageInfo& info, fz_rect bounds, int dpi) {
  dpi = std::clamp(dpi, kMinRenderDpi, kMaxRenderDpi);
  render_ctm = fz_scale(dpi / 72.0f, dpi / 72.0f);
  render_box = fz_round_rect(fz_transform_rect(bounds, render_ctm));
  const std::int64_t width = std::int64_t{render_box.x1} - render_box.x0;
  const std::int64_t height = std::int64_t{render_box.y1} - render_box.y0;
  if (width <= 0 || height <= 0 || width > imageio::kMaxImageSide || height > imageio::kMaxImageSide)
    return ImageStatus::Unreadable;
  info.encoding = "rendered in grey at " + std::to_string(dpi) + " dpi";
  info.width = static_cast<std::int32_t>(width);
  info.height = static_cast<std::int32_t>(height);
  info.bits_per_pixel = 8;
  info.kind = PixelKind::Grey;
  info.ink_index = 0;
  info.x_dpi = info.y_dpi = dpi;
  info.blurred_grey = true;
  layout = imageio::layout_of(info);
  way = Way::Rendered;
  return ImageStatus::Ok;
}

ImageStatus PdfReader::Impl::stream_rows(std::int32_t width, std::int32_t height,
                                         const std::function<bool(std::int32_t, const std::uint8_t*)>& row) {
  const std::uint64_t bytes = (std::uint64_t{static_cast<std::uint32_t>(width)} * image->n * image->bpc + 7) / 8;
  if (bytes > imageio::kMaxBufferBytes) throw std::bad_alloc();
  std::vector<std::uint8_t> samples(bytes);
  fz_stream* stream = open_decoder(ctx, &decoding);
  if (stream == nullptr) return ImageStatus::Unreadable;
  ImageStatus status = ImageStatus::Ok;
  for (std::int32_t y = 0; y < height; ++y) {
    if (!read_exactly(ctx, stream, samples.data(), samples.size())) {
      status = ImageStatus::Unreadable;  // cut short or damaged
      break;
    }
    if (invert) {
      for (std::uint8_t& b : samples) b = static_cast<std::uint8_t>(~b);
    }
    if (!row(y, samples.data())) break;
  }
  fz_drop_stream(ctx, stream);
  return status;
}

ImageStatus PdfReader::Impl::render_rows(const std::function<bool(std::int32_t, const std::uint8_t*)>& row) {
  const std::int64_t width = std::int64_t{render_box.x1} - render_box.x0;
  const std::int32_t height = render_box.y1 - render_box.y0;
  const std::int32_t band_rows = static_cast<std::int32_t>(std::clamp<std::int64_t>(kBandBytes / width, 1, height));
  fz_cookie cookie{};
  Deadline deadline(cookie, kPageTime);
  for (std::int32_t top = 0; top < height; top += band_rows) {
    if (stop && stop()) return ImageStatus::Unreadable;
    const fz_irect band{render_box.x0, render_box.y0 + top, render_box.x1,
                        render_box.y0 + std::min(height, top + band_rows)};
    fz_pixmap* pixels = render_band(ctx, list, render_ctm, band, &cookie);
    if (pixels == nullptr || cookie.abort != 0) {
      fz_drop_pixmap(ctx, pixels);
      return ImageStatus::Unreadable;
    }
    const unsigned char* samples = fz_pixmap_samples(ctx, pixels);
    const std::ptrdiff_t stride = fz_pixmap_stride(ctx, pixels);
    bool more = true;
    for (std::int32_t y = band.y0; y < band.y1 && more; ++y) {
      more = row(y - render_box.y0, samples + (y - band.y0) * stride);
    }
    fz_drop_pixmap(ctx, pixels);
    if (!more) break;
  }
  return ImageStatus::Ok;
}

PdfReader::PdfReader() : impl_(std::make_unique<Impl>()) {}
PdfReader::~PdfReader() = default;

ImageStatus PdfReader::open(const std::string& path) {
  info_ = ImageInfo{};
  page_count_ = 0;
  password_protected_ = false;
  impl_ = std::make_unique<Impl>();
  const ImageStatus status = impl_->open(path, info_, choice_, page_count_, password_protected_);
  if (status != ImageStatus::Ok) {
    impl_ = std::make_unique<Impl>();
    info_ = ImageInfo{};
  }
  return status;
}

void PdfReader::forward_stop_check() {
  impl_->stop = [this] { return stop_requested(); };
  if (impl_->jpeg) impl_->jpeg->set_stop_check(impl_->stop);
}

bool PdfReader::has_grey_levels() const {
  if (impl_->way == Impl::Way::Jpeg) return impl_->jpeg->has_grey_levels();
  return impl_->way != Impl::Way::None && info_.bits_per_pixel > 1;
}

ImageStatus PdfReader::read_rows(const InkRowSink& sink) {
  forward_stop_check();
  switch (impl_->way) {
    case Impl::Way::None:
      return ImageStatus::Unreadable;
    case Impl::Way::Jpeg:
      return impl_->jpeg->read_rows(sink);
    case Impl::Way::Streamed:
    case Impl::Way::Rendered:
      break;
  }
  std::vector<std::uint64_t> ink(imageio::ink_words(info_.width));
  const auto row = [&](std::int32_t y, const std::uint8_t* samples) {
    std::fill(ink.begin(), ink.end(), 0);
    imageio::ink_row(samples, info_.width, impl_->layout, ink.data());
    return sink(y, ink);
  };
  if (impl_->way == Impl::Way::Rendered) return impl_->render_rows(row);
  return impl_->stream_rows(info_.width, info_.height, row);
}

ImageStatus PdfReader::read_grey_rows(const GreyRowSink& sink) {
  if (!has_grey_levels()) return ImageStatus::Unsupported;
  forward_stop_check();
  const auto width = static_cast<std::size_t>(info_.width);
  switch (impl_->way) {
    case Impl::Way::Jpeg:
      return impl_->jpeg->read_grey_rows(sink);
    case Impl::Way::Rendered:
      return impl_->render_rows([&](std::int32_t y, const std::uint8_t* samples) { return sink(y, {samples, width}); });
    default:
      break;
  }
  std::vector<std::uint8_t> grey(width);
  return impl_->stream_rows(info_.width, info_.height, [&](std::int32_t y, const std::uint8_t* samples) {
    imageio::grey_row(samples, info_.width, impl_->layout, impl_->grey, grey.data());
    return sink(y, grey);
  });
}

std::unique_ptr<ImageReader> make_pdf_reader() { return std::make_unique<PdfReader>(); }

}  // namespace vp
