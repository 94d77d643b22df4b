// Our own reader of Windows bitmap files, reduced to what a conversion needs:
// which pixels are ink.
//
// Accepted: BITMAPCOREHEADER (12 bytes), OS/2 2.x headers (16 to 64 bytes),
// BITMAPINFOHEADER (40) and its 52/56-byte extensions, V4 (108) and V5 (124);
// bottom-up and top-down rows; 1- and 8-bit palette images and 24-bit images,
// uncompressed, and RLE8-compressed 8-bit images.
// Ink: in palette images the one entry nearest to black (smallest squared RGB
// distance to (0, 0, 0), ties to the lowest index); in 24-bit images pure black only.
//
// Every header field is checked before anything is allocated; a file never makes
// the reader read out of bounds or allocate more than one row of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace vp {

enum class BmpStatus {
  Ok,
  Unreadable,   // missing, not a bitmap, truncated or inconsistent
  Unsupported,  // a bitmap of another pixel format (4, 16, 32 bits, bit fields, JPEG/PNG...)
};

struct BmpInfo {
  std::int32_t width = 0;   // pixels, > 0
  std::int32_t height = 0;  // pixels, > 0 (a top-down file's negative height made positive)
  int bits_per_pixel = 0;   // 1, 8 or 24
  bool top_down = false;
  bool rle8 = false;
  int palette_entries = 0;  // entries searched for the ink colour (palette images)
  int ink_index = -1;       // palette index that is ink, -1 for 24-bit images
  double x_pixels_per_metre = 0;
  double y_pixels_per_metre = 0;
};

// Receives one image row: `row_from_top` (0 = the image's top row) and its ink
// mask, bit c of the words (least significant bit first) set when pixel c is ink;
// bits at and beyond the width are zero. Rows arrive in file order, each exactly
// once. Returning false stops the reading (the user aborted).
using InkRowSink = std::function<bool(std::int32_t row_from_top, std::span<const std::uint64_t> ink)>;

class BmpReader {
 public:
  BmpReader();
  ~BmpReader();
  BmpReader(const BmpReader&) = delete;
  BmpReader& operator=(const BmpReader&) = delete;

  // Opens the file and checks its headers: for uncompressed images that the file
  // holds every row, for RLE8 images the whole stream (read once, nothing kept).
  // The image's width + 2 and height + 2 always fit a signed 32-bit int.
  // info() describes the image after Ok and is empty otherwise.
  BmpStatus open(const std::string& path);
  const BmpInfo& info() const { return info_; }

  // Decodes every row into `sink`. Unreadable when nothing was opened or the
  // pixel data turns out to be damaged after all (the file changed since open()).
  // Returns Ok also when the sink stopped the reading. Holds one row and a fixed
  // read buffer; like any allocation, these may throw std::bad_alloc.
  BmpStatus read_rows(const InkRowSink& sink);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  BmpInfo info_;
};

}  // namespace vp
