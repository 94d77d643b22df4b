// Telling a scanned PDF page from any other: a page whose content paints one
// opaque image covering the page upright, and nothing else (clips and invisible
// text, such as a scanner's recognised words, paint nothing), is a scan.
#pragma once

#include <mupdf/fitz.h>

namespace vp::pdf {

// The page's one image (kept: the caller drops it) when the page's display list
// is a scan as above; null for any other page, or when looking failed.
fz_image* single_page_image(fz_context* ctx, fz_display_list* list, fz_rect bounds);

}  // namespace vp::pdf
