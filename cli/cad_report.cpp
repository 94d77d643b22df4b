#include "cli/cad_report.h"

#include <cmath>

#include "cad/cad_stage.h"
#include "cli/converter.h"
#include "cli/page_files.h"
#include "cli/pass_advice.h"
#include "cli/single_conversion.h"
#include "cli/terminal_host.h"
#include "core/conversion.h"
#include "core/outcome.h"
#include "export/number_text.h"
#include "imageio/image_formats.h"

namespace vp::cli {
namespace {

std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// RealText: a skew that rounds to zero has no sign.
std::string degrees_text(double degrees) { return RealText(degrees, 2) + "°"; }

}  // namespace

std::string skew_text(const cad::CadDrawing& drawing, bool keep_skew, bool converted) {
  const double size = std::fabs(drawing.skew_degrees);
  std::string text = degrees_text(drawing.skew_degrees) + ": ";
  // The stage's own limits decide; a conversion says what it did.
  if (size < cad::kMinSkewDegrees) return text + "under " + degrees_text(cad::kMinSkewDegrees) + ", left as it is";
  if (size > cad::kMaxSkewDegrees) return text + "over " + degrees_text(cad::kMaxSkewDegrees) + ", taken as drawn";
  if (keep_skew) return text + (converted ? "kept (--keep-skew)" : "--keep-skew would keep it");
  if (!converted) return text + "--cad would straighten it";
  return text + (drawing.straightened ? "straightened" : "left as it is");
}

std::string cad_summary_text(const cad::CadDrawing& drawing, bool keep_skew) {
  return "cad: " + counted(drawing.lines.size(), "line", "lines") + ", " + counted(drawing.arcs.size(), "arc", "arcs") +
         ", " + counted(drawing.circles.size(), "circle", "circles") + "; skew " + skew_text(drawing, keep_skew, true);
}

int print_skew_info(const Options& options, std::ostream& out, std::ostream& err) {
  std::int32_t passes = options.passes;
  if (options.auto_passes) {
    const AutoPasses advised = auto_passes(options.input, options.cleanup, page_choice(options));
    if (advised.passes == 0) {
      print_message(err, outcome_text(Outcome::OutOfMemory).message);
      return advised.status;
    }
    passes = advised.passes;
  }
  TerminalHost host(err, false);
  Conversion conversion(any_image_reader_factory(page_choice(options)));
  const ConversionResult converted =
      conversion.ChangeImage(options.input, passes, host, conversion_settings_of(options));
  if (!converted.done() || interrupt_requested()) {
    const OutcomeText& text = outcome_text(interrupt_requested() ? Outcome::Aborted : converted.outcome);
    if (!text.notice.empty()) host.show_message(text.notice);
    host.show_message(text.message);
    return text.code;
  }
  out << "skew: " << skew_text(conversion.cad_drawing(), options.keep_skew, false) << " (with " << passes
      << (passes == 1 ? " pass" : " passes") << ")\n";
  return kExitWritten;
}

}  // namespace vp::cli
