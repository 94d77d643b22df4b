#include "imageio/library/png_reader.h"
#include "imageio/library/library_formats.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include "imageio/sample_rows.h"

namespace vp {
namespace {

using imageio::kMaxBufferBytes;
using imageio::kMaxImageSide;

[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

// The only frames that call into libpng. An error there jumps back to the
// setjmp of the step that made the call, skipping every frame in between; so
// these steps hold nothing with a destructor, and no C++ frame lies between
// them and libpng.
bool begin_reading(png_structp png, png_infop info, std::FILE* file) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, static_cast<png_uint_32>(kMaxImageSide), static_cast<png_uint_32>(kMaxImageSide));
  png_read_info(png, info);
  return true;
}

bool read_next_row(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool read_whole_image(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_read_image(png, rows);
  return true;
}

}  // namespace

struct PngReader::Impl {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool interlaced = false;
  bool rows_read = false;
  imageio::SampleLayout layout;
  imageio::GreyTable grey{};  // grey and palette images
  std::size_t row_bytes = 0;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (file != nullptr) std::fclose(file);
  }

  ImageStatus open(const std::string& path, ImageInfo& out);
};

PngReader::PngReader() : impl_(std::make_unique<Impl>()) {}
PngReader::~PngReader() = default;

ImageStatus PngReader::open(const std::string& path) {
  path_ = path;
  return open_afresh(impl_, info_, path);
}

ImageStatus PngReader::Impl::open(const std::string& path, ImageInfo& out) {
  file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return ImageStatus::Unreadable;
  png_byte signature[8] = {};
  if (std::fread(signature, 1, sizeof signature, file) != sizeof signature || png_sig_cmp(signature, 0, 8) != 0) {
    return ImageStatus::Unreadable;
  }
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
  if (png == nullptr) throw std::bad_alloc();
  info = png_create_info_struct(png);
  if (info == nullptr) throw std::bad_alloc();
  if (!begin_reading(png, info, file)) return ImageStatus::Unreadable;

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int colour_type = png_get_color_type(png, info);
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return ImageStatus::Unreadable;
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
      if (depth > 8) return ImageStatus::Unsupported;
      out.kind = PixelKind::Grey;
      out.ink_index = 0;  // PNG grey is 0 for black
      out.bits_per_pixel = depth;
      grey = imageio::grey_levels_of_samples(depth, false);
      break;
    case PNG_COLOR_TYPE_PALETTE: {
      png_colorp entries = nullptr;
      int count = 0;
      if (png_get_PLTE(png, info, &entries, &count) == 0 || entries == nullptr || count <= 0) {
        return ImageStatus::Unreadable;
      }
      std::vector<imageio::Colour> palette(static_cast<std::size_t>(count));
      grey.fill(255);  // indices past the palette: white
      for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = {entries[i].red, entries[i].green, entries[i].blue};
        if (i < grey.size()) grey[i] = luma(entries[i].red, entries[i].green, entries[i].blue);
      }
      out.kind = PixelKind::Palette;
      out.palette_entries = count;
      out.ink_index = imageio::nearest_to_black(palette);
      out.bits_per_pixel = depth;
      break;
    }
    case PNG_COLOR_TYPE_RGB:
      if (depth != 8) return ImageStatus::Unsupported;
      out.kind = PixelKind::Rgb;
      out.ink_index = -1;
      out.bits_per_pixel = 24;
      break;
    default:  // grey with alpha, RGB with alpha
      return ImageStatus::Unsupported;
  }
  out.format = "PNG";
  out.width = static_cast<std::int32_t>(width);
  out.height = static_cast<std::int32_t>(height);
  interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  out.encoding = interlaced ? "interlaced" : "non-interlaced";
  layout = imageio::layout_of(out);
  const std::uint64_t bytes = imageio::row_bytes(width, layout);
  if (bytes != png_get_rowbytes(png, info)) return ImageStatus::Unreadable;
  if (bytes > kMaxBufferBytes) return ImageStatus::Unsupported;
  row_bytes = static_cast<std::size_t>(bytes);

  png_uint_32 x_resolution = 0;
  png_uint_32 y_resolution = 0;
  int unit = PNG_RESOLUTION_UNKNOWN;
  if (png_get_pHYs(png, info, &x_resolution, &y_resolution, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
    out.x_dpi = dpi_from_pixels_per_metre(x_resolution);
    out.y_dpi = dpi_from_pixels_per_metre(y_resolution);
  }
  return ImageStatus::Ok;
}

ImageStatus PngReader::restart() {
  if (impl_->png == nullptr) return ImageStatus::Unreadable;
  if (impl_->rows_read) {  // the stream is spent: start over
    const ImageInfo before = info_;
    if (open(path_) != ImageStatus::Ok || info_.width != before.width || info_.height != before.height) {
      return ImageStatus::Unreadable;
    }
  }
  impl_->rows_read = true;
  return ImageStatus::Ok;
}

bool PngReader::has_grey_levels() const { return impl_->png != nullptr && info_.bits_per_pixel > 1; }

// Not for interlaced images: their grey rows take a byte a pixel of memory at
// once, their ink a bit.
int PngReader::ink_grey_level() const {
  return has_grey_levels() && !impl_->interlaced ? imageio::ink_grey_level(impl_->layout, impl_->grey) : -1;
}

ImageStatus PngReader::read_grey_rows(const GreyRowSink& sink) {
  if (impl_->png == nullptr) return ImageStatus::Unreadable;
  if (!has_grey_levels()) return ImageStatus::Unsupported;
  if (const ImageStatus status = restart(); status != ImageStatus::Ok) return status;
  Impl& impl = *impl_;
  const std::int32_t width = info_.width;
  const std::int32_t height = info_.height;
  ZeroedBuffer<std::uint8_t> grey(static_cast<std::size_t>(width));
  // 8-bit grey is already what the sink takes: its rows go as they are.
  const bool as_stored = info_.kind == PixelKind::Grey && info_.bits_per_pixel == 8;
  if (!impl.interlaced) {
    ZeroedBuffer<png_byte> row(impl.row_bytes);
    for (std::int32_t r = 0; r < height; ++r) {
      if (!read_next_row(impl.png, row.data())) return ImageStatus::Unreadable;
      if (as_stored) {
        if (!sink(r, row)) break;
        continue;
      }
      imageio::grey_row(row.data(), width, impl.layout, impl.grey, grey.data());
      if (!sink(r, grey)) break;
    }
    return ImageStatus::Ok;
  }
  if (static_cast<std::uint64_t>(impl.row_bytes) * static_cast<std::uint64_t>(height) > imageio::kMaxBufferBytes) {
    return ImageStatus::Unsupported;
  }
  // Checked against the memory available, and costing memory only as rows decode.
  ZeroedBuffer<png_byte> image(impl.row_bytes * static_cast<std::size_t>(height));
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (std::size_t r = 0; r < rows.size(); ++r) rows[r] = image.data() + r * impl.row_bytes;
  if (!read_whole_image(impl.png, impl.info, rows.data())) return ImageStatus::Unreadable;
  for (std::int32_t r = 0; r < height; ++r) {
    imageio::grey_row(rows[static_cast<std::size_t>(r)], width, impl.layout, impl.grey, grey.data());
    if (!sink(r, grey)) break;
  }
  return ImageStatus::Ok;
}

ImageStatus PngReader::read_rows(const InkRowSink& sink) {
  if (const ImageStatus status = restart(); status != ImageStatus::Ok) return status;
  Impl& impl = *impl_;
  const std::int32_t width = info_.width;
  const std::int32_t height = info_.height;
  ZeroedBuffer<png_byte> row(impl.row_bytes);
  ZeroedBuffer<std::uint64_t> ink(imageio::ink_words(width));

  if (!impl.interlaced) {
    for (std::int32_t r = 0; r < height; ++r) {
      if (!read_next_row(impl.png, row.data())) return ImageStatus::Unreadable;
      imageio::ink_row(row.data(), width, impl.layout, ink.data());
      if (!sink(r, ink)) break;
    }
    return ImageStatus::Ok;
  }

  // Adam7: seven reduced images, each on its own grid of the full image.
  imageio::InkMask mask(width, height);
  const auto w = static_cast<png_uint_32>(width);
  const auto h = static_cast<png_uint_32>(height);
  for (int pass = 0; pass < 7; ++pass) {
    const png_uint_32 columns = PNG_PASS_COLS(w, pass);
    const png_uint_32 rows = PNG_PASS_ROWS(h, pass);
    if (columns == 0 || rows == 0) continue;  // libpng skips empty passes too
    for (png_uint_32 i = 0; i < rows; ++i) {
      if (!read_next_row(impl.png, row.data())) return ImageStatus::Unreadable;
      imageio::ink_row(row.data(), static_cast<std::int32_t>(columns), impl.layout, ink.data());
      const auto y = static_cast<std::int32_t>(PNG_ROW_FROM_PASS_ROW(i, pass));
      for (std::size_t k = 0; k < imageio::ink_words(columns); ++k) {
        for (std::uint64_t bits = ink[k]; bits != 0; bits &= bits - 1) {
          const auto j = static_cast<png_uint_32>(k * 64 + static_cast<unsigned>(std::countr_zero(bits)));
          mask.set(static_cast<std::int32_t>(PNG_COL_FROM_PASS_COL(j, pass)), y);
        }
      }
    }
  }
  mask.deliver(sink);
  return ImageStatus::Ok;
}

std::unique_ptr<ImageReader> make_png_reader() { return std::make_unique<PngReader>(); }

}  // namespace vp
