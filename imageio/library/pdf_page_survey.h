// Telling a scanned PDF page from any other: a page whose content paints one
// opaque image covering the page, upright or turned by quarters (a page with
// /Rotate, an image placed on its side), and nothing else (clips and invisible
// text, such as a scanner's recognised words, paint nothing), is a scan.
#pragma once

#include <mupdf/fitz.h>

namespace vp::pdf {

// The page's one image (kept: the caller drops it) when the page's display list
// is a scan as above, with `orientation` (1 to 8, as EXIF numbers them) saying
// how its rows stand upright on the page; null for any other page, or when
// looking failed.
fz_image* single_page_image(fz_context* ctx, fz_display_list* list, fz_rect bounds, int& orientation);

}  // namespace vp::pdf
