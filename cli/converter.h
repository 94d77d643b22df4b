// The whole converter, from arguments to exit status, so that tests can run it in-process.
#pragma once

#include <cstdint>
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

struct Options;

// One input (options.input) to one output (options.output): the converter's work
// for a single file. Messages go to `err`, the summary to `out`; on success the
// number of segments written goes to `segments` when given.
int convert_file(const Options& options, std::ostream& out, std::ostream& err, bool show_progress,
                 std::int32_t* segments = nullptr);

}  // namespace vp::cli
