#include "cli/single_conversion.h"

#include <new>
#include <optional>

#include "cli/cad_report.h"
#include "cli/file_roles.h"
#include "cli/image_input.h"
#include "cli/page_files.h"
#include "cli/pass_advice.h"
#include "cli/system.h"
#include "cli/terminal_host.h"
#include "core/conversion.h"
#include "core/messages.h"
#include "core/outcome.h"
#include "export/atomic_file.h"
#include "export/dxf_header.h"
#include "export/pbm_writer.h"
#include "export/save_file.h"
#include "imageio/image_formats.h"
#include "raster/utf8_path.h"

namespace vp::cli {
namespace {
// The exit status is the outcome's stored code: 1 aborted, 2 out of memory, 3 unreadable.
int report_conversion_failure(Outcome outcome, TerminalHost& host) {
  // A failure after an interrupt (a read cut short by it) is the user's doing.
  if (interrupt_requested()) outcome = Outcome::Aborted;
  const OutcomeText& text = outcome_text(outcome);
  if (!text.notice.empty()) host.show_message(text.notice);
  host.show_message(text.message);
  return text.code;
}

// The DXF header template the output will start with, read before any work so
// that an unreadable one costs no conversion. False (with the message shown) when it cannot be read.
bool load_dxf_header(const Options& options, DxfHeaderTemplate& header, TerminalHost& host) {
  // The one named, or else the first of the user's, the one beside the program
  // and the installed one.
  const std::filesystem::path template_path =
      options.dxf_header.empty() ? find_dxf_header(dxf_header_places()) : path_from_utf8(options.dxf_header);
  if (template_path.empty()) return true;
  const DxfHeaderLoadResult loaded = reload_dxf_header(template_path, header);
  // A template asked for by name must be there: without it the file would have no header.
  const bool missing_named = loaded.outcome == DxfHeaderLoad::Missing && !options.dxf_header.empty();
  if (loaded.outcome == DxfHeaderLoad::Unreadable || missing_named) {
    host.show_message(dxf_header_unreadable_message(template_path));
    return false;
  }
  return true;
}

// Saves the segments, or with --cad the fitted drawing, in the format the
// output's extension chose. `rate` is checked again here only against what the
// format can store.
SaveResult save_drawing(const Options& options, std::optional<float> rate, const Conversion& conversion, bool cad,
                        const DxfHeaderTemplate& header, TerminalHost& host) {
  const ExportFormat& format = *options.format;
  const bool fits = rate && (cad ? rate_fits(format, conversion.cad_drawing(), *rate)
                                 : rate_fits(format, conversion.records(), *rate));
  if (!fits) {
    host.show_message(kInvalidRateMessage);
    return {SaveFailure::InvalidRate, {}};
  }
  ExportOptions exports = options.exports;
  exports.dxf_header = header.bytes();  // read before the conversion
  const std::filesystem::path path = path_from_utf8(options.output);
  if (cad) return save_file(format, path, conversion.cad_drawing(), *rate, exports, host);
  return save_file(format, path, conversion.records(), *rate, exports, host);
}

// Reports a save that wrote nothing.
int report_save_failure(const SaveResult& saved, const std::string& path, TerminalHost& host) {
  if (saved.error == std::errc::operation_canceled || interrupt_requested()) {
    host.show_message(messages::kCancelled);
  } else if (saved.failure != SaveFailure::Template) {
    // An unreadable template has been named by the writer.
    if (saved.error) host.show_message(file_error_text(saved.error) + ": " + path);
    host.show_message(kNotSavedMessage);
  }
  return kExitNotWritten;
}

// An output that cannot be written (its folder missing, a folder in its place) is
// said before the image is read, with the messages a failed save gives: the check
// the writing makes, on a temporary file that is discarded at once.
bool outputs_can_be_written(const Options& options, TerminalHost& host) {
  const auto refused = [](const std::string& path) {
    if (path.empty()) return std::error_code{};
    AtomicFile probe(path_from_utf8(path));
    const std::error_code error = probe.open();
    probe.discard();
    return error;
  };
  if (const std::error_code error = refused(options.output)) {
    if (!options.format->failure_message.empty()) host.show_message(options.format->failure_message);
    report_save_failure({SaveFailure::Create, error}, options.output, host);
    return false;
  }
  for (const std::string* path : {&options.ink, &options.thinned}) {
    if (const std::error_code error = refused(*path)) {
      host.show_message(file_error_text(error) + ": " + *path);
      host.show_message(kNotSavedMessage);
      return false;
    }
  }
  return true;
}

int convert_one(const Options& given, std::ostream& out, std::ostream& err, bool show_progress, FileReport& report) {
  TerminalHost host(err, show_progress && !given.quiet, &report.messages);
  // --rate from-dpi:SCALE: the magnification from this image's own resolution.
  const PageChoice page = page_choice(given);
  const ResolvedRate rate = resolve_rate(given.rate, given.rate_scale, given.input, page);
  if (!rate.error.empty()) {
    host.show_message(rate.error);
    return kExitUsage;
  }
  Options options = given;
  Conversion conversion(any_image_reader_factory(page));
  DxfHeaderTemplate header;
  if (options.format->uses_dxf_header && !load_dxf_header(options, header, host)) return kExitNotWritten;
  if (!outputs_can_be_written(options, host)) return kExitNotWritten;
  // --passes auto: the image is read once for the advisor (its grid released
  // again) and once more by the conversion.
  std::string passes_note;
  if (options.auto_passes) {
    const AutoPasses advised = auto_passes(options.input, options.cleanup, page);
    if (advised.passes == 0) return report_conversion_failure(Outcome::OutOfMemory, host);
    options.passes = advised.passes;
    passes_note = advised.note;
  }
  // The ink and thinned images wait, written but not in place, until the
  // segments are saved: a run that fails leaves none of the files.
  const auto picture_failed = [&](std::error_code error, const std::string& path) {
    if (error == std::errc::operation_canceled || interrupt_requested()) {
      host.show_message(messages::kCancelled);
    } else {
      host.show_message(file_error_text(error) + ": " + path);
      host.show_message(kNotSavedMessage);
    }
    return kExitNotWritten;
  };
  const auto write_picture = [&](std::optional<AtomicFile>& file, const std::string& path, const PixelGrid& grid) {
    file.emplace(path_from_utf8(path), [&host] { return host.abort_requested(); });
    std::error_code error = file->open();
    if (!error) error = write_grid_pbm(*file, grid);
    return error;
  };
  std::optional<AtomicFile> ink;
  std::error_code ink_error;
  if (!options.ink.empty()) {
    conversion.set_ink_observer([&](const PixelGrid& grid) { ink_error = write_picture(ink, options.ink, grid); });
  }
  const ConversionResult converted =
      conversion.ChangeImage(options.input, options.passes, host, conversion_settings_of(options));
  if (!converted.done() || interrupt_requested()) return report_conversion_failure(converted.outcome, host);
  if (converted.scan.grey_scan_without_ink) {
    host.show_message(std::string(messages::kGreyScanNotice) + "--threshold auto をためしてみてね。");
  }
  if (ink_error) return picture_failed(ink_error, options.ink);

  std::optional<AtomicFile> thinned;
  if (!options.thinned.empty()) {
    if (const std::error_code error = write_picture(thinned, options.thinned, conversion.grid())) {
      return picture_failed(error, options.thinned);
    }
  }

  const SaveResult saved = save_drawing(options, rate.rate, conversion, converted.cad, header, host);
  if (!saved.written()) return report_save_failure(saved, options.output, host);
  for (auto [file, path] : {std::pair{&ink, &options.ink}, std::pair{&thinned, &options.thinned}}) {
    if (!*file) continue;
    if (const std::error_code error = (*file)->commit()) return picture_failed(error, *path);
  }
  report.segments =
      converted.cad ? static_cast<std::int32_t>(conversion.cad_drawing().entity_count()) : converted.segments;
  if (!rate.note.empty()) report.notes.push_back(rate.note);
  if (!passes_note.empty()) report.notes.push_back(passes_note);
  if (!options.quiet) {
    for (const std::string& note : report.notes) out << note << '\n';
    out << report.segments << messages::kLinesSuffix << '\n';
    if (converted.cad) out << cad_summary_text(conversion.cad_drawing(), options.keep_skew) << '\n';
    out << kSavedMessage << ' ' << options.output << '\n';
  }
  return kExitWritten;
}

}  // namespace

ConversionSettings conversion_settings_of(const Options& options) {
  ConversionSettings settings;
  settings.Special = flag_value(options.special);
  settings.Ave = tenths_to_real(options.tolerance_tenths);  // held as the settings load holds it
  settings.Cad = flag_value(options.cad);
  settings.CadKeepSkew = flag_value(options.keep_skew);
  set_scan_cleanup(settings, options.cleanup);
  return settings;
}

// The files one conversion reads and writes, for the check that none is overwritten.
std::string single_conversion_clash(const Options& options) {
  std::vector<NamedFile> reads{{"the input", options.input}};
  if (!options.dxf_header.empty() && options.format->uses_dxf_header)
    reads.push_back({"--dxf-header", options.dxf_header});
  std::vector<NamedFile> writes{{"-o", options.output}};
  if (!options.thinned.empty()) writes.push_back({"--thinned", options.thinned});
  if (!options.ink.empty()) writes.push_back({"--ink", options.ink});
  return clashing_files(reads, writes);
}

int convert_file(const Options& options, std::ostream& out, std::ostream& err, bool show_progress, FileReport* report) {
  InterruptGuard interrupts;  // also when a batch's thread runs it
  FileReport own;
  FileReport& said = report != nullptr ? *report : own;
  try {
    return convert_one(options, out, err, show_progress, said);
  } catch (const std::bad_alloc&) {
    // The partly written files have been discarded on the way out.
    const OutcomeText& text = outcome_text(interrupt_requested() ? Outcome::Aborted : Outcome::OutOfMemory);
    print_message(err, text.message);
    try {
      said.messages.emplace_back(text.message);
    } catch (const std::bad_alloc&) {
      // The status says it.
    }
    return text.code;
  }
}

}  // namespace vp::cli
