// Choosing the reader for an image file by what the file holds, not by its name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imageio/image_reader.h"

namespace vp {

enum class ImageFileType { Unknown, Bmp, Tiff, Png, Pbm, Jpeg, Pdf };

// The type the file's first bytes announce: "BM", "II*\0" or "MM\0*" (and BigTIFF's
// "II+\0", "MM\0+"), the PNG signature, JPEG's start of image and a marker
// (FF D8 FF), PDF's "%PDF-", or "P" and a digit followed by white space (every Netpbm kind: the
// PBM reader tells the ones it does not take).
// Unknown also for a file that cannot be read.
ImageFileType sniff_image_file(const std::string& path);

// A reader for the file's type; the BMP reader for an unknown one, which then
// reports the file unreadable. None for anything but a regular file (a pipe, a
// device, a folder), which is not opened at all.
// The reader opens the chosen page of a file of several.
std::unique_ptr<ImageReader> make_image_reader(const std::string& path, const PageChoice& page = {});

// For the conversion driver: every type above, at the chosen page.
ImageReaderFactory any_image_reader_factory(const PageChoice& page = {});

struct OpenedImage {
  ImageStatus status = ImageStatus::Unreadable;
  std::unique_ptr<ImageReader> reader;  // open and ready to read after Ok
};
OpenedImage open_any_image(const std::string& path, const PageChoice& page = {});

// The open dialog's entries for the types beyond BMP, in its "caption|patterns" form.
struct ImageFileFilter {
  std::string caption;
  std::string patterns;
};
std::vector<ImageFileFilter> extra_image_file_filters();
// Every pattern of BMP and the types above together, for one entry that shows them all.
std::string all_image_file_patterns();

}  // namespace vp
