// One input to one output: read the image, convert it, write the segments (and
// the thinned image or the ink when asked). A single run of the converter is one
// of these; a batch runs one per input.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "cli/options.h"
#include "core/conversion_settings.h"

namespace vp::cli {

// What one file's conversion said and made, for a summary that reads values
// rather than the text on standard error.
struct FileReport {
  std::int32_t segments = 0;          // written (with --cad: lines, arcs and circles), when the status is kExitWritten
  std::vector<std::string> messages;  // as shown on `err`, without "vpconvert: ", in order
  std::vector<std::string> notes;     // the --rate from-dpi and --passes auto notes, shown on `out` unless quiet
};

// One input (options.input) to one output (options.output). Messages go to `err`,
// the summary to `out`; `report`, when given, receives the count and the messages
// too. Returns an ExitStatus.
int convert_file(const Options& options, std::ostream& out, std::ostream& err, bool show_progress,
                 FileReport* report = nullptr);

// The settings a conversion with these options runs with: special mode and its
// tolerance, --cad and --keep-skew, the scan clean-up.
ConversionSettings conversion_settings_of(const Options& options);

// The usage error when the files one conversion reads and writes overlap (the
// input, the template, the outputs), so that none is overwritten; else empty.
std::string single_conversion_clash(const Options& options);

}  // namespace vp::cli
