// Built without JPEG input: no reader, and the open dialog offers no JPEG files.
#include "imageio/library/library_formats.h"

namespace vp {

std::unique_ptr<ImageReader> make_jpeg_reader() { return nullptr; }

}  // namespace vp
