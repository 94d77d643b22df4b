#include "pdf_files.h"

#include <tiffio.h>
#include <zlib.h>

namespace vp::testing_imageio {

std::vector<std::uint8_t> packed_samples(const RawImage& raw) {
  const bool rgb = raw.kind == PixelKind::Rgb;
  const std::size_t row_bytes = rgb ? std::size_t(raw.width) * 3 : (std::size_t(raw.width) * raw.bits + 7) / 8;
  std::vector<std::uint8_t> out(row_bytes * static_cast<std::size_t>(raw.height));
  for (std::int32_t y = 0; y < raw.height; ++y) {
    std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * row_bytes;
    for (std::int32_t x = 0; x < raw.width; ++x) {
      const std::uint32_t v = raw.at(x, y);
      if (rgb) {
        row[3 * x] = static_cast<std::uint8_t>(v >> 16);
        row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        row[3 * x + 2] = static_cast<std::uint8_t>(v);
      } else {
        const std::size_t bit = static_cast<std::size_t>(x) * raw.bits;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - raw.bits - bit % 8));
      }
    }
  }
  return out;
}

std::vector<std::uint8_t> flate(const std::vector<std::uint8_t>& bytes) {
  uLongf size = compressBound(bytes.size());
  std::vector<std::uint8_t> out(size);
  if (compress(out.data(), &size, bytes.data(), bytes.size()) != Z_OK) return {};
  out.resize(size);
  return out;
}

namespace {

// The coded bytes of a TIFF's first strip.
std::vector<std::uint8_t> first_strip(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> out(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
  const tmsize_t got = TIFFReadRawStrip(tif, 0, out.data(), static_cast<tmsize_t>(out.size()));
  TIFFClose(tif);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

// The image as one strip coded by libtiff, as the strip's bytes.
std::vector<std::uint8_t> tiff_strip(const RawImage& raw, TiffCompression compression,
                                     const std::string& scratch_path) {
  TiffOptions options;
  options.compression = compression;
  options.rows_per_strip = static_cast<std::uint32_t>(raw.height);
  if (!write_tiff(scratch_path, raw, options)) return {};
  return first_strip(scratch_path);
}

}  // namespace

std::vector<std::uint8_t> ccitt_g4(const RawImage& raw, const std::string& scratch_path) {
  // libtiff codes set bits of a MinIsWhite image as black runs, which a PDF
  // decoder without /BlackIs1 gives back as 0: black.
  RawImage white_is_zero = raw;
  white_is_zero.min_is_white = true;
  for (std::uint32_t& v : white_is_zero.pixels) v ^= 1;
  return tiff_strip(white_is_zero, TiffCompression::G4, scratch_path);
}

std::vector<std::uint8_t> ccitt_g3(const RawImage& raw, const G3Layout& layout, const std::string& scratch_path) {
  if (raw.bits != 1) return {};
  TIFF* tif = TIFFOpen(scratch_path.c_str(), "w");
  if (tif == nullptr) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(raw.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(raw.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(raw.height));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
  // libtiff codes at most three 2-D rows after each 1-D row over 150 dpi: K 4.
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 200.0f);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 200.0f);
  std::uint32_t options = layout.two_d ? GROUP3OPT_2DENCODING : 0;
  // Fill bits end each EOL on a byte boundary; the byte-aligned mode pads each row to one.
  const bool fill_rows = layout.byte_align && (!layout.end_of_line || layout.eols_start_on_bytes);
  if (layout.byte_align && !fill_rows) options |= GROUP3OPT_FILLBITS;
  TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, options);
  int mode = layout.end_of_line ? FAXMODE_CLASSIC : FAXMODE_NOEOL | FAXMODE_NORTC;
  if (fill_rows) mode |= FAXMODE_BYTEALIGN;
  TIFFSetField(tif, TIFFTAG_FAXMODE, mode);
  // libtiff codes clear bits as white runs.
  const std::uint8_t flip = layout.black_is_1 ? 0 : 0xFF;
  const std::vector<std::uint8_t> packed = packed_samples(raw);
  const std::size_t row_bytes = (static_cast<std::size_t>(raw.width) + 7) / 8;
  std::vector<std::uint8_t> row(row_bytes);
  bool ok = true;
  for (std::int32_t y = 0; y < raw.height && ok; ++y) {
    for (std::size_t i = 0; i < row_bytes; ++i) {
      row[i] = static_cast<std::uint8_t>(packed[static_cast<std::size_t>(y) * row_bytes + i] ^ flip);
    }
    ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
  }
  TIFFClose(tif);
  return ok ? first_strip(scratch_path) : std::vector<std::uint8_t>{};
}

std::string g3_decode_parms(const RawImage& raw, const G3Layout& layout) {
  const auto flag = [](bool on) { return on ? "true" : "false"; };
  return std::string("<< /K ") + (layout.two_d ? "4" : "0") + " /Columns " + std::to_string(raw.width) + " /Rows " +
         std::to_string(raw.height) + " /EndOfLine " + flag(layout.end_of_line && !layout.eols_unsaid) +
         " /EncodedByteAlign " + flag(layout.byte_align) + " /BlackIs1 " + flag(layout.black_is_1) + " >>";
}

std::vector<std::uint8_t> lzw(const RawImage& raw, const std::string& scratch_path) {
  return tiff_strip(raw, TiffCompression::Lzw, scratch_path);
}

std::vector<std::uint8_t> jbig2_mmr(const RawImage& raw, const std::vector<std::uint8_t>& g4) {
  std::vector<std::uint8_t> out;
  auto u32 = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  // Segment header: number, type, no referred segments, page 1, data length.
  auto header = [&](std::uint32_t number, std::uint8_t type, std::uint32_t length) {
    u32(number);
    out.push_back(type);
    out.push_back(0);
    out.push_back(1);
    u32(length);
  };
  const auto width = static_cast<std::uint32_t>(raw.width), height = static_cast<std::uint32_t>(raw.height);
  header(0, 48, 19);  // page information: size, no resolution, white, no striping
  u32(width);
  u32(height);
  u32(0);
  u32(0);
  out.insert(out.end(), {0, 0, 0});
  header(1, 38, 18 + static_cast<std::uint32_t>(g4.size()));  // immediate generic region
  u32(width);
  u32(height);
  u32(0);
  u32(0);
  out.push_back(0);  // combined by OR
  out.push_back(1);  // MMR
  out.insert(out.end(), g4.begin(), g4.end());
  return out;
}

}  // namespace vp::testing_imageio
