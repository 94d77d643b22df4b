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

// The image as one strip coded by libtiff, as the strip's bytes.
std::vector<std::uint8_t> tiff_strip(const RawImage& raw, TiffCompression compression,
                                     const std::string& scratch_path) {
  TiffOptions options;
  options.compression = compression;
  options.rows_per_strip = static_cast<std::uint32_t>(raw.height);
  if (!write_tiff(scratch_path, raw, options)) return {};
  TIFF* tif = TIFFOpen(scratch_path.c_str(), "r");
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> out(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
  const tmsize_t got = TIFFReadRawStrip(tif, 0, out.data(), static_cast<tmsize_t>(out.size()));
  TIFFClose(tif);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
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
