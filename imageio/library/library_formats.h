// The readers that need a library, each built in or left out as the build chose
// (VP_WITH_TIFF, VP_WITH_PNG, VP_WITH_JPEG, VP_WITH_PDF). A format left out has a stand-in (imageio/without/)
// that makes no reader, so the choice lives in the build alone.
#pragma once

#include <memory>

#include "imageio/image_reader.h"

namespace vp {

// A TIFF reader (libtiff), or nothing when built without TIFF.
std::unique_ptr<ImageReader> make_tiff_reader();
// A PNG reader (libpng), or nothing when built without PNG.
std::unique_ptr<ImageReader> make_png_reader();
// A JPEG reader (libjpeg-turbo), or nothing when built without JPEG.
std::unique_ptr<ImageReader> make_jpeg_reader();
// A PDF reader (MuPDF), or nothing when built without PDF.
std::unique_ptr<ImageReader> make_pdf_reader();

}  // namespace vp
