// Built without PDF input: no reader, and the open dialog offers no PDF files.
#include "imageio/library/library_formats.h"

namespace vp {

std::unique_ptr<ImageReader> make_pdf_reader() { return nullptr; }

}  // namespace vp
