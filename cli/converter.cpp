#include "cli/converter.h"

#include "app/core/conversion.h"
#include "app/core/messages.h"
#include "cli/batch.h"
#include "cli/image_input.h"
#include "cli/options.h"
#include "cli/pass_advice.h"
#include "cli/system.h"
#include "cli/terminal_host.h"
#include "export/atomic_file.h"
#include "export/dxf_writer.h"
#include "export/jwc_writer.h"
#include "export/pbm_writer.h"
#include "export/svg_writer.h"
#include "export/text_writer.h"
#include "imageio/image_formats.h"
#include "raster/utf8_path.h"

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

// Saves the segments in the format the output's extension chose.
SaveResult save_segments(const Options& options, std::span<const LineRecord> records, TerminalHost& host) {
  const std::filesystem::path target = path_from_utf8(options.output);
  switch (options.format) {
    case OutputFormat::Dxf: {
      // The in-memory template starts empty; the one named, or else the first
      // of the user's, the one beside the program and the installed one, replaces it.
      DxfHeaderTemplate header;
      std::filesystem::path template_path;
      if (!options.dxf_header.empty()) {
        template_path = path_from_utf8(options.dxf_header);
        // A template asked for by name must be there: without it the file would have no header.
        std::error_code ec;
        if (!std::filesystem::exists(template_path, ec)) {
          host.show_message(dxf_header_unreadable_message(template_path));
          return {1, SaveFailure::Template, std::make_error_code(std::errc::no_such_file_or_directory)};
        }
      } else {
        template_path = find_dxf_header(dxf_header_places());
      }
      return SaveDXF(target, {options.rate, records, options.dxf}, header, template_path, host);
    }
    case OutputFormat::Jwc:
      return SaveJWC(target, {options.rate, records, options.jwc}, host);
    case OutputFormat::Svg:
      return SaveSVG(target, {options.rate, records, options.dxf}, host);
    case OutputFormat::CoordinateText:
      break;
  }
  return SaveTXT(target, {options.rate, records, options.separator, options.decimals}, host);
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
  if (options.version) {
    out << "vpconvert " << VP_VERSION << "\n";
    return kExitWritten;
  }
  if (options.info) return print_image_info(options.input, out, err);
  if (options.suggest_passes) return print_pass_advice(options.input, out, err);
  if (options.inputs.size() > 1 || !options.out_dir.empty()) return run_batch(options, out, err);
  return convert_file(options, out, err, show_progress);
}

int convert_file(const Options& given, std::ostream& out, std::ostream& err, bool show_progress,
                 std::int32_t* segments) {
  // --rate from-dpi:SCALE: the magnification from this image's own resolution.
  const ResolvedRate rate = resolve_rate(given.rate, given.input);
  if (!rate.error.empty()) {
    err << "vpconvert: " << rate.error << '\n';
    return kExitUsage;
  }
  Options options = given;
  options.rate = rate.rate;
  // --passes auto: the image is read once for the advisor (its grid released
  // again) and once more by the conversion.
  std::string passes_note;
  if (options.auto_passes) {
    const AutoPasses advised = auto_passes(options.input, err);
    if (advised.passes == 0) return advised.status;
    options.passes = advised.passes;
    passes_note = advised.note;
  }
  Conversion conversion(any_image_reader_factory());
  TerminalHost host(err, show_progress && !options.quiet, conversion.CancelState);
  {
    InterruptGuard interrupts;
    ConversionSettings settings;
    settings.Special = flag_value(options.special);
    settings.Ave = tenths_to_real(options.tolerance_tenths);  // held as the settings load holds it
    conversion.ChangeImage(options.input, options.passes, host, settings);
  }
  if (conversion.CancelState != 0) return report_conversion_failure(conversion.CancelState, host);

  if (!options.thinned.empty()) {
    if (const std::error_code error = write_grid_pbm(path_from_utf8(options.thinned), conversion.grid())) {
      host.show_message(file_error_text(error) + ": " + options.thinned);
      host.show_message(kNotSavedMessage);
      return kExitNotWritten;
    }
  }

  const SaveResult saved = save_segments(options, conversion.records(), host);
  if (!saved.written()) {
    // An unreadable template has been named by the writer; nothing was begun.
    if (saved.failure != SaveFailure::Template) {
      if (saved.error) host.show_message(file_error_text(saved.error) + ": " + options.output);
      host.show_message(kNotSavedMessage);
    }
    return kExitNotWritten;
  }
  if (segments != nullptr) *segments = conversion.LineCount();
  if (!options.quiet) {
    if (!rate.note.empty()) out << rate.note << '\n';
    if (!passes_note.empty()) out << passes_note << '\n';
    out << conversion.LineCount() << messages::kLinesSuffix << '\n';
    out << kSavedMessage << ' ' << options.output << '\n';
  }
  return kExitWritten;
}

}  // namespace vp::cli
