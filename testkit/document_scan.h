// Synthetic scans of worn documents for tests and benchmarks: pages of print,
// handwriting or a drawing, with faint pencil beside the ink, under the flaws
// that paper collects: stains, the shadow of a book's spine, the back page's
// text showing through, a fold. The ink and the pencil are the truth a
// threshold is scored against; every flaw is paper, however dark it gets.
//
// Deterministic like synthetic_drawing.h: the same arguments give the same
// pixels on any platform.
#pragma once

#include <cstdint>
#include <vector>

#include "testkit/synthetic_drawing.h"

namespace vp {

enum class PageContent { Print, Handwriting, Drawing };

struct DocumentFlaws {
  std::int32_t stains = 0;    // coffee rings and blotches, the darkest as dark as the pencil
  bool spine_shadow = false;  // a dark band fading in from the left edge
  double bleed_through = 0;   // darkness of the back page's text, as a share of the ink's (0..1)
  bool fold = false;          // a crease across the sheet, the far side a little darker
  double light_falloff = 0;   // share of the light lost towards the far corner (0..0.9)
  double blur = 0.8;          // Gaussian blur (sigma) of the optics, pixels
  double noise = 4;           // sensor noise, standard deviation in grey levels
  bool pencil = true;         // faint pencil lines and notes besides the ink
  std::uint32_t seed = 1;
};

struct DocumentScan {
  InkImage truth;                  // ink and pencil
  std::vector<std::uint8_t> grey;  // row by row from the top, width x height bytes
};

// The page's content alone, in ink (the back page's text is another seed's).
InkImage document_page(std::int32_t width, std::int32_t height, PageContent content, std::uint32_t seed);

// The scan of a page of the given content with the given flaws.
DocumentScan scan_document(std::int32_t width, std::int32_t height, PageContent content, const DocumentFlaws& flaws);

}  // namespace vp
