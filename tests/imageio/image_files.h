// Writing test images with libtiff, libpng and libjpeg (and PBM by hand) from sample
// values we choose, so that every kind of file the readers take, and the kinds
// they must refuse, can be made on the spot.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imageio/image_reader.h"
#include "support/degraded_scan.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {

struct Rgb {
  std::uint8_t red = 0, green = 0, blue = 0;
};

// An image as sample values: palette indices, grey values, or colours packed
// 0xRRGGBB; row 0 is the top row.
struct RawImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  PixelKind kind = PixelKind::Grey;
  int bits = 8;               // bits per sample: 1, 2, 4, 8 (16 for the refused kinds)
  bool min_is_white = false;  // grey TIFF only
  std::vector<Rgb> palette;   // palette images
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(std::int32_t x, std::int32_t y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

// What a drawing becomes in a given kind: ink as the value nearest to black,
// background as values that are not ink (white, and dark colours or greys when
// `dark_background` is set, picked per pixel by a hash).
struct RawSpec {
  PixelKind kind = PixelKind::Grey;
  int bits = 1;
  bool min_is_white = false;
  std::vector<Rgb> palette;  // palette images: the ink is the entry nearest to black
  bool dark_background = false;
};
RawImage raw_from_ink(const InkImage& image, const RawSpec& spec);

// The literal ink rule: which pixels of `raw` are ink, and the value that is ink
// (-1 for RGB). The palette's entry nearest to black by squared distance, ties to
// the lowest index; grey 0, or 2^bits - 1 when 0 is white; pure black in RGB.
int expected_ink_value(const RawImage& raw);
InkImage expected_ink(const RawImage& raw);

enum class TiffCompression { None, Lzw, PackBits, Deflate, G3, G4 };

struct TiffOptions {
  TiffCompression compression = TiffCompression::None;
  std::uint32_t rows_per_strip = 0;  // 0: libtiff's default
  std::uint32_t tile_width = 0;      // non-zero: tiled, tile_width x tile_length
  std::uint32_t tile_length = 0;
  bool planar = false;  // RGB as three planes
  // Resolution: written when x_resolution > 0, in the given unit (1 none, 2 inch, 3 centimetre).
  float x_resolution = 0;
  float y_resolution = 0;
  int resolution_unit = 2;
  // Kinds the reader must refuse.
  bool extra_alpha = false;    // one more sample, declared as alpha
  bool cmyk = false;           // four 8-bit samples, separated
  bool ycbcr = false;          // three 8-bit samples as YCbCr
  bool float_samples = false;  // 32-bit IEEE samples
  int pages = 1;               // later pages repeat the image inverted
  int orientation = 0;         // the Orientation tag, written when > 0
};
bool write_tiff(const std::filesystem::path& path, const RawImage& raw, const TiffOptions& options);

struct PngOptions {
  bool interlaced = false;
  // pHYs: written when set; unit 1 is metre, 0 unknown.
  bool phys = false;
  std::uint32_t x_pixels_per_unit = 0;
  std::uint32_t y_pixels_per_unit = 0;
  int phys_unit = 1;
  bool alpha = false;  // grey+alpha or RGBA: refused
};
bool write_png(const std::filesystem::path& path, const RawImage& raw, const PngOptions& options);

// JPEG of an 8-bit grey or RGB image, in memory (empty when libjpeg refused).
enum class JpegSpace { Natural, Rgb, Cmyk, Ycck };  // Natural: grey, or colour as YCbCr
struct JpegOptions {
  int quality = 90;
  bool progressive = false;
  int restart_rows = 0;     // restart markers every so many MCU rows
  bool arithmetic = false;  // arithmetic coding instead of Huffman's
  int scans = 0;            // grey, 64 or more: progressive in this many scans, each coefficient refined bit by bit
  bool jfif = true;         // Natural only: the others write Adobe's marker instead
  int density_unit = 0;     // JFIF: 0 aspect ratio only, 1 dots per inch, 2 dots per centimetre
  std::uint16_t x_density = 1;
  std::uint16_t y_density = 1;
  std::vector<std::uint8_t> app1{};  // written as an APP1 segment when not empty
  JpegSpace space = JpegSpace::Natural;
};
std::vector<std::uint8_t> encode_jpeg(const RawImage& raw, const JpegOptions& options);

// An EXIF APP1 segment whose IFD0 holds XResolution x_num/x_den, YResolution
// y_num/y_den, when unit > 0 ResolutionUnit, and when orientation > 0 Orientation.
std::vector<std::uint8_t> exif_segment(std::uint32_t x_num, std::uint32_t x_den, std::uint32_t y_num,
                                       std::uint32_t y_den, int unit, bool big_endian, int orientation = 0);

// A scan as sample values: grey scans as `bits`-bit grey (rounded, 0 white when
// `min_is_white`) or as a palette of 256 greys (kind Palette), colour scans as RGB.
RawImage raw_from_scan(const testing::ScanImage& scan, PixelKind kind, int bits = 8, bool min_is_white = false);
// A scan as a BMP: 8-bit with a palette of 256 greys (RLE8 compressed when asked),
// or 24-bit; bottom-up rows, 40-byte header.
bool write_scan_bmp(const std::filesystem::path& path, const testing::ScanImage& scan, int bits, bool rle8 = false);

// P1 (plain: digits with spaces, short lines and a comment among the pixels) or P4.
bool write_pbm(const std::filesystem::path& path, const InkImage& image, bool plain);

// Reads every row through `reader` (open) into an image; `faults` lists broken
// delivery rules (rows twice or outside, spans of the wrong size, bits past the width).
struct ReadBack {
  ImageStatus open = ImageStatus::Unreadable;
  ImageStatus read = ImageStatus::Unreadable;
  ImageInfo info;
  InkImage image;
  std::vector<std::string> faults;
  int rows_delivered = 0;
};
ReadBack read_image(const std::string& path, int stop_after = -1);

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A folder of its own in the temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string path(const std::string& name) const { return (folder_ / name).string(); }

 private:
  std::filesystem::path folder_;
};

}  // namespace vp::testing_imageio
