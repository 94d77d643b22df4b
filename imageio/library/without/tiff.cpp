// Built without TIFF input: no reader, and the open dialog offers no TIFF files.
#include "imageio/library/library_formats.h"

namespace vp {

std::unique_ptr<ImageReader> make_tiff_reader() { return nullptr; }

}  // namespace vp
