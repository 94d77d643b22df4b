// Choosing the reader for an image file by what the file holds, not by its name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imageio/image_reader.h"

namespace vp {

enum class ImageFileType { Unknown, Bmp, Tiff, Png, Pbm, Jpeg };

// The type the file's first bytes announce: "BM", "II*\0" or "MM\0*" (and BigTIFF's
// "II+\0", "MM\0+"), the PNG signature, JPEG's start of image and a marker
// (FF D8 FF), or "P" and a digit followed by white space (every Netpbm kind: the
// PBM reader tells the ones it does not take).
// Unknown also for a file that cannot be read.
ImageFileType sniff_image_file(const std::string& path);

// A reader for the file's type; the BMP reader for an unknown one, which then
// reports the file unreadable. None for anything but a regular file (a pipe, a
// device, a folder), which is not opened at all.
std::unique_ptr<ImageReader> make_image_reader(const std::string& path);

// For the conversion driver: every type above.
ImageReaderFactory any_image_reader_factory();

struct OpenedImage {
  ImageStatus status = ImageStatus::Unreadable;
  std::unique_ptr<ImageReader> reader;  // open and ready to read after Ok
};
OpenedImage open_any_image(const std::string& path);

// The open dialog's entries for the types beyond BMP, in its "caption|patterns" form.
struct ImageFileFilter {
  std::string caption;
  std::string patterns;
};
std::vector<ImageFileFilter> extra_image_file_filters();

}  // namespace vp
