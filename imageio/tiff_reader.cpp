#include "imageio/tiff_reader.h"
#include "imageio/library_formats.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "imageio/sample_rows.h"
#include "raster/bmp_row_convert.h"

namespace vp {
namespace {

using imageio::kMaxBufferBytes;
using imageio::kMaxImageSide;

// libtiff's own allocations (strip and tile buffers, tag arrays): a damaged
// header may not make it ask for more than this at once.
constexpr tmsize_t kMaxLibtiffAllocation = tmsize_t{256} << 20;

// libtiff's process-wide handlers print to standard error. Ours come with each
// file; the few messages that still go the process-wide way are dropped.
void silence_process_wide_handlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

int count_error(TIFF*, void* user_data, const char*, const char*, va_list) {
  ++*static_cast<int*>(user_data);
  return 1;  // handled: nothing else sees it
}

int ignore_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

std::string compression_name(std::uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return "uncompressed";
    case COMPRESSION_LZW:
      return "LZW";
    case COMPRESSION_PACKBITS:
      return "PackBits";
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
      return "CCITT RLE";
    case COMPRESSION_CCITTFAX3:
      return "CCITT G3";
    case COMPRESSION_CCITTFAX4:
      return "CCITT G4";
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return "Deflate";
    case COMPRESSION_JPEG:
      return "JPEG";
    default:
      return "compression " + std::to_string(compression);
  }
}

}  // namespace

struct TiffReader::Impl {
  TIFF* tif = nullptr;
  int errors = 0;          // errors libtiff reported for this file
  bool tiled = false;
  bool planes = false;     // RGB stored as three planes
  imageio::SampleLayout layout;
  std::uint64_t plane_row_bytes = 0;  // one row of one plane (of the whole image when not in planes)
  std::uint32_t tile_width = 0;
  std::uint32_t tile_length = 0;

  ~Impl() {
    if (tif != nullptr) TIFFClose(tif);
  }

  ImageStatus open(const std::string& path, ImageInfo& info);
  ImageStatus read_strips(const ImageInfo& info, const InkRowSink& sink);
  ImageStatus read_planes(const ImageInfo& info, const InkRowSink& sink);
  ImageStatus read_tiles(const ImageInfo& info, const InkRowSink& sink);
};

TiffReader::TiffReader() : impl_(std::make_unique<Impl>()) {}
TiffReader::~TiffReader() = default;

ImageStatus TiffReader::open(const std::string& path) {
  return open_afresh(impl_, info_, path);
}

ImageStatus TiffReader::Impl::open(const std::string& path, ImageInfo& info) {
  silence_process_wide_handlers();
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) throw std::bad_alloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibtiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options, count_error, &errors);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignore_warning, nullptr);
  // "m": read, not map: a file cut short under a mapping would kill the program.
  tif = TIFFOpenExt(path.c_str(), "rm", options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) return ImageStatus::Unreadable;

  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t photometric = 0;
  if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) != 1 ||
      TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
    return ImageStatus::Unreadable;
  }
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return ImageStatus::Unreadable;
  std::uint16_t bits = 1;
  std::uint16_t samples = 1;
  std::uint16_t sample_format = SAMPLEFORMAT_UINT;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sample_format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);

  if (sample_format != SAMPLEFORMAT_UINT && sample_format != SAMPLEFORMAT_VOID) return ImageStatus::Unsupported;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return ImageStatus::Unsupported;
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      if (samples != 1) return ImageStatus::Unsupported;  // alpha or other extra samples
      info.kind = PixelKind::Grey;
      info.min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
      info.ink_index = info.min_is_white ? (1 << bits) - 1 : 0;
      break;
    case PHOTOMETRIC_PALETTE: {
      if (samples != 1) return ImageStatus::Unsupported;
      std::uint16_t* red = nullptr;
      std::uint16_t* green = nullptr;
      std::uint16_t* blue = nullptr;
      if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || red == nullptr || green == nullptr ||
          blue == nullptr) {
        return ImageStatus::Unreadable;
      }
      // libtiff holds 2^bits entries of each. 16-bit components; some writers put
      // 8-bit values in them, which scales every distance alike.
      std::vector<imageio::Colour> palette(std::size_t{1} << bits);
      for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = {red[i], green[i], blue[i]};
      info.kind = PixelKind::Palette;
      info.palette_entries = static_cast<int>(palette.size());
      info.ink_index = imageio::nearest_to_black(palette);
      break;
    }
    case PHOTOMETRIC_RGB:
      if (samples != 3 || bits != 8) return ImageStatus::Unsupported;
      info.kind = PixelKind::Rgb;
      info.ink_index = -1;
      planes = planar == PLANARCONFIG_SEPARATE;
      break;
    default:  // CMYK, YCbCr, Lab, LogLuv, masks...
      return ImageStatus::Unsupported;
  }
  if (TIFFIsCODECConfigured(compression) == 0) return ImageStatus::Unsupported;

  info.format = "TIFF";
  info.width = static_cast<std::int32_t>(width);
  info.height = static_cast<std::int32_t>(height);
  info.bits_per_pixel = bits * samples;
  layout = imageio::layout_of(info);
  plane_row_bytes = planes ? width : imageio::row_bytes(width, layout);
  const std::uint64_t pixel_bits_in_plane = planes ? 8 : static_cast<std::uint64_t>(info.bits_per_pixel);

  tiled = TIFFIsTiled(tif) != 0;
  info.encoding = compression_name(compression);
  if (tiled) {
    info.encoding += ", tiled";
    if (TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width) != 1 ||
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_length) != 1 || tile_width == 0 || tile_length == 0) {
      return ImageStatus::Unreadable;
    }
    // Tiles must start on whole bytes to be pasted side by side (the format asks
    // for widths in multiples of 16).
    if (tile_width * pixel_bits_in_plane % 8 != 0) return ImageStatus::Unsupported;
    const std::uint64_t band = plane_row_bytes * std::min(tile_length, height) * (planes ? 3 : 1);
    const std::uint64_t tile_bytes = TIFFTileSize64(tif);
    if (tile_bytes == 0 || TIFFTileRowSize64(tif) * tile_length > tile_bytes) return ImageStatus::Unreadable;
    if (band > kMaxBufferBytes || tile_bytes > kMaxBufferBytes) return ImageStatus::Unsupported;
  } else {
    const std::uint64_t scanline = TIFFScanlineSize64(tif);
    if (scanline < plane_row_bytes) return ImageStatus::Unreadable;
    if (scanline > kMaxBufferBytes) return ImageStatus::Unsupported;
  }
  if (planes) info.encoding += ", planar";

  std::uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  auto dpi = [unit](float value) -> double {
    if (!std::isfinite(value) || value <= 0) return 0;
    if (unit == RESUNIT_INCH) return value;
    if (unit == RESUNIT_CENTIMETER) return dpi_from_pixels_per_metre(static_cast<double>(value) * 100.0);
    return 0;  // no unit: an aspect ratio only
  };
  float x_resolution = 0;
  float y_resolution = 0;
  if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x_resolution) == 1) info.x_dpi = dpi(x_resolution);
  if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y_resolution) == 1) info.y_dpi = dpi(y_resolution);
  return ImageStatus::Ok;
}

ImageStatus TiffReader::read_rows(const InkRowSink& sink) {
  if (impl_->tif == nullptr) return ImageStatus::Unreadable;
  if (impl_->tiled) return impl_->read_tiles(info_, sink);
  if (impl_->planes) return impl_->read_planes(info_, sink);
  return impl_->read_strips(info_, sink);
}

ImageStatus TiffReader::Impl::read_strips(const ImageInfo& info, const InkRowSink& sink) {
  const int errors_before = errors;
  std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
  std::vector<std::uint64_t> ink(imageio::ink_words(info.width));
  for (std::int32_t r = 0; r < info.height; ++r) {
    if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(r), 0) < 0 || errors != errors_before) {
      return ImageStatus::Unreadable;
    }
    imageio::ink_row(line.data(), info.width, layout, ink.data());
    if (!sink(r, ink)) break;
  }
  return ImageStatus::Ok;
}

// Ink is where all three planes are 0, so every plane must be read before the
// first row is known; each plane is read top to bottom, as compressed strips require.
ImageStatus TiffReader::Impl::read_planes(const ImageInfo& info, const InkRowSink& sink) {
  const int errors_before = errors;
  imageio::InkMask mask(info.width, info.height);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
  std::vector<std::uint64_t> zero(imageio::ink_words(info.width));
  for (std::uint16_t plane = 0; plane < 3; ++plane) {
    for (std::int32_t r = 0; r < info.height; ++r) {
      if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(r), plane) < 0 || errors != errors_before) {
        return ImageStatus::Unreadable;
      }
      bmp::ink_row_8bit(line.data(), info.width, 0, zero.data());
      std::uint64_t* row = mask.row(r);
      for (std::size_t k = 0; k < zero.size(); ++k) row[k] = plane == 0 ? zero[k] : row[k] & zero[k];
    }
  }
  mask.deliver(sink);
  return ImageStatus::Ok;
}

// One row of tiles at a time, pasted into a band as high as a tile.
ImageStatus TiffReader::Impl::read_tiles(const ImageInfo& info, const InkRowSink& sink) {
  const int errors_before = errors;
  const std::uint32_t width = static_cast<std::uint32_t>(info.width);
  const std::uint32_t height = static_cast<std::uint32_t>(info.height);
  const std::uint16_t plane_count = planes ? 3 : 1;
  const std::uint64_t pixel_bits = planes ? 8 : static_cast<std::uint64_t>(info.bits_per_pixel);
  const auto tile_row_bytes = static_cast<std::size_t>(TIFFTileRowSize64(tif));
  const auto plane_row = static_cast<std::size_t>(plane_row_bytes);
  const std::size_t band_rows = std::min(tile_length, height);
  std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize64(tif)));
  std::vector<std::uint8_t> band(plane_row * band_rows * plane_count);
  std::vector<std::uint64_t> ink(imageio::ink_words(info.width));
  std::vector<std::uint64_t> zero(ink.size());

  for (std::uint32_t top = 0; top < height; top += tile_length) {
    const std::size_t rows = std::min<std::uint32_t>(tile_length, height - top);
    for (std::uint16_t plane = 0; plane < plane_count; ++plane) {
      std::uint8_t* plane_band = band.data() + plane * plane_row * band_rows;
      for (std::uint32_t left = 0; left < width; left += tile_width) {
        if (TIFFReadTile(tif, tile.data(), left, top, 0, plane) < 0 || errors != errors_before) {
          return ImageStatus::Unreadable;
        }
        const auto offset = static_cast<std::size_t>(left * pixel_bits / 8);
        const std::size_t bytes = std::min(tile_row_bytes, plane_row - offset);
        for (std::size_t r = 0; r < rows; ++r) {
          std::memcpy(plane_band + r * plane_row + offset, tile.data() + r * tile_row_bytes, bytes);
        }
      }
    }
    for (std::size_t r = 0; r < rows; ++r) {
      if (planes) {
        for (std::uint16_t plane = 0; plane < 3; ++plane) {
          bmp::ink_row_8bit(band.data() + (plane * band_rows + r) * plane_row, info.width, 0, zero.data());
          for (std::size_t k = 0; k < ink.size(); ++k) ink[k] = plane == 0 ? zero[k] : ink[k] & zero[k];
        }
      } else {
        imageio::ink_row(band.data() + r * plane_row, info.width, layout, ink.data());
      }
      if (!sink(static_cast<std::int32_t>(top + r), ink)) return ImageStatus::Ok;
    }
  }
  return ImageStatus::Ok;
}

std::unique_ptr<ImageReader> make_tiff_reader() { return std::make_unique<TiffReader>(); }

}  // namespace vp
