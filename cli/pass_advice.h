// The converter's pass-count advisor: --suggest-passes FILE, and --passes auto.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "imageio/image_reader.h"
#include "scan/pass_advisor.h"
#include "scan/threshold.h"

namespace vp::cli {

// "4 passes: the typical stroke is 8.94 pixels wide (median of 52310 ink pixels)"
// and, when only every n-th row was measured, "(..., every 2nd row)".
std::string pass_advice_text(const PassAdvice& advice);

// The advice on the ink as the conversion would thin it: after the clean-up.
AdvisorFileResult advise_on_clean_ink(const std::string& path, const scan::CleanupSettings& cleanup,
                                      const PageChoice& page = {});

// vpconvert --suggest-passes FILE: the advice on `out` and 0, or the
// conversion's messages for an unreadable (3), unsupported (3) or too large (2)
// image on `err`.
int print_pass_advice(const std::string& path, const scan::CleanupSettings& cleanup, std::ostream& out,
                      std::ostream& err);

struct AutoPasses {
  std::int32_t passes = 0;  // the count to convert with; 0 when the advice failed
  int status = 0;           // the exit status when it failed
  std::string note;         // the advice, for the summary
};

// --passes auto: the advisor's count for `path`. An image the advisor cannot
// read is left to the conversion, which fails on it with its own message: the
// count is then 1, the smallest. An image too large to hold gives the status of
// running out of memory (passes 0); the caller says so.
AutoPasses auto_passes(const std::string& path, const scan::CleanupSettings& cleanup, const PageChoice& page = {});

}  // namespace vp::cli
