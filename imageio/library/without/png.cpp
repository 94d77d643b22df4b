// Built without PNG input: no reader, and the open dialog offers no PNG files.
#include "imageio/library/library_formats.h"

namespace vp {

std::unique_ptr<ImageReader> make_png_reader() { return nullptr; }

}  // namespace vp
