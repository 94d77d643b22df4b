#include "cli/pass_advice.h"

#include "cli/converter.h"
#include "cli/terminal_host.h"
#include "core/outcome.h"
#include "core/scale.h"
#include "imageio/image_formats.h"
#include "scan/clean_load.h"

namespace vp::cli {
namespace {

std::string ordinal(std::int32_t n) {
  const std::int32_t last = n % 10, tens = n % 100;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                       : last == 1                ? "st"
                       : last == 2                ? "nd"
                       : last == 3                ? "rd"
                                                  : "th";
  return std::to_string(n) + suffix;
}

}  // namespace

std::string pass_advice_text(const PassAdvice& advice) {
  const StrokeThickness& t = advice.thickness;
  std::string text = std::to_string(advice.passes) + (advice.passes == 1 ? " pass" : " passes");
  if (t.measured == 0) return text + ": the image has no ink";
  text += ": the typical stroke is " + fixed_text(t.typical, 2) + " pixels wide (median of " +
          std::to_string(t.measured) + " ink pixels";
  if (t.row_step > 1) text += ", every " + ordinal(t.row_step) + " row";
  return text + ")";
}

AdvisorFileResult advise_on_clean_ink(const std::string& path, const scan::CleanupSettings& cleanup,
                                      const PageChoice& page) {
  AdvisorFileResult result;
  PixelGrid grid;
  // Ctrl-C heard even while a reader decodes without handing out rows.
  const ImageReaderFactory readers = [page](const std::string& file) {
    std::unique_ptr<ImageReader> reader = any_image_reader_factory(page)(file);
    if (reader) reader->set_stop_check(interrupt_requested);
    return reader;
  };
  const scan::CleanLoad load = scan::load_clean_ink(path, readers, cleanup, grid);
  if (load.out_of_memory) {
    result.outcome = AdvisorLoad::OutOfMemory;
  } else if (load.status != ImageStatus::Ok) {
    result.outcome = load.status == ImageStatus::Unsupported ? AdvisorLoad::Unsupported : AdvisorLoad::Unreadable;
  } else {
    result.advice = advise_passes(grid);
    result.outcome = AdvisorLoad::Ok;
  }
  return result;
}

int print_pass_advice(const std::string& path, const scan::CleanupSettings& cleanup, std::ostream& out,
                      std::ostream& err) {
  const AdvisorFileResult result = advise_on_clean_ink(path, cleanup);
  if (result.outcome == AdvisorLoad::Ok) {
    out << pass_advice_text(result.advice) << '\n';
    return kExitWritten;
  }
  if (interrupt_requested()) return kExitNotWritten;  // a reading cut short by it: the caller says so
  // Said as a conversion of the image would say it.
  const OutcomeText& text = outcome_text(result.outcome == AdvisorLoad::OutOfMemory   ? Outcome::OutOfMemory
                                         : result.outcome == AdvisorLoad::Unsupported ? Outcome::Unsupported
                                                                                      : Outcome::Unreadable);
  TerminalHost host(err, false);
  if (!text.notice.empty()) host.show_message(text.notice);
  host.show_message(text.message);
  return text.code;
}

AutoPasses auto_passes(const std::string& path, const scan::CleanupSettings& cleanup, const PageChoice& page) {
  const AdvisorFileResult result = advise_on_clean_ink(path, cleanup, page);
  switch (result.outcome) {
    case AdvisorLoad::Ok:
      return {result.advice.passes, kExitWritten, "--passes auto: " + pass_advice_text(result.advice)};
    case AdvisorLoad::OutOfMemory:
      return {0, kExitOutOfMemory, ""};
    case AdvisorLoad::Unsupported:
    case AdvisorLoad::Unreadable:
      break;
  }
  return {1, kExitWritten, ""};
}

}  // namespace vp::cli
