// PNG input through libpng.
//
// Accepted: 1-, 2-, 4- and 8-bit grey and palette images and 8-bit RGB images,
// interlaced or not. Ink: in grey images the value 0, the one nearest to black;
// in palette images the entry nearest to black (smallest squared distance, ties
// to the lowest index); in RGB images pure black only. Transparency (tRNS) is
// not looked at. 16-bit samples and images with an alpha channel are Unsupported.
// Resolution: pHYs in pixels per metre.
//
// libpng's errors come back as Unreadable and its warnings are dropped; nothing
// reaches standard error.
#pragma once

#include <memory>
#include <string>

#include "imageio/image_reader.h"

namespace vp {

class PngReader : public ImageReader {
 public:
  PngReader();
  ~PngReader() override;
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  ImageStatus open(const std::string& path) override;
  const ImageInfo& info() const override { return info_; }
  // Rows top first. A non-interlaced image is decoded one row at a time; an
  // interlaced one is first gathered into a one-bit ink mask of the whole image,
  // since its last pass completes every row. A second call reads the file again.
  ImageStatus read_rows(const InkRowSink& sink) override;

  // Images of 2 bits or more: grey levels top first, a row at a time; an
  // interlaced image is first read whole as it is stored (its samples, not its
  // grey levels), at most 1 GiB of them.
  bool has_grey_levels() const override;
  ImageStatus read_grey_rows(const GreyRowSink& sink) override;
  int ink_grey_level() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  ImageStatus restart();

  ImageInfo info_;
  std::string path_;
};

}  // namespace vp
