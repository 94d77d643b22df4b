#include "imageio/library/tiff_reader.h"
#include "imageio/library/library_formats.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

#include "imageio/bmp_row_convert.h"
#include "imageio/sample_rows.h"

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
  int errors = 0;  // errors libtiff reported for this file
  bool tiled = false;
  bool planes = false;  // RGB stored as three planes
  imageio::SampleLayout layout;
  std::uint64_t plane_row_bytes = 0;  // one row of one plane (of the whole image when not in planes)
  std::uint32_t tile_width = 0;
  std::uint32_t tile_length = 0;
  imageio::GreyTable grey{};  // grey and palette images

  // The rows of a tiled image, each as its plane rows (one, or three for planes).
  using BandRow = std::function<bool(std::int32_t row, const std::uint8_t* const planes[3])>;
  ImageStatus read_tile_rows(const ImageInfo& info, const BandRow& row);
  ImageStatus read_grey_strips(const ImageInfo& info, const GreyRowSink& sink);
  ImageStatus read_grey_planes(const ImageInfo& info, const GreyRowSink& sink);

  ~Impl() {
    if (tif != nullptr) TIFFClose(tif);
  }

  ImageStatus open(const std::string& path, ImageInfo& info);
  int page = 0;   // the directory to open, from 0
  int pages = 0;  // the file's directories, once counted
  ImageStatus read_strips(const ImageInfo& info, const InkRowSink& sink);
  ImageStatus read_planes(const ImageInfo& info, const InkRowSink& sink);
  ImageStatus read_tiles(const ImageInfo& info, const InkRowSink& sink);
};

TiffReader::TiffReader() : impl_(std::make_unique<Impl>()) {}
TiffReader::~TiffReader() = default;

ImageStatus TiffReader::open(const std::string& path) {
  info_ = ImageInfo{};
  impl_ = std::make_unique<Impl>();
  impl_->page = page_;
  const ImageStatus status = impl_->open(path, info_);
  page_count_ = impl_->pages;
  if (status != ImageStatus::Ok) {
    impl_ = std::make_unique<Impl>();
    info_ = ImageInfo{};
  }
  return status;
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
  // Every directory is a page; counting them walks the chain, which libtiff guards against loops.
  pages = TIFFNumberOfDirectories(tif);
  if (page < 0 || page >= pages || (page > 0 && TIFFSetDirectory(tif, static_cast<tdir_t>(page)) != 1)) {
    return ImageStatus::Unreadable;
  }

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
      grey = imageio::grey_levels_of_samples(bits, info.min_is_white);
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
      bool eight_bit = true;  // components written as 0..255 rather than 0..65535
      for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = {red[i], green[i], blue[i]};
        eight_bit = eight_bit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
      }
      const int shift = eight_bit ? 0 : 8;
      for (std::size_t i = 0; i < palette.size(); ++i) {
        grey[i] = luma(static_cast<std::uint8_t>(red[i] >> shift), static_cast<std::uint8_t>(green[i] >> shift),
                       static_cast<std::uint8_t>(blue[i] >> shift));
      }
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
  // Reported, not applied: the rows are handed out as stored. Out of range reads as upright.
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) == 1 && orientation >= ORIENTATION_TOPLEFT &&
      orientation <= ORIENTATION_LEFTBOT) {
    info.orientation = orientation;
  }
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
  ZeroedBuffer<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
  ZeroedBuffer<std::uint64_t> ink(imageio::ink_words(info.width));
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
  ZeroedBuffer<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
  ZeroedBuffer<std::uint64_t> zero(imageio::ink_words(info.width));
  for (std::uint16_t plane = 0; plane < 3; ++plane) {
    for (std::int32_t r = 0; r < info.height; ++r) {
      if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(r), plane) < 0 || errors != errors_before) {
        return ImageStatus::Unreadable;
      }
      bmp::ink_row_8bit(line.data(), info.width, 0, zero.data());
      std::uint64_t* row = mask.row(r);
      // Words without ink stay unwritten: the mask costs memory only where there is ink.
      for (std::size_t k = 0; k < zero.size(); ++k) {
        if (plane == 0 ? zero[k] != 0 : row[k] != 0) row[k] = plane == 0 ? zero[k] : row[k] & zero[k];
      }
    }
  }
  mask.deliver(sink);
  return ImageStatus::Ok;
}

// One row of tiles at a time, pasted into a band as high as a tile.
ImageStatus TiffReader::Impl::read_tile_rows(const ImageInfo& info, const BandRow& deliver) {
  const int errors_before = errors;
  const std::uint32_t width = static_cast<std::uint32_t>(info.width);
  const std::uint32_t height = static_cast<std::uint32_t>(info.height);
  const std::uint16_t plane_count = planes ? 3 : 1;
  const std::uint64_t pixel_bits = planes ? 8 : static_cast<std::uint64_t>(info.bits_per_pixel);
  const auto tile_row_bytes = static_cast<std::size_t>(TIFFTileRowSize64(tif));
  const auto plane_row = static_cast<std::size_t>(plane_row_bytes);
  const std::size_t band_rows = std::min(tile_length, height);
  // Sized by the header, filled only as tiles really decode.
  ZeroedBuffer<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize64(tif)));
  ZeroedBuffer<std::uint8_t> band(plane_row * band_rows * plane_count);

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
      const std::uint8_t* plane_rows[3] = {};
      for (std::uint16_t plane = 0; plane < plane_count; ++plane) {
        plane_rows[plane] = band.data() + (plane * band_rows + r) * plane_row;
      }
      if (!deliver(static_cast<std::int32_t>(top + r), plane_rows)) return ImageStatus::Ok;
    }
  }
  return ImageStatus::Ok;
}

ImageStatus TiffReader::Impl::read_tiles(const ImageInfo& info, const InkRowSink& sink) {
  ZeroedBuffer<std::uint64_t> ink(imageio::ink_words(info.width));
  ZeroedBuffer<std::uint64_t> zero(ink.size());
  return read_tile_rows(info, [&](std::int32_t row, const std::uint8_t* const plane_rows[3]) {
    if (planes) {
      for (std::uint16_t plane = 0; plane < 3; ++plane) {
        bmp::ink_row_8bit(plane_rows[plane], info.width, 0, zero.data());
        for (std::size_t k = 0; k < ink.size(); ++k) ink[k] = plane == 0 ? zero[k] : ink[k] & zero[k];
      }
    } else {
      imageio::ink_row(plane_rows[0], info.width, layout, ink.data());
    }
    return sink(row, ink);
  });
}

bool TiffReader::has_grey_levels() const { return impl_->tif != nullptr && info_.bits_per_pixel > 1; }

int TiffReader::ink_grey_level() const {
  return has_grey_levels() && !impl_->planes ? imageio::ink_grey_level(impl_->layout, impl_->grey) : -1;
}

ImageStatus TiffReader::read_grey_rows(const GreyRowSink& sink) {
  if (impl_->tif == nullptr) return ImageStatus::Unreadable;
  if (!has_grey_levels()) return ImageStatus::Unsupported;
  if (impl_->tiled) {
    ZeroedBuffer<std::uint8_t> grey(static_cast<std::size_t>(info_.width));
    const bool planes = impl_->planes;
    return impl_->read_tile_rows(info_, [&](std::int32_t row, const std::uint8_t* const plane_rows[3]) {
      if (planes) {
        for (std::int32_t x = 0; x < info_.width; ++x)
          grey[static_cast<std::size_t>(x)] = luma(plane_rows[0][x], plane_rows[1][x], plane_rows[2][x]);
      } else {
        imageio::grey_row(plane_rows[0], info_.width, impl_->layout, impl_->grey, grey.data());
      }
      return sink(row, grey);
    });
  }
  if (impl_->planes) return impl_->read_grey_planes(info_, sink);
  return impl_->read_grey_strips(info_, sink);
}

ImageStatus TiffReader::Impl::read_grey_strips(const ImageInfo& info, const GreyRowSink& sink) {
  const int errors_before = errors;
  // Zeroed but untouched, as for the ink rows: memory is committed only as rows are decoded.
  ZeroedBuffer<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
  ZeroedBuffer<std::uint8_t> levels(static_cast<std::size_t>(info.width));
  for (std::int32_t r = 0; r < info.height; ++r) {
    if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(r), 0) < 0 || errors != errors_before) {
      return ImageStatus::Unreadable;
    }
    imageio::grey_row(line.data(), info.width, layout, grey, levels.data());
    if (!sink(r, levels)) break;
  }
  return ImageStatus::Ok;
}

// Planes in strips: the three strips that hold the same rows are decoded
// together, so that every plane is read once, top to bottom.
ImageStatus TiffReader::Impl::read_grey_planes(const ImageInfo& info, const GreyRowSink& sink) {
  const int errors_before = errors;
  std::uint32_t rows_per_strip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  const auto height = static_cast<std::uint32_t>(info.height);
  rows_per_strip = std::clamp<std::uint32_t>(rows_per_strip, 1, height);
  const auto width = static_cast<std::size_t>(info.width);
  if (static_cast<std::uint64_t>(width) * rows_per_strip * 3 > kMaxBufferBytes) return ImageStatus::Unsupported;
  ZeroedBuffer<std::uint8_t> strips(width * rows_per_strip * 3);
  ZeroedBuffer<std::uint8_t> grey(width);
  for (std::uint32_t top = 0; top < height; top += rows_per_strip) {
    const std::uint32_t rows = std::min(rows_per_strip, height - top);
    for (std::uint16_t plane = 0; plane < 3; ++plane) {
      const tmsize_t wanted = static_cast<tmsize_t>(width * rows);
      if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, plane), strips.data() + plane * width * rows_per_strip,
                               wanted) < wanted ||
          errors != errors_before) {
        return ImageStatus::Unreadable;
      }
    }
    for (std::uint32_t r = 0; r < rows; ++r) {
      const std::uint8_t* red = strips.data() + r * width;
      const std::uint8_t* green = red + width * rows_per_strip;
      const std::uint8_t* blue = green + width * rows_per_strip;
      for (std::size_t x = 0; x < width; ++x) grey[x] = luma(red[x], green[x], blue[x]);
      if (!sink(static_cast<std::int32_t>(top + r), grey)) return ImageStatus::Ok;
    }
  }
  return ImageStatus::Ok;
}

std::unique_ptr<ImageReader> make_tiff_reader() { return std::make_unique<TiffReader>(); }

}  // namespace vp
