// TIFF input through libtiff: one image of the file (every directory is a page), in strips or tiles,
// uncompressed or in any compression libtiff decodes (LZW, PackBits, CCITT G3
// and G4, Deflate...).
//
// Accepted: 1-, 2-, 4- and 8-bit grey (MinIsWhite or MinIsBlack) and palette
// images, 8-bit RGB (interleaved or one plane per colour). Ink: in grey images
// the value nearest to black (0 in MinIsBlack images, the largest value in
// MinIsWhite ones), in palette images the entry nearest to black (smallest
// squared distance, ties to the lowest index), in RGB images pure black only.
// Anything else (16-bit or floating-point samples, alpha or other extra
// samples, CMYK, YCbCr, Lab...) is Unsupported. The Orientation tag is reported
// in ImageInfo, for the conversion to stand the image upright; the rows are
// handed out as stored, top first.
//
// libtiff reports through handlers of this reader's own, so nothing reaches
// standard error; an error while decoding makes read_rows Unreadable.
#pragma once

#include <memory>
#include <string>

#include "imageio/image_reader.h"

namespace vp {

class TiffReader : public ImageReader {
 public:
  TiffReader();
  ~TiffReader() override;
  TiffReader(const TiffReader&) = delete;
  TiffReader& operator=(const TiffReader&) = delete;

  ImageStatus open(const std::string& path) override;
  const ImageInfo& info() const override { return info_; }
  // Rows in file order, top first: one decoded row at a time for strips, one
  // row of tiles at a time for tiled images; images with one plane per colour
  // keep a one-bit ink mask of the whole image.
  ImageStatus read_rows(const InkRowSink& sink) override;

  // Images of 2 bits or more, grey levels in file order, top first; images with
  // one plane per colour are read a strip of each plane at a time.
  bool has_grey_levels() const override;
  ImageStatus read_grey_rows(const GreyRowSink& sink) override;
  int ink_grey_level() const override;

  void choose_page(const PageChoice& choice) override { page_ = choice.index; }
  int page_count() const override { return page_count_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  ImageInfo info_;
  int page_ = 0;
  int page_count_ = 0;
};

}  // namespace vp
