// JPEG input through libjpeg(-turbo).
//
// Accepted: 8-bit baseline (and extended sequential) and progressive JPEG, Huffman
// or arithmetic coded, grey (one component) or colour (YCbCr, or RGB as Adobe
// marks it), decoded to 8-bit grey or 24-bit RGB. CMYK, YCCK, other component
// counts and 12-bit or lossless files are Unsupported.
// Ink, as for every reader: grey value 0 in grey images, pure black in colour
// ones, which JPEG's rounding seldom leaves: scans want the grey rows
// (read_grey_rows) and a threshold.
// Resolution: the JFIF density in dots per inch or per centimetre; when the JFIF
// marker gives none (no marker, or an aspect ratio only), the EXIF IFD0's
// XResolution and YResolution with their ResolutionUnit (inch or centimetre).
// Orientation: the EXIF IFD0's Orientation (a phone's photo is often stored on its
// side), reported in ImageInfo; the rows are handed out as stored.
//
// Damaged or cut short pixel data is Unreadable: libjpeg would carry on with grey
// filler and a warning, which would pass a broken scan off as a drawing. Nothing
// reaches standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imageio/image_reader.h"

namespace vp {

class JpegReader : public ImageReader {
 public:
  JpegReader();
  ~JpegReader() override;
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;

  ImageStatus open(const std::string& path) override;
  // The same for a JPEG held in memory (as a PDF holds one); `bytes` must not be empty.
  ImageStatus open_memory(std::vector<std::uint8_t> bytes);
  const ImageInfo& info() const override { return info_; }
  // Rows top first, decoded a few at a time. A progressive (or any multi-scan)
  // file keeps libjpeg's coefficients of the whole image, which must fit in the
  // memory available: std::bad_alloc otherwise. A second call reads the file again.
  ImageStatus read_rows(const InkRowSink& sink) override;
  bool has_grey_levels() const override { return true; }
  ImageStatus read_grey_rows(const GreyRowSink& sink) override;

 private:
  struct Impl;
  // Decodes every row as 8-bit grey or RGB samples (as the file is) into `row`.
  ImageStatus decode(const std::function<bool(std::int32_t, const std::uint8_t*)>& row);

  std::unique_ptr<Impl> impl_;
  ImageInfo info_;
  std::string path_;
  std::vector<std::uint8_t> memory_;
};

namespace imageio {

// What an EXIF APP1 segment ("Exif\0\0" and a TIFF structure) gives in IFD0: the
// resolution in dots per inch (0 for a side it does not give, or gives in no
// unit) and the orientation (1 to 8; 1 when absent or out of range). Any bytes
// may come: what lies outside the segment or makes no sense is ignored.
struct ExifTags {
  double x_dpi = 0;
  double y_dpi = 0;
  int orientation = 1;
};
ExifTags exif_tags(std::span<const std::uint8_t> segment);

}  // namespace imageio
}  // namespace vp
