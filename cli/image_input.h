// What the converter tells about an input image (--info), and the magnification
// it derives from the image's resolution (--rate from-dpi:SCALE).
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "imageio/image_reader.h"
#include "scan/threshold.h"

namespace vp::cli {

inline constexpr std::string_view kRateFromDpi = "from-dpi:";

// "--info" report: format and encoding, size, how the stored rows stand upright
// (when they are not stored so), pixel kind, the ink rule, resolution; size and
// resolution are those of the upright image.
std::string image_info_text(const std::string& path, const ImageInfo& info);

// "--info" lines on the grey levels of an image that has them, and the thresholds
// the rules would take.
std::string grey_summary_text(const scan::GreySummary& summary, const ImageInfo& info, std::int32_t first_rows_levels);

// vpconvert --info FILE: the report on `out` (every page of a file of several,
// each headed "page N of M") and exit status 0, or the conversion's messages for
// an unsupported or unreadable file on `err` and 3.
int print_image_info(const std::string& path, int render_dpi, std::ostream& out, std::ostream& err);

// The resolution as the report shows it: "400 dpi", "300 x 600 dpi" or "unknown".
std::string resolution_text(const ImageInfo& info);

struct ResolvedRate {
  std::optional<float> rate;  // the magnification to save with; none when the image cannot be opened
  std::string error;          // not empty: why --rate from-dpi cannot be followed (a usage error)
  std::string note;           // how a derived magnification came about, for the summary
};

// The magnification for `input`: `rate` as given, or with a `scale_text`
// (--rate from-dpi:SCALE) SCALE ÷ dpi × 25.4 with the scale calculator's
// arithmetic and its eight decimals, from the resolution stored in `input`. A
// file without a resolution, or with different horizontal and vertical ones, is
// an error. A file that cannot be opened gives no magnification: its conversion
// fails first.
ResolvedRate resolve_rate(float rate, const std::string& scale_text, const std::string& input,
                          const PageChoice& page = {});

}  // namespace vp::cli
