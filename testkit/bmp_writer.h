// Writes an InkImage as a Windows bitmap file, in the variants the reader must
// accept: 1-bit (either palette polarity), 8-bit (any palette, optionally RLE8
// compressed), 24-bit; rows bottom-up or top-down; core (12-byte), info (40-byte)
// or V5 (124-byte) header.
//
// Ink is always written as the colour the reader must take for ink: the black
// palette entry, or pure black (0, 0, 0) in 24-bit files. Background may be
// written in colours that are dark but are not ink, to check that they stay
// background.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "testkit/synthetic_drawing.h"

namespace vp {

struct BmpColor {
  std::uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const BmpColor&, const BmpColor&) = default;
};

enum class BmpHeaderKind { Core = 12, Info = 40, V5 = 124 };

struct BmpWriteOptions {
  int bits_per_pixel = 1;  // 1, 8 or 24
  bool top_down = false;   // not with RLE8, not with the core header
  BmpHeaderKind header = BmpHeaderKind::Info;
  bool rle8 = false;  // 8-bit only, bottom-up, info or V5 header
  double dpi = 0;     // resolution in both directions; 0 writes 0 pixels per metre

  // 1-bit: false gives the palette (white, black), so set bits are ink;
  // true gives (black, white), so clear bits are ink.
  bool black_first = false;

  // 8-bit: the palette, at most 256 entries. Empty: a 256-entry grey ramp with
  // black at index 0 and mid to light greys (64 to 255) above it.
  std::vector<BmpColor> palette;
  int ink_index = 0;  // 8-bit: index written for ink
  // 8-bit: indices written for background, one picked per pixel by a hash of its
  // position and `noise_seed`. Empty: the last palette entry.
  std::vector<std::uint8_t> background_indices;

  // 24-bit: fraction of background pixels written as a near-black colour, such as
  // (red 1, green 0, blue 0), that must NOT be taken for ink.
  double near_black_noise = 0;
  std::uint32_t noise_seed = 0;

  // Fill the unused bits of each row's last byte and the row's padding bytes with
  // ones instead of zeros: a reader must ignore them.
  bool dirty_padding = false;
};

// Empty when the image can be written with these options, else why not.
std::string check_bmp_options(const InkImage& image, const BmpWriteOptions& options);

// The whole file in memory (for small test images). Empty when check_bmp_options fails.
std::vector<std::uint8_t> encode_bmp(const InkImage& image, const BmpWriteOptions& options);

// Appends one row of 8-bit indices as RLE8: runs of three or more equal indices
// as (count, index), stretches without such runs in absolute mode (0, count,
// indices, padded to an even length), shorter leftovers as runs of one or two;
// then end-of-line, or end-of-bitmap for the last row.
void append_rle8_row(std::span<const std::uint8_t> indices, bool last_row, std::vector<std::uint8_t>& out);

// Streams the file row by row, never holding more than one row of it. False (and
// no file left behind) when the options are not valid or the file cannot be written.
bool write_bmp_file(const std::string& path, const InkImage& image, const BmpWriteOptions& options);

}  // namespace vp
