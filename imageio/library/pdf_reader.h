// PDF input through MuPDF, one page at a time.
//
// A scanned page (one image covering the page, upright or turned by quarters as
// a page's /Rotate or the image's placement turns it, and nothing else drawn)
// is read as that image's own pixels, never resampled, its turn reported as
// the orientation in ImageInfo: DCT through the JPEG reader, every other code (CCITT G3/G4, JBIG2, Flate, LZW,
// RunLength, none) through MuPDF's decoders, rows streamed; 1- to 8-bit grey, 8-bit RGB and indexed images, with the
// Decode array and /ImageMask polarity honoured (what an image mask paints is ink). Its resolution is the image's size
// over the page's. Any other page (vector drawings, several images, colours we do not take as they are) is rendered in
// grey at the chosen resolution, in bands.
//
// Refusals: a file locked by a password is Unsupported (password_protected());
// a damaged or cut short file (one MuPDF had to repair), or one without pages,
// is Unreadable. MuPDF's allocations are capped and a page's interpretation is
// timed, so that a hostile file costs neither gigabytes nor minutes; nothing
// reaches standard error.
#pragma once

#include <memory>
#include <string>

#include "imageio/image_reader.h"

namespace vp {

class PdfReader : public ImageReader {
 public:
  PdfReader();
  ~PdfReader() override;
  PdfReader(const PdfReader&) = delete;
  PdfReader& operator=(const PdfReader&) = delete;

  void choose_page(const PageChoice& choice) override { choice_ = choice; }
  ImageStatus open(const std::string& path) override;
  const ImageInfo& info() const override { return info_; }
  ImageStatus read_rows(const InkRowSink& sink) override;
  bool has_grey_levels() const override;
  ImageStatus read_grey_rows(const GreyRowSink& sink) override;
  int page_count() const override { return page_count_; }
  bool password_protected() const override { return password_protected_; }

 private:
  struct Impl;
  // The stop check reaches the rendering and the JPEG reader a page's image goes through.
  void forward_stop_check();
  std::unique_ptr<Impl> impl_;
  ImageInfo info_;
  PageChoice choice_;
  int page_count_ = 0;
  bool password_protected_ = false;
};

}  // namespace vp
