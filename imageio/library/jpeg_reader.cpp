#include "imageio/library/jpeg_reader.h"
#include "imageio/library/library_formats.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
// after jpeglib.h, whose version and features choose its messages
#include <jerror.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "imageio/sample_rows.h"
#include "raster/memory_budget.h"

namespace vp {
namespace {

// Far more scans than any encoder writes (a progressive file has about ten); a
// file of thousands of tiny scans would have the whole image decoded over and over.
constexpr int kMaxScans = 500;
// Each scan decodes the whole image again: scans times pixels beyond this (a few
// hundred scans of a 12000 x 12000 image, minutes of work from a few hundred
// kilobytes) is not supported, though any file of up to kScansAlwaysRead scans is.
constexpr std::uint64_t kMaxScanPixels = std::uint64_t{1} << 35;
constexpr int kScansAlwaysRead = 64;
// Rows asked of libjpeg at a time.
constexpr JDIMENSION kBandRows = 16;

enum class Failure { Damaged, Unsupported, OutOfMemory, Stopped };

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer to it points to the whole
  std::jmp_buf jump;
  Failure failure = Failure::Damaged;
  const std::function<bool()>* stop = nullptr;  // the reader's stop check, asked from the progress hook
};

ErrorManager& errors_of(j_common_ptr common) { return *reinterpret_cast<ErrorManager*>(common->err); }
ErrorManager& errors_of(j_decompress_ptr jpeg) { return *reinterpret_cast<ErrorManager*>(jpeg->err); }

Failure failure_of(int code) {
  switch (code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:  // the coefficients do not fit under max_memory_to_use
      return Failure::OutOfMemory;
    case JERR_SOF_UNSUPPORTED:  // lossless, hierarchical
    case JERR_BAD_PRECISION:    // 12- or 16-bit samples
    case JERR_NOT_COMPILED:
    case JERR_ARITH_NOTIMPL:
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
      return Failure::Unsupported;
    default:
      return Failure::Damaged;
  }
}

[[noreturn]] void fail(j_common_ptr common, Failure failure) {
  errors_of(common).failure = failure;
  std::longjmp(errors_of(common).jump, 1);
}

[[noreturn]] void on_error(j_common_ptr common) { fail(common, failure_of(common->err->msg_code)); }

// Warnings that the pixel data is damaged or cut short end the reading. The
// others (an unknown JFIF version, stray bytes between markers, a bad ICC
// profile...) leave the pixels whole and are dropped, as are trace messages.
void on_message(j_common_ptr common, int level) {
  if (level >= 0) return;
  switch (common->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      fail(common, Failure::Damaged);
    default:
      break;
  }
}

void no_output(j_common_ptr) {}

// libjpeg's progress hook, called every few rows of every scan: the only place a
// progressive file's scans, all decoded before the first row, can be interrupted.
void watch_scans(j_common_ptr common) {
  const std::function<bool()>* stop = errors_of(common).stop;
  if (stop != nullptr && *stop && (*stop)()) fail(common, Failure::Stopped);
  if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxScans) fail(common, Failure::Unsupported);
}

// The scans (SOS markers) of a JPEG file, counted by walking its segments and
// skipping the coded data between them, without decoding; 0 when the walk fails.
int count_scans(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return 0;
  const auto next = [&] { return std::getc(file.get()); };
  int scans = 0;
  int c = next();
  for (;;) {
    while (c != EOF && c != 0xFF) c = next();  // coded data, or stray bytes, up to a marker
    while (c == 0xFF) c = next();              // fill bytes
    if (c == EOF || c == 0xD9) return scans;
    if (c == 0x00 || c == 0x01 || c == 0xD8 || (c >= 0xD0 && c <= 0xD7)) {  // stuffing, and markers without length
      c = next();
      continue;
    }
    const int high = next(), low = next();
    const int length = high << 8 | low;  // itself included
    if (high == EOF || low == EOF || length < 2) return scans;
    if (c == 0xDA) ++scans;
    if (std::fseek(file.get(), length - 2, SEEK_CUR) != 0) return scans;
    c = next();
  }
}

constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};

bool is_exif(const std::uint8_t* data, std::size_t size) {
  return data != nullptr && size >= sizeof kExif && std::equal(std::begin(kExif), std::end(kExif), data);
}

// The only frames that call into libjpeg. An error there jumps back to the
// setjmp of the step that made the call, skipping every frame in between; so
// these steps hold nothing with a destructor, and no C++ frame lies between
// them and libjpeg.
bool create(j_decompress_ptr jpeg) {
  if (setjmp(errors_of(jpeg).jump) != 0) return false;
  jpeg_create_decompress(jpeg);
  return true;
}

bool read_header(j_decompress_ptr jpeg, std::FILE* file) {
  if (setjmp(errors_of(jpeg).jump) != 0) return false;
  jpeg_stdio_src(jpeg, file);
  jpeg_save_markers(jpeg, JPEG_APP0 + 1, 0xFFFF);  // EXIF
  return jpeg_read_header(jpeg, TRUE) == JPEG_HEADER_OK;
}

bool start(j_decompress_ptr jpeg) {
  if (setjmp(errors_of(jpeg).jump) != 0) return false;
  return jpeg_start_decompress(jpeg) != 0;
}

bool read_band(j_decompress_ptr jpeg, JSAMPARRAY rows, JDIMENSION count, JDIMENSION* got) {
  if (setjmp(errors_of(jpeg).jump) != 0) return false;
  *got = jpeg_read_scanlines(jpeg, rows, count);
  return true;
}

// What libjpeg holds of a file that it must read whole before the first row: one
// block of coefficients per 8 x 8 samples of every component, padded to whole MCUs.
std::uint64_t coefficient_bytes(const jpeg_decompress_struct& jpeg) {
  auto round_up = [](std::uint64_t n, int m) { return m <= 1 ? n : (n + m - 1) / m * m; };
  std::uint64_t bytes = 0;
  for (int c = 0; c < jpeg.num_components; ++c) {
    const jpeg_component_info& component = jpeg.comp_info[c];
    bytes += round_up(component.width_in_blocks, component.h_samp_factor) *
             round_up(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
  }
  return bytes;
}

// Whether the scan whose header was just read has no coded data: a marker comes
// first. libjpeg's arithmetic decoder takes a marker there as the end of the data and
// goes on with zeros, which decode to garbage; its Huffman decoder warns instead.
// The bytes after those libjpeg holds are peeked at in the file, its position kept.
bool scan_starts_with_marker(const jpeg_decompress_struct& jpeg, std::FILE* file) {
  std::uint8_t next[2] = {0, 0};
  std::size_t have = std::min<std::size_t>(jpeg.src->bytes_in_buffer, 2);
  std::copy_n(jpeg.src->next_input_byte, have, next);
  if (have < 2) {
    const long at = std::ftell(file);
    if (at < 0) return false;
    have += std::fread(next + have, 1, 2 - have, file);
    if (std::fseek(file, at, SEEK_SET) != 0) return false;
  }
  return have == 2 && next[0] == 0xFF && next[1] != 0x00 && next[1] != 0xFF;
}

}  // namespace

struct JpegReader::Impl {
  jpeg_decompress_struct jpeg{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  std::FILE* file = nullptr;
  std::span<std::uint8_t> memory;  // the file's bytes, when read from memory
  std::function<bool()> stop;
  bool created = false;
  bool rows_read = false;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (created) jpeg_destroy_decompress(&jpeg);
    if (file != nullptr) std::fclose(file);
  }

  ImageStatus open(const std::string& path, ImageInfo& out);

  // After a step failed: out of memory is thrown, as for any allocation.
  ImageStatus failed() const {
    if (errors.failure == Failure::OutOfMemory) throw std::bad_alloc();  // Stopped: Unreadable, as documented
    return errors.failure == Failure::Unsupported ? ImageStatus::Unsupported : ImageStatus::Unreadable;
  }
};

JpegReader::JpegReader() : impl_(std::make_unique<Impl>()) {}
JpegReader::~JpegReader() = default;

ImageStatus JpegReader::open(const std::string& path) {
  path_ = path;
  try {
    info_ = ImageInfo{};
    impl_ = std::make_unique<Impl>();
    impl_->memory = memory_;
    const ImageStatus status = impl_->open(path, info_);
    if (status != ImageStatus::Ok) {
      impl_ = std::make_unique<Impl>();
      info_ = ImageInfo{};
    }
    return status;
  } catch (const std::bad_alloc&) {
    impl_ = std::make_unique<Impl>();
    info_ = ImageInfo{};
    throw;
  }
}

ImageStatus JpegReader::open_memory(std::vector<std::uint8_t> bytes) {
  memory_ = std::move(bytes);
  return open(std::string{});
}

ImageStatus JpegReader::Impl::open(const std::string& path, ImageInfo& out) {
  file = memory.empty() ? std::fopen(path.c_str(), "rb") : fmemopen(memory.data(), memory.size(), "rb");
  if (file == nullptr) return ImageStatus::Unreadable;
  jpeg.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = on_error;
  errors.pub.emit_message = on_message;
  errors.pub.output_message = no_output;
  created = true;  // destroying is safe even when creating failed half-way
  if (!create(&jpeg)) return failed();
  progress.progress_monitor = watch_scans;
  jpeg.progress = &progress;
  // libjpeg's own pools may not grow beyond what the system has to give.
  if (const auto available = available_memory_bytes()) {
    jpeg.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(*available, LONG_MAX));
  }
  if (!read_header(&jpeg, file)) return failed();

  switch (jpeg.jpeg_color_space) {
    case JCS_GRAYSCALE:
      out.kind = PixelKind::Grey;
      out.bits_per_pixel = 8;
      out.ink_index = 0;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      out.kind = PixelKind::Rgb;
      out.bits_per_pixel = 24;
      out.ink_index = -1;
      break;
    default:  // CMYK, YCCK, two or more than four components
      return ImageStatus::Unsupported;
  }
  if (jpeg.image_width == 0 || jpeg.image_height == 0 || jpeg.image_width > imageio::kMaxImageSide ||
      jpeg.image_height > imageio::kMaxImageSide) {
    return ImageStatus::Unreadable;
  }
  if (jpeg.progressive_mode) {
    const std::uint64_t pixels = std::uint64_t{jpeg.image_width} * jpeg.image_height;
    const auto scans = static_cast<std::uint64_t>(count_scans(path));
    if (scans > kScansAlwaysRead && scans * pixels > kMaxScanPixels) return ImageStatus::Unsupported;
  }
  out.format = "JPEG";
  out.encoding = jpeg.progressive_mode ? "progressive" : "baseline";
  if (jpeg.arith_code) out.encoding += ", arithmetic";
  out.width = static_cast<std::int32_t>(jpeg.image_width);
  out.height = static_cast<std::int32_t>(jpeg.image_height);

  auto jfif_dpi = [&](UINT16 density) -> double {
    if (density == 0) return 0;
    if (jpeg.density_unit == 1) return density;
    if (jpeg.density_unit == 2) return dpi_from_pixels_per_metre(density * 100.0);
    return 0;  // an aspect ratio only
  };
  if (jpeg.saw_JFIF_marker) {
    out.x_dpi = jfif_dpi(jpeg.X_density);
    out.y_dpi = jfif_dpi(jpeg.Y_density);
  }
  // The first EXIF segment gives the orientation; XMP and others share APP1.
  bool oriented = false;
  for (jpeg_saved_marker_ptr m = jpeg.marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || !is_exif(m->data, m->data_length)) continue;
    const imageio::ExifTags exif = imageio::exif_tags({m->data, m->data_length});
    if (out.x_dpi <= 0 && out.y_dpi <= 0) {
      out.x_dpi = exif.x_dpi;
      out.y_dpi = exif.y_dpi;
    }
    if (!oriented) out.orientation = exif.orientation;
    oriented = true;
  }
  return ImageStatus::Ok;
}

ImageStatus JpegReader::decode(const std::function<bool(std::int32_t, const std::uint8_t*)>& row) {
  if (!impl_->created || info_.format.empty()) return ImageStatus::Unreadable;
  if (impl_->rows_read) {  // the stream is spent: start over
    const ImageInfo before = info_;
    if (open(path_) != ImageStatus::Ok || info_.width != before.width || info_.height != before.height ||
        info_.kind != before.kind) {
      return ImageStatus::Unreadable;
    }
  }
  Impl& impl = *impl_;
  impl.rows_read = true;
  impl.stop = [this] { return stop_requested(); };
  impl.errors.stop = &impl.stop;
  jpeg_decompress_struct& jpeg = impl.jpeg;
  const bool colour = info_.kind == PixelKind::Rgb;
  jpeg.out_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  // A progressive (or otherwise multi-scan) file is read whole into coefficients
  // before the first row comes out; refuse it, as the grid is refused, when the
  // system has no room for them.
  if (jpeg.progressive_mode || jpeg.comps_in_scan < jpeg.num_components) {
    const auto available = available_memory_bytes();
    if (available && coefficient_bytes(jpeg) > *available) throw std::bad_alloc();
  }
  // A sequential arithmetic-coded scan always holds data: its first block's end
  // (or first coefficient) is coded as the less probable symbol. One without any
  // is missing its data, however libjpeg would fill it in.
  if (jpeg.arith_code && !jpeg.progressive_mode && scan_starts_with_marker(jpeg, impl.file)) {
    return ImageStatus::Unreadable;
  }
  if (!start(&jpeg)) return impl.failed();

  const std::size_t row_bytes = static_cast<std::size_t>(info_.width) * (colour ? 3 : 1);
  std::vector<JSAMPLE> band(row_bytes * kBandRows);
  std::vector<JSAMPROW> rows(kBandRows);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = band.data() + i * row_bytes;
  std::int32_t next = 0;
  while (next < info_.height) {
    JDIMENSION got = 0;
    if (!read_band(&jpeg, rows.data(), kBandRows, &got)) return impl.failed();
    if (got == 0) return ImageStatus::Unreadable;  // a file source never suspends
    for (JDIMENSION i = 0; i < got && next < info_.height; ++i, ++next) {
      if (!row(next, rows[i])) return ImageStatus::Ok;
    }
  }
  return ImageStatus::Ok;
}

ImageStatus JpegReader::read_rows(const InkRowSink& sink) {
  const imageio::SampleLayout layout = imageio::layout_of(info_);
  std::vector<std::uint64_t> ink(imageio::ink_words(info_.width));
  return decode([&](std::int32_t r, const std::uint8_t* samples) {
    imageio::ink_row(samples, info_.width, layout, ink.data());
    return sink(r, ink);
  });
}

// libjpeg's own colour-to-grey output is the Y component as coded, which is not
// luma() of the RGB it decodes to (rounding, and clamping of RGB): so colour is
// decoded to RGB and weighed here, as every reader does.
ImageStatus JpegReader::read_grey_rows(const GreyRowSink& sink) {
  const auto width = static_cast<std::size_t>(info_.width);
  std::vector<std::uint8_t> grey(info_.kind == PixelKind::Rgb ? width : 0);
  return decode([&](std::int32_t r, const std::uint8_t* samples) {
    if (grey.empty()) return sink(r, {samples, width});
    for (std::size_t c = 0; c < width; ++c) grey[c] = luma(samples[3 * c], samples[3 * c + 1], samples[3 * c + 2]);
    return sink(r, grey);
  });
}

namespace imageio {

ExifTags exif_tags(std::span<const std::uint8_t> segment) {
  if (!is_exif(segment.data(), segment.size())) return {};
  const std::span<const std::uint8_t> tiff = segment.subspan(sizeof kExif);  // offsets count from here
  if (tiff.size() < 8) return {};
  bool little = false;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    little = true;
  } else if (tiff[0] != 'M' || tiff[1] != 'M') {
    return {};
  }
  auto number = [&](std::uint64_t at, int bytes) -> std::optional<std::uint32_t> {
    if (at > tiff.size() || tiff.size() - at < static_cast<std::uint64_t>(bytes)) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const std::uint32_t byte =
          tiff[static_cast<std::size_t>(at) + static_cast<std::size_t>(little ? bytes - 1 - i : i)];
      value = value << 8 | byte;
    }
    return value;
  };
  if (number(2, 2) != 42u) return {};
  const std::optional<std::uint32_t> ifd = number(4, 4);
  const std::optional<std::uint32_t> entries = ifd ? number(*ifd, 2) : std::nullopt;
  if (!entries) return {};
  double x = 0;
  double y = 0;
  std::uint32_t unit = 2;  // inch, when the tag is absent
  int orientation = 1;
  for (std::uint32_t i = 0; i < *entries; ++i) {
    const std::uint64_t entry = std::uint64_t{*ifd} + 2 + 12 * std::uint64_t{i};
    const auto tag = number(entry, 2);
    const auto type = number(entry + 2, 2);
    const auto count = number(entry + 4, 4);
    if (!tag || !type || !count || !number(entry + 8, 4)) break;  // the directory runs off the segment
    if (*count == 0) continue;
    constexpr std::uint32_t kShort = 3, kRational = 5;
    if (*tag == 0x0128 && *type == kShort) {
      unit = *number(entry + 8, 2);
    } else if (*tag == 0x0112 && *type == kShort) {
      const std::uint32_t value = *number(entry + 8, 2);
      if (value >= 1 && value <= 8) orientation = static_cast<int>(value);
    } else if ((*tag == 0x011A || *tag == 0x011B) && *type == kRational) {
      const std::uint32_t offset = *number(entry + 8, 4);
      const auto numerator = number(offset, 4);
      const auto denominator = number(std::uint64_t{offset} + 4, 4);
      if (numerator && denominator && *denominator != 0) {
        (*tag == 0x011A ? x : y) = static_cast<double>(*numerator) / *denominator;
      }
    }
  }
  auto dpi = [unit](double value) -> double {
    if (!(value > 0) || !std::isfinite(value)) return 0;
    if (unit == 2) return value;
    if (unit == 3) return dpi_from_pixels_per_metre(value * 100.0);
    return 0;  // no unit: an aspect ratio only
  };
  return {dpi(x), dpi(y), orientation};
}

}  // namespace imageio
std::unique_ptr<ImageReader> make_jpeg_reader() { return std::make_unique<JpegReader>(); }

}  // namespace vp
