#include "cli/converter.h"

#include "app/core/conversion.h"
#include "app/core/messages.h"
#include "cli/options.h"
#include "cli/terminal_host.h"
#include "export/atomic_file.h"
#include "export/pbm_writer.h"
#include "export/text_writer.h"

namespace vp::cli {
namespace {

int report_conversion_failure(std::int32_t code, TerminalHost& host) {
  switch (code) {
    case 1:
      host.show_message(messages::kCancelled);
      return kExitNotWritten;
    case 2:
      host.show_message(messages::kOutOfMemory);
      return kExitOutOfMemory;
    default:
      host.show_message(messages::kUnreadableImage);
      return kExitUnreadable;
  }
}

}  // namespace

int run_converter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool show_progress) {
  const ParseResult parsed = parse_options(args);
  if (!parsed.options) {
    err << "vpconvert: " << parsed.error << "\n(vpconvert --help lists the options)\n";
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    out << usage_text();
    return kExitWritten;
  }

  Conversion conversion;
  TerminalHost host(err, show_progress && !options.quiet, conversion.CancelState);
  {
    InterruptGuard interrupts;
    conversion.ChangeImage(options.input, options.passes, host);
  }
  if (conversion.CancelState != 0) return report_conversion_failure(conversion.CancelState, host);

  if (!options.thinned.empty()) {
    if (const std::error_code error = write_grid_pbm(options.thinned, conversion.grid())) {
      host.show_message(file_error_text(error) + ": " + options.thinned);
      host.show_message(kNotSavedMessage);
      return kExitNotWritten;
    }
  }

  const TextSaveInput input{options.rate, conversion.records(), options.separator, options.decimals};
  const SaveResult saved = SaveTXT(std::filesystem::path(options.output), input, host);
  if (!saved.written()) {
    if (saved.error) host.show_message(file_error_text(saved.error) + ": " + options.output);
    host.show_message(kNotSavedMessage);
    return kExitNotWritten;
  }
  if (!options.quiet) {
    out << conversion.LineCount() << messages::kLinesSuffix << '\n';
    out << kSavedMessage << ' ' << options.output << '\n';
  }
  return kExitWritten;
}

}  // namespace vp::cli
