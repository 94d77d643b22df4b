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

#include <memory>
#include <string>

#include "imageio/image_reader.h"

namespace vp {

// The statuses and the description are those of every image reader.
using BmpStatus = ImageStatus;

// What the BMP headers say, besides what every image reader tells. Resolution:
// x_dpi and y_dpi from the pixels per metre.
struct BmpInfo : ImageInfo {
  bool top_down = false;
  bool rle8 = false;
  double x_pixels_per_metre = 0;
  double y_pixels_per_metre = 0;
};

class BmpReader : public ImageReader {
 public:
  BmpReader();
  ~BmpReader() override;
  BmpReader(const BmpReader&) = delete;
  BmpReader& operator=(const BmpReader&) = delete;

  // Opens the file and checks its headers: for uncompressed images that the file
  // holds every row, for RLE8 images the whole stream (read once, nothing kept).
  // The image's width + 2 and height + 2 always fit a signed 32-bit int.
  // info() describes the image after Ok and is empty otherwise.
  BmpStatus open(const std::string& path) override;
  const BmpInfo& info() const override { return info_; }

  // Decodes every row into `sink`, in file order. Unreadable when nothing was opened
  // or the pixel data turns out to be damaged after all (the file changed since open()).
  // Returns Ok also when the sink stopped the reading. Holds one row and a fixed
  // read buffer; like any allocation, these may throw std::bad_alloc.
  BmpStatus read_rows(const InkRowSink& sink) override;

  // 8-bit palette and 24-bit images, uncompressed or RLE8 (skipped pixels white).
  bool has_grey_levels() const override;
  BmpStatus read_grey_rows(const GreyRowSink& sink) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  BmpInfo info_;
};

}  // namespace vp
