#include "cli/converter.h"

#include <new>

#include "cli/batch.h"
#include "cli/cad_report.h"
#include "cli/image_input.h"
#include "cli/options.h"
#include "cli/page_files.h"
#include "cli/pass_advice.h"
#include "cli/single_conversion.h"
#include "cli/system.h"
#include "cli/terminal_host.h"
#include "core/messages.h"
#include "raster/thread_start.h"

namespace vp::cli {
namespace {

int usage_error(std::ostream& err, const std::string& error) {
  err << "vpconvert: " << error << "\n(vpconvert --help lists the options)\n";
  return kExitUsage;
}

// Work that writes no file is called off by an interrupt like the rest. (A
// conversion whose output is in place when the interrupt comes has succeeded.)
int unless_interrupted(int status, std::ostream& err) {
  if (!interrupt_requested()) return status;
  print_message(err, messages::kCancelled);
  return kExitNotWritten;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool show_progress) {
  const ParseResult parsed = parse_options(args);
  if (!parsed.options) return usage_error(err, parsed.error);
  const Options& options = *parsed.options;
  if (options.help) {
    out << usage_text();
    return kExitWritten;
  }
  if (options.version) {
    out << "vpconvert " << VP_VERSION << "\n";
    return kExitWritten;
  }
  if (options.info) {
    int status = print_image_info(options.input, options.render_dpi, out, err);
    // --cad: the skew is measured on the conversion's own fit.
    if (status == kExitWritten && options.cad) status = print_skew_info(options, out, err);
    return unless_interrupted(status, err);
  }
  if (options.suggest_passes)
    return unless_interrupted(print_pass_advice(options.input, options.cleanup, out, err), err);
  if (options.inputs.size() > 1 || !options.out_dir.empty()) return run_batch(options, out, err);
  if (const std::string clash = single_conversion_clash(options); !clash.empty()) return usage_error(err, clash);
  if (const PageCheck page = check_page(options); page.status != 0) {
    if (page.status == kExitUsage) return usage_error(err, page.message);
    print_message(err, messages::kUnsupportedFormat);
    print_message(err, page.message);
    return page.status;
  }
  return convert_file(options, out, err, show_progress);
}

}  // namespace

int run_converter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool show_progress) {
  int status = kExitWritten;
  {
    InterruptGuard interrupts;  // an interrupt at any point calls the run off
    try {
      status = run(args, out, err, show_progress);
    } catch (const std::bad_alloc&) {
      print_message(err, messages::kOutOfMemory);
      status = kExitOutOfMemory;
    }
  }
  if (threads_were_refused()) {
    print_message(err, "the system refused some threads; the work went on with fewer");
  }
  // What went to standard output must have arrived (a full disk, a closed stream).
  out.flush();
  if (!out && status == kExitWritten) {
    print_message(err, "standard output could not be written");
    status = kExitNotWritten;
  }
  return status;
}

}  // namespace vp::cli
