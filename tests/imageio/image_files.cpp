#include "image_files.h"

#include "imageio/image_formats.h"
#include "testkit/bmp_writer.h"

#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace vp::testing_imageio {
namespace {

std::uint32_t hash(std::int32_t x, std::int32_t y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 12);
}

int max_value(int bits) { return (1 << bits) - 1; }

// Samples per pixel of the raw image as stored.
int channels(const RawImage& raw) { return raw.kind == PixelKind::Rgb ? 3 : 1; }

// One row of one plane (plane -1: every channel interleaved, then
// `extra_samples` opaque alpha samples), packed most significant first; 16-bit
// samples in the machine's order for libtiff, big-endian for libpng.
std::vector<std::uint8_t> pack_row(const RawImage& raw, std::int32_t y, int plane, int extra_samples,
                                   bool native_multibyte) {
  const int per_pixel = plane >= 0 ? 1 : channels(raw) + extra_samples;
  const std::size_t bits_per_pixel = static_cast<std::size_t>(per_pixel) * static_cast<std::size_t>(raw.bits);
  std::vector<std::uint8_t> row((static_cast<std::size_t>(raw.width) * bits_per_pixel + 7) / 8, 0);
  std::size_t bit = 0;
  auto put = [&](std::uint32_t value) {
    if (raw.bits >= 8) {
      const int bytes = raw.bits / 8;
      for (int i = 0; i < bytes; ++i) {
        const int shift = native_multibyte ? 8 * i : 8 * (bytes - 1 - i);
        row[bit / 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
      }
    } else {
      row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - raw.bits - bit % 8));
    }
    bit += static_cast<std::size_t>(raw.bits);
  };
  for (std::int32_t x = 0; x < raw.width; ++x) {
    const std::uint32_t v = raw.at(x, y);
    const std::uint32_t scale = raw.bits == 16 ? 257 : 1;
    if (raw.kind == PixelKind::Rgb) {
      const std::uint32_t c[3] = {(v >> 16) & 255, (v >> 8) & 255, v & 255};
      if (plane >= 0) {
        put(c[plane] * scale);
      } else {
        for (std::uint32_t s : c) put(s * scale);
      }
    } else {
      put(v);
    }
    for (int e = 0; plane < 0 && e < extra_samples; ++e)
      put(static_cast<std::uint32_t>(max_value(std::min(raw.bits, 16))));
  }
  return row;
}

// --- libpng, with errors reported by a jump back into the one frame below ---

[[noreturn]] void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_quiet(png_structp, png_const_charp) {}

struct PngJob {
  std::FILE* file;
  png_uint_32 width, height;
  int bit_depth, colour_type, interlace;
  const png_color* palette;
  int palette_size;
  const PngOptions* options;
  png_bytepp rows;
};

// No object with a destructor lives here: libpng's error jumps straight back.
bool png_write_job(const PngJob& job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, job.file);
  png_set_IHDR(png, info, job.width, job.height, job.bit_depth, job.colour_type, job.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.palette != nullptr) png_set_PLTE(png, info, job.palette, job.palette_size);
  if (job.options->phys) {
    png_set_pHYs(png, info, job.options->x_pixels_per_unit, job.options->y_pixels_per_unit, job.options->phys_unit);
  }
  png_write_info(png, info);
  png_set_interlace_handling(png);
  png_write_image(png, job.rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// --- libjpeg, the same way ---

struct JpegErrors {
  jpeg_error_mgr pub;  // first: libjpeg's pointer to it points to the whole
  std::jmp_buf jump;
};
[[noreturn]] void jpeg_fail(j_common_ptr common) { std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->jump, 1); }
void jpeg_quiet(j_common_ptr, int) {}

struct JpegJob {
  jpeg_compress_struct* jpeg;
  const RawImage* raw;
  const JpegOptions* options;
  int components;
  J_COLOR_SPACE input_space;
  JSAMPARRAY rows;
  unsigned char** out;
  unsigned long* size;
  const std::vector<jpeg_scan_info>* script;
};

// A progressive script of `scans` scans for one component: the DC scan, then each
// AC coefficient alone, sent first without its low bits and then refined a bit a scan.
std::vector<jpeg_scan_info> many_scans(int scans) {
  std::vector<jpeg_scan_info> script;
  if (scans < 64) return script;
  script.push_back({1, {0}, 0, 0, 0, 0});
  const int per = (scans - 1) / 63, more = (scans - 1) % 63;  // `more` coefficients get one scan more
  for (int k = 1; k <= 63; ++k) {
    const int low_bits = per - 1 + (k <= more ? 1 : 0);
    script.push_back({1, {0}, k, k, 0, low_bits});
    for (int bit = low_bits - 1; bit >= 0; --bit) script.push_back({1, {0}, k, k, bit + 1, bit});
  }
  return script;
}

bool jpeg_write_job(const JpegJob& job) {
  jpeg_compress_struct* jpeg = job.jpeg;
  const JpegOptions& o = *job.options;
  if (setjmp(reinterpret_cast<JpegErrors*>(jpeg->err)->jump) != 0) return false;
  jpeg_create_compress(jpeg);
  jpeg_mem_dest(jpeg, job.out, job.size);
  jpeg->image_width = static_cast<JDIMENSION>(job.raw->width);
  jpeg->image_height = static_cast<JDIMENSION>(job.raw->height);
  jpeg->input_components = job.components;
  jpeg->in_color_space = job.input_space;
  jpeg_set_defaults(jpeg);
  if (o.space == JpegSpace::Rgb) jpeg_set_colorspace(jpeg, JCS_RGB);
  if (o.space == JpegSpace::Ycck) jpeg_set_colorspace(jpeg, JCS_YCCK);
  jpeg_set_quality(jpeg, o.quality, TRUE);
  if (o.progressive) jpeg_simple_progression(jpeg);
  if (!job.script->empty()) {
    jpeg->scan_info = job.script->data();
    jpeg->num_scans = static_cast<int>(job.script->size());
  }
  jpeg->restart_in_rows = o.restart_rows;
  jpeg->arith_code = o.arithmetic ? TRUE : FALSE;
  if (o.space == JpegSpace::Natural) {
    jpeg->write_JFIF_header = o.jfif ? TRUE : FALSE;
    jpeg->density_unit = static_cast<UINT8>(o.density_unit);
    jpeg->X_density = o.x_density;
    jpeg->Y_density = o.y_density;
  }
  jpeg_start_compress(jpeg, TRUE);
  if (!o.app1.empty()) jpeg_write_marker(jpeg, JPEG_APP0 + 1, o.app1.data(), static_cast<unsigned>(o.app1.size()));
  while (jpeg->next_scanline < jpeg->image_height) {
    jpeg_write_scanlines(jpeg, job.rows + jpeg->next_scanline, jpeg->image_height - jpeg->next_scanline);
  }
  jpeg_finish_compress(jpeg);
  return true;
}

}  // namespace

std::vector<std::uint8_t> encode_jpeg(const RawImage& raw, const JpegOptions& options) {
  const bool colour = raw.kind == PixelKind::Rgb;
  const bool four = options.space == JpegSpace::Cmyk || options.space == JpegSpace::Ycck;
  const int components = four ? 4 : colour || options.space == JpegSpace::Rgb ? 3 : 1;
  std::vector<std::vector<JSAMPLE>> samples;
  std::vector<JSAMPROW> rows;
  for (std::int32_t y = 0; y < raw.height; ++y) {
    std::vector<JSAMPLE>& row = samples.emplace_back();
    for (std::int32_t x = 0; x < raw.width; ++x) {
      const std::uint32_t v = raw.at(x, y);
      const std::uint32_t rgb = colour ? v : v * 0x010101u;
      const auto red = static_cast<JSAMPLE>(rgb >> 16), green = static_cast<JSAMPLE>(rgb >> 8),
                 blue = static_cast<JSAMPLE>(rgb);
      if (four) {
        row.insert(row.end(), {static_cast<JSAMPLE>(255 - red), static_cast<JSAMPLE>(255 - green),
                               static_cast<JSAMPLE>(255 - blue), 0});
      } else if (components == 3) {
        row.insert(row.end(), {red, green, blue});
      } else {
        row.push_back(static_cast<JSAMPLE>(v));
      }
    }
  }
  for (auto& row : samples) rows.push_back(row.data());
  const J_COLOR_SPACE input_space = four ? JCS_CMYK : components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_compress_struct jpeg{};
  JpegErrors errors{};
  jpeg.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = jpeg_fail;
  errors.pub.emit_message = jpeg_quiet;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const std::vector<jpeg_scan_info> script = many_scans(options.scans);
  const bool ok = jpeg_write_job({&jpeg, &raw, &options, components, input_space, rows.data(), &out, &size, &script});
  jpeg_destroy_compress(&jpeg);
  std::vector<std::uint8_t> bytes;
  if (ok && out != nullptr) bytes.assign(out, out + size);
  std::free(out);
  return bytes;
}

std::vector<std::uint8_t> exif_segment(std::uint32_t x_num, std::uint32_t x_den, std::uint32_t y_num,
                                       std::uint32_t y_den, int unit, bool big_endian, int orientation) {
  std::vector<std::uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * (big_endian ? bytes - 1 - i : i))));
  };
  b.push_back(big_endian ? 'M' : 'I');
  b.push_back(big_endian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);  // IFD0 right after the header
  const std::uint32_t entries = (unit > 0 ? 3 : 2) + (orientation > 0 ? 1 : 0);
  const std::uint32_t rationals = 8 + 2 + 12 * entries + 4;
  put(entries, 2);
  // Entries in ascending tag order, Orientation (0x0112) first.
  if (orientation > 0) put(0x0112, 2), put(3, 2), put(1, 4), put(static_cast<std::uint32_t>(orientation), 2), put(0, 2);
  put(0x011A, 2), put(5, 2), put(1, 4), put(rationals, 4);
  put(0x011B, 2), put(5, 2), put(1, 4), put(rationals + 8, 4);
  if (unit > 0) put(0x0128, 2), put(3, 2), put(1, 4), put(static_cast<std::uint32_t>(unit), 2), put(0, 2);
  put(0, 4);  // no next IFD
  put(x_num, 4), put(x_den, 4), put(y_num, 4), put(y_den, 4);
  return b;
}

RawImage raw_from_ink(const InkImage& image, const RawSpec& spec) {
  RawImage raw;
  raw.width = image.width;
  raw.height = image.height;
  raw.kind = spec.kind;
  raw.bits = spec.kind == PixelKind::Rgb ? 8 : spec.bits;
  raw.min_is_white = spec.min_is_white;
  raw.palette = spec.palette;
  const int ink = expected_ink_value(raw);
  std::vector<std::uint32_t> background;
  if (spec.kind == PixelKind::Rgb) {
    background = {0xFFFFFF};
    if (spec.dark_background) background.insert(background.end(), {0x010000, 0x000100, 0x000001, 0x030303});
  } else {
    const int values = spec.kind == PixelKind::Palette ? static_cast<int>(spec.palette.size()) : 1 << raw.bits;
    for (int v = values - 1; v >= 0; --v) {
      if (v != ink) background.push_back(static_cast<std::uint32_t>(v));
    }
    if (spec.kind == PixelKind::Grey) {
      // Plain background is white: the far end from the ink.
      const auto white = static_cast<std::uint32_t>(raw.min_is_white ? 0 : max_value(raw.bits));
      std::erase(background, white);
      background.insert(background.begin(), white);
    }
    if (!spec.dark_background) background.resize(1);
  }
  raw.pixels.resize(static_cast<std::size_t>(raw.width) * static_cast<std::size_t>(raw.height));
  for (std::int32_t y = 0; y < raw.height; ++y) {
    for (std::int32_t x = 0; x < raw.width; ++x) {
      raw.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(raw.width) + static_cast<std::size_t>(x)] =
          image.get(x, y) ? static_cast<std::uint32_t>(std::max(ink, 0)) : background[hash(x, y) % background.size()];
    }
  }
  return raw;
}

int expected_ink_value(const RawImage& raw) {
  switch (raw.kind) {
    case PixelKind::Rgb:
      return -1;
    case PixelKind::Grey:
      return raw.min_is_white ? max_value(raw.bits) : 0;
    case PixelKind::Palette:
      break;
  }
  int best = -1;
  long best_distance = 0;
  for (std::size_t i = 0; i < raw.palette.size(); ++i) {
    const Rgb& c = raw.palette[i];
    const long d = long{c.red} * c.red + long{c.green} * c.green + long{c.blue} * c.blue;
    if (best < 0 || d < best_distance) {
      best = static_cast<int>(i);
      best_distance = d;
    }
  }
  return best;
}

InkImage expected_ink(const RawImage& raw) {
  const int ink = expected_ink_value(raw);
  InkImage image(raw.width, raw.height);
  for (std::int32_t y = 0; y < raw.height; ++y) {
    for (std::int32_t x = 0; x < raw.width; ++x) {
      const std::uint32_t v = raw.at(x, y);
      image.set(x, y, raw.kind == PixelKind::Rgb ? v == 0 : static_cast<int>(v) == ink);
    }
  }
  return image;
}

bool write_tiff(const std::filesystem::path& path, const RawImage& raw, const TiffOptions& options) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.string().c_str(), "w");
  if (tif == nullptr) return false;
  bool ok = true;
  for (int page = 0; page < options.pages && ok; ++page) {
    const bool rgb = raw.kind == PixelKind::Rgb;
    const int extra = options.extra_alpha ? 1 : 0;
    int samples = (options.cmyk ? 4 : channels(raw)) + extra;
    const int bits = options.float_samples ? 32 : raw.bits;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(raw.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(raw.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, options.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (options.float_samples) TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    if (options.cmyk) {
      photometric = PHOTOMETRIC_SEPARATED;
    } else if (options.ycbcr) {
      photometric = PHOTOMETRIC_YCBCR;
      TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    } else if (rgb) {
      photometric = PHOTOMETRIC_RGB;
    } else if (raw.kind == PixelKind::Palette) {
      photometric = PHOTOMETRIC_PALETTE;
    } else if (raw.min_is_white) {
      photometric = PHOTOMETRIC_MINISWHITE;
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (extra != 0) {
      const std::uint16_t kinds[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    std::vector<std::uint16_t> red, green, blue;
    if (raw.kind == PixelKind::Palette) {
      const std::size_t entries = std::size_t{1} << raw.bits;
      red.assign(entries, 65535);
      green.assign(entries, 65535);
      blue.assign(entries, 65535);
      for (std::size_t i = 0; i < raw.palette.size() && i < entries; ++i) {
        red[i] = static_cast<std::uint16_t>(raw.palette[i].red * 257);
        green[i] = static_cast<std::uint16_t>(raw.palette[i].green * 257);
        blue[i] = static_cast<std::uint16_t>(raw.palette[i].blue * 257);
      }
      TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    std::uint16_t compression = COMPRESSION_NONE;
    switch (options.compression) {
      case TiffCompression::None:
        break;
      case TiffCompression::Lzw:
        compression = COMPRESSION_LZW;
        break;
      case TiffCompression::PackBits:
        compression = COMPRESSION_PACKBITS;
        break;
      case TiffCompression::Deflate:
        compression = COMPRESSION_ADOBE_DEFLATE;
        break;
      case TiffCompression::G3:
        compression = COMPRESSION_CCITTFAX3;
        break;
      case TiffCompression::G4:
        compression = COMPRESSION_CCITTFAX4;
        break;
    }
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (options.x_resolution > 0) {
      TIFFSetField(tif, TIFFTAG_XRESOLUTION, options.x_resolution);
      TIFFSetField(tif, TIFFTAG_YRESOLUTION, options.y_resolution);
      TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, static_cast<std::uint16_t>(options.resolution_unit));
    }
    if (options.orientation > 0) {
      TIFFSetField(tif, TIFFTAG_ORIENTATION, static_cast<std::uint16_t>(options.orientation));
    }
    if (options.pages > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);

    // A later page holds the image inverted, so that reading it instead shows.
    RawImage page_image = raw;
    if (page > 0) {
      for (auto& v : page_image.pixels) v = rgb ? v ^ 0xFFFFFF : static_cast<std::uint32_t>(max_value(raw.bits)) - v;
    }
    const int planes = options.planar ? samples : 1;
    std::vector<std::vector<std::vector<std::uint8_t>>> rows(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p) {
      for (std::int32_t y = 0; y < raw.height; ++y) {
        rows[static_cast<std::size_t>(p)].push_back(
            options.float_samples || options.cmyk
                ? std::vector<std::uint8_t>(static_cast<std::size_t>(raw.width) * static_cast<std::size_t>(samples) *
                                                static_cast<std::size_t>(bits) / 8,
                                            0)
                : pack_row(page_image, y, options.planar ? p : -1, extra, true));
      }
    }
    if (options.tile_width != 0) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, options.tile_width);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, options.tile_length);
      const auto tile_bytes = static_cast<std::size_t>(TIFFTileSize(tif));
      const auto tile_row = static_cast<std::size_t>(TIFFTileRowSize(tif));
      std::vector<std::uint8_t> tile(tile_bytes);
      for (int p = 0; p < planes && ok; ++p) {
        const auto& plane_rows = rows[static_cast<std::size_t>(p)];
        const std::size_t pixel_bits =
            static_cast<std::size_t>(options.planar ? 1 : samples) * static_cast<std::size_t>(bits);
        for (std::uint32_t top = 0; top < static_cast<std::uint32_t>(raw.height) && ok; top += options.tile_length) {
          for (std::uint32_t left = 0; left < static_cast<std::uint32_t>(raw.width) && ok; left += options.tile_width) {
            std::fill(tile.begin(), tile.end(), 0);
            for (std::uint32_t r = 0; r < options.tile_length && top + r < static_cast<std::uint32_t>(raw.height);
                 ++r) {
              const auto& src = plane_rows[top + r];
              const std::size_t offset = left * pixel_bits / 8;
              const std::size_t n = std::min(tile_row, src.size() - offset);
              std::memcpy(tile.data() + r * tile_row, src.data() + offset, n);
            }
            ok = TIFFWriteTile(tif, tile.data(), left, top, 0, static_cast<std::uint16_t>(p)) >= 0;
          }
        }
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                   options.rows_per_strip != 0 ? options.rows_per_strip : TIFFDefaultStripSize(tif, 0));
      for (int p = 0; p < planes && ok; ++p) {
        for (std::int32_t y = 0; y < raw.height && ok; ++y) {
          ok = TIFFWriteScanline(tif, rows[static_cast<std::size_t>(p)][static_cast<std::size_t>(y)].data(),
                                 static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(p)) >= 0;
        }
      }
    }
    if (ok) ok = TIFFWriteDirectory(tif) != 0;
  }
  TIFFClose(tif);
  return ok;
}

bool write_png(const std::filesystem::path& path, const RawImage& raw, const PngOptions& options) {
  if (raw.min_is_white) return false;  // PNG grey has 0 for black, always
  int colour_type = PNG_COLOR_TYPE_GRAY;
  if (raw.kind == PixelKind::Rgb) colour_type = options.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  if (raw.kind == PixelKind::Grey && options.alpha) colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
  if (raw.kind == PixelKind::Palette) colour_type = PNG_COLOR_TYPE_PALETTE;
  std::vector<png_color> palette;
  for (const Rgb& c : raw.palette) palette.push_back({c.red, c.green, c.blue});
  std::vector<std::vector<std::uint8_t>> rows;
  std::vector<png_bytep> row_pointers;
  for (std::int32_t y = 0; y < raw.height; ++y) rows.push_back(pack_row(raw, y, -1, options.alpha ? 1 : 0, false));
  for (auto& row : rows) row_pointers.push_back(row.data());
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (file == nullptr) return false;
  const PngJob job{file,
                   static_cast<png_uint_32>(raw.width),
                   static_cast<png_uint_32>(raw.height),
                   raw.bits,
                   colour_type,
                   options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                   palette.empty() ? nullptr : palette.data(),
                   static_cast<int>(palette.size()),
                   &options,
                   row_pointers.data()};
  const bool ok = png_write_job(job);
  return std::fclose(file) == 0 && ok;
}

RawImage raw_from_scan(const testing::ScanImage& scan, PixelKind kind, int bits, bool min_is_white) {
  RawImage raw;
  raw.width = scan.width;
  raw.height = scan.height;
  raw.kind = scan.colour ? PixelKind::Rgb : kind;
  raw.bits = raw.kind == PixelKind::Grey ? bits : 8;
  raw.min_is_white = min_is_white;
  if (raw.kind == PixelKind::Palette) {
    for (int v = 0; v < 256; ++v)
      raw.palette.push_back({static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)});
  }
  const std::size_t count = static_cast<std::size_t>(scan.width) * static_cast<std::size_t>(scan.height);
  raw.pixels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (scan.colour) {
      raw.pixels[i] =
          std::uint32_t{scan.pixels[3 * i]} << 16 | std::uint32_t{scan.pixels[3 * i + 1]} << 8 | scan.pixels[3 * i + 2];
    } else if (raw.kind == PixelKind::Grey) {
      const std::uint32_t top = (1u << bits) - 1;
      const std::uint32_t v = (scan.pixels[i] * top + 127) / 255;
      raw.pixels[i] = min_is_white ? top - v : v;
    } else {
      raw.pixels[i] = scan.pixels[i];
    }
  }
  return raw;
}

bool write_scan_bmp(const std::filesystem::path& path, const testing::ScanImage& scan, int bits, bool rle8) {
  const std::uint32_t stride =
      (static_cast<std::uint32_t>(scan.width) * static_cast<std::uint32_t>(bits) + 31) / 32 * 4;
  std::vector<std::uint8_t> pixels;
  for (std::int32_t y = scan.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    for (std::int32_t x = 0; x < scan.width; ++x) {
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(scan.width) + static_cast<std::size_t>(x);
      const std::uint8_t* p = scan.colour ? &scan.pixels[3 * i] : &scan.pixels[i];
      if (bits == 8) {
        row[static_cast<std::size_t>(x)] = scan.colour ? luma(p[0], p[1], p[2]) : p[0];
      } else {
        for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(3 * x + c)] = scan.colour ? p[2 - c] : p[0];
      }
    }
    if (rle8) {
      append_rle8_row(std::span(row.data(), static_cast<std::size_t>(scan.width)), y == 0, pixels);
    } else {
      pixels.insert(pixels.end(), row.begin(), row.end());
    }
  }
  const std::uint32_t palette_bytes = bits == 8 ? 1024 : 0;
  const std::uint32_t offset = 14 + 40 + palette_bytes;
  std::vector<std::uint8_t> file;
  auto put = [&](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  file.push_back('B');
  file.push_back('M');
  put(offset + static_cast<std::uint32_t>(pixels.size()), 4);
  put(0, 4);
  put(offset, 4);
  put(40, 4);
  put(static_cast<std::uint32_t>(scan.width), 4);
  put(static_cast<std::uint32_t>(scan.height), 4);
  put(1, 2);
  put(static_cast<std::uint32_t>(bits), 2);
  put(rle8 ? 1 : 0, 4);
  put(static_cast<std::uint32_t>(pixels.size()), 4);
  put(11811, 4);  // 300 dpi
  put(11811, 4);
  put(bits == 8 ? 256 : 0, 4);
  put(0, 4);
  for (std::uint32_t v = 0; v < palette_bytes / 4; ++v) put(v | v << 8 | v << 16, 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  write_bytes(path, file);
  return true;
}

bool write_pbm(const std::filesystem::path& path, const InkImage& image, bool plain) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (plain) {
    out << "P1\n# a plain bitmap\n" << image.width << ' ' << image.height << '\n';
    int on_line = 0;
    for (std::int32_t y = 0; y < image.height; ++y) {
      for (std::int32_t x = 0; x < image.width; ++x) {
        out << (image.get(x, y) ? '1' : '0') << (x % 3 == 0 ? " " : "");
        if (++on_line == 60) {
          out << '\n';
          on_line = 0;
        }
      }
      if (y == image.height / 2) out << "\n# half way\n";
    }
    out << '\n';
  } else {
    out << "P4\n# a raw bitmap\n" << image.width << ' ' << image.height << '\n';
    std::vector<char> row((static_cast<std::size_t>(image.width) + 7) / 8);
    for (std::int32_t y = 0; y < image.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      for (std::int32_t x = 0; x < image.width; ++x) {
        if (image.get(x, y)) row[static_cast<std::size_t>(x) / 8] |= static_cast<char>(0x80 >> (x % 8));
      }
      out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
  }
  return static_cast<bool>(out.flush());
}

ReadBack read_image(const std::string& path, int stop_after) {
  ReadBack back;
  const std::unique_ptr<ImageReader> reader = make_image_reader(path);
  back.open = reader->open(path);
  if (back.open != ImageStatus::Ok) return back;
  back.info = reader->info();
  const std::int32_t w = back.info.width;
  const std::int32_t h = back.info.height;
  back.image = InkImage(w, h);
  std::vector<bool> seen(static_cast<std::size_t>(h), false);
  back.read = reader->read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    ++back.rows_delivered;
    if (r < 0 || r >= h) {
      back.faults.push_back("row " + std::to_string(r) + " outside the image");
      return true;
    }
    if (ink.size() != back.image.words_per_row) back.faults.push_back("row " + std::to_string(r) + ": span size");
    if (seen[static_cast<std::size_t>(r)]) back.faults.push_back("row " + std::to_string(r) + " twice");
    seen[static_cast<std::size_t>(r)] = true;
    for (std::size_t k = 0; k < ink.size() && k < back.image.words_per_row; ++k) {
      std::uint64_t word = ink[k];
      const std::int64_t first = static_cast<std::int64_t>(k) * 64;
      if (first + 64 > w) {
        const std::uint64_t inside = w - first >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (w - first)) - 1;
        if ((word & ~inside) != 0) back.faults.push_back("row " + std::to_string(r) + ": bits past the width");
        word &= inside;
      }
      back.image.row(r)[k] = word;
    }
    return stop_after < 0 || back.rows_delivered < stop_after;
  });
  return back;
}

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchFolder::ScratchFolder()
    : folder_(std::filesystem::temp_directory_path() / ("vp_imageio_" + std::to_string(std::random_device{}()))) {
  std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

}  // namespace vp::testing_imageio
