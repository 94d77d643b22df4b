// PBM input (Netpbm bitmaps): raw (P4) and plain (P1), the first image of the file.
//
// 1 is black and is ink. Header comments ("#" to the end of the line) are
// allowed wherever white space is, and in a plain image's pixels too. The other
// Netpbm kinds (grey and colour: P2, P3, P5, P6, P7) are Unsupported.
//
// Memory: one row (raw) or nothing but a read buffer (plain). open() checks that
// the file holds every pixel: by its size for raw images, by reading a plain
// image's pixels once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imageio/image_reader.h"

namespace vp {

class PbmReader : public ImageReader {
 public:
  PbmReader();
  ~PbmReader() override;
  PbmReader(const PbmReader&) = delete;
  PbmReader& operator=(const PbmReader&) = delete;

  ImageStatus open(const std::string& path) override;
  const ImageInfo& info() const override { return info_; }
  // Rows top first, in file order.
  ImageStatus read_rows(const InkRowSink& sink) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  ImageInfo info_;
};

}  // namespace vp
