// The whole converter, from arguments to exit status, so that tests can run it
// in-process: it reads the options and hands the work to a single conversion
// (single_conversion.h), a batch (batch.h), or the image's information or pass advice.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vp::cli {

enum ExitStatus : int {
  kExitWritten = 0,
  kExitNotWritten = 1,
  kExitOutOfMemory = 2,
  kExitUnreadable = 3,
  kExitUsage = 64,
};

// `show_progress`: draw a progress bar on `err` (when it is a terminal).
int run_converter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool show_progress);

}  // namespace vp::cli
