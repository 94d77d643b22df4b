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

// What one file's conversion said and made, for a summary that reads values
// rather than the text on standard error.
struct FileReport {
  std::int32_t segments = 0;          // written, when the status is kExitWritten
  std::vector<std::string> messages;  // as shown on `err`, without "vpconvert: ", in order
};

// One input (options.input) to one output (options.output): the converter's work
// for a single file. Messages go to `err`, the summary to `out`; `report`, when
// given, receives the count and the messages too.
int convert_file(const Options& options, std::ostream& out, std::ostream& err, bool show_progress,
                 FileReport* report = nullptr);

}  // namespace vp::cli
