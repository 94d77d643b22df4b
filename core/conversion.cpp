#include "core/conversion.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "cad/cad_stage.h"
#include "core/progress_display.h"
#include "raster/bit_rows.h"
#include "raster/thinning.h"
#include "raster/upright_grid.h"
#include "scan/dust_removal.h"
#include "scan/grey_reading.h"
#include "vector/junctions.h"
#include "vector/line_merger.h"
#include "vector/run_tracer.h"

namespace vp {

namespace {

// Working memory a phase could not get ends the conversion as out of memory.
PhaseStatus guard_memory(const auto& phase) {
  try {
    return phase();
  } catch (const std::bad_alloc&) {
    return PhaseStatus::OutOfMemory;
  }
}

// A reading that failed: a kind of file found unsupported only once decoding
// began (a progressive JPEG of too many scans) says so, as one refused at opening does.
Outcome failure_of(ImageStatus status) {
  return status == ImageStatus::Unsupported ? Outcome::Unsupported : Outcome::Unreadable;
}

}  // namespace

Conversion::Conversion() : Conversion(ImageReaderFactory{}) {}

Conversion::Conversion(ImageReaderFactory readers) {
  set_reader_factory(std::move(readers));
  lines_.reset_storage();  // as the main window makes it at start; each conversion makes it afresh
}

void Conversion::set_reader_factory(ImageReaderFactory readers) {
  readers_ = readers ? std::move(readers) : bmp_only_reader_factory();
}

ConversionResult Conversion::ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host) {
  return ChangeImage(file_name, pass_count, host, ConversionSettings{});
}

ConversionResult Conversion::ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host,
                                         const ConversionSettings& settings) {
  special_points_ = SpecialPoints{};  // they belong to the last conversion
  cad_ = cad::CadDrawing{};
  scan_report_ = ScanReport{};
  cleanup_ = scan_cleanup_of(settings);
  // LineData back to one empty block; without it nothing can start, not even the display.
  if (!lines_.reset_storage()) return {Outcome::OutOfMemory, 0, scan_report_};
  ProgressDisplay display(host);
  display.reset();
  host.conversion_started();
  display.ended(guard_memory([&] {
    ChangeBmpToArrayData(file_name, display);
    return PhaseStatus::Finished;
  }));
  const bool cad = settings.Cad == kFlagOn;
  // The fits need the ink as it was: its amount over the skeleton's is the
  // strokes' width, and its runs centre the skeleton in them.
  std::optional<cad::InkCopy> ink_before_thinning;
  if (cad && !display.stopped())
    display.ended(guard_memory([&] {
      ink_before_thinning = cad::InkCopy::of(grid_);
      return PhaseStatus::Finished;
    }));
  if (!display.stopped()) {
    display.start_counted();
    display.ended(guard_memory([&] { return run_thinning(grid_, pass_count, display, thinning_); }));
  }
  // The fitted drawing replaces the traced segments (and special mode's merging of them).
  if (!display.stopped() && !cad) {
    display.start_counted();
    display.ended(guard_memory([&] { return run_tracing(grid_, lines_, display); }));
  }
  // Special mode is entered whatever happened before, so that NewLines is created
  // and released in every run; its phases run only while nothing has stopped it.
  if (settings.Special == kFlagOn && !cad) run_special_mode(settings.Ave, display);
  if (cad && !display.stopped()) run_cad(settings, *ink_before_thinning, display);
  host.conversion_finished();
  const Outcome outcome = display.outcome();
  if (outcome != Outcome::Done) cad_ = cad::CadDrawing{};
  return {outcome, outcome == Outcome::Done ? lines_.size() : 0, scan_report_, cad && outcome == Outcome::Done};
}

// A failure is latched by the display.
void Conversion::ChangeBmpToArrayData(const std::string& file_name, ProgressDisplay& display) {
  display.start_loading();
  // Set when the clean-up stops a reading that runs on a thread of its own; the
  // reader's stop check asks it there, and the display only on this thread.
  scan::DecodingStop decoding_stop;
  const std::unique_ptr<ImageReader> reader = readers_(file_name);
  if (reader) {
    reader->set_stop_check([&display, &decoding_stop, here = std::this_thread::get_id()] {
      return std::this_thread::get_id() == here ? !display.keep_going() : decoding_stop.requested();
    });
  }
  const ImageStatus opened = reader ? reader->open(file_name) : ImageStatus::Unreadable;
  if (opened != ImageStatus::Ok) {
    // The grid is left as it was.
    display.fail(opened == ImageStatus::Unsupported ? Outcome::Unsupported : Outcome::Unreadable);
    return;
  }
  const ImageInfo& info = reader->info();
  if (!grid_.reset(info.width, info.height, grid_layout_for(info.orientation, info.width, info.height)) ||
      !room_to_stand_upright(info.orientation, info.width, info.height)) {
    display.fail(Outcome::OutOfMemory);
    return;
  }
  // A threshold rule, or PNG and TIFF by format, whose first rows' levels tell a
  // scan from a drawing: the grey rows, read once. A drawing is then read again
  // with the reader's own rule (the first rows twice, not the sheet).
  const bool grey = reader->has_grey_levels();
  const scan::GreyReading reading = read_grey(*reader, decoding_stop, display);
  scan_report_.mode = reading.mode;
  if (display.stopped()) return;
  if (reading.mode.rule == scan::ThresholdRule::NearestBlack && !reading.ink_read) {
    read_ink(*reader, display);
    scan_report_.ink_pixels = count_ink();
    if (!display.stopped() && grey) note_missing_ink(*reader);
  } else if (reading.mode.rule == scan::ThresholdRule::NearestBlack) {
    scan_report_.ink_pixels = count_ink();
    note_missing_ink(*reader, reading.levels);
  }
  if (display.stopped()) return;
  // The rows went in reversed or mirrored as the orientation asked; a turn on its side is left.
  if (!finish_upright(grid_, info.orientation)) {
    display.fail(Outcome::OutOfMemory);
    return;
  }
  if (cleanup_.despeckle > 0) {
    scan_report_.speck_pixels =
        scan::remove_specks(grid_, cleanup_.despeckle, [&display] { return display.keep_going(); });
    if (display.stopped()) return;
  }
  if (ink_observer_) ink_observer_(grid_);
}

// The reader's own rule, row by row into the grid.
void Conversion::read_ink(ImageReader& reader, ProgressDisplay& display) {
  const std::int64_t rows = reader.info().height;
  std::int64_t rows_done = 0;
  const InkRows into_grid = upright_rows(reader.info().orientation, reader.info().width, reader.info().height,
                                         [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
                                           grid_.set_image_row(row_from_top, ink);
                                           return display.report(Phase::Load, ++rows_done, rows);
                                         });
  const ImageStatus read = reader.read_rows(into_grid);
  if (read != ImageStatus::Ok) display.fail(failure_of(read));  // unless aborted: the abort is the cause
  display.end_loading();
}

// The rule for the image on the reader's grey rows, decoded on a second thread;
// the bar follows the rows read over every reading the rule makes. Nothing is
// read when the rule is the reader's own.
scan::GreyReading Conversion::read_grey(ImageReader& reader, scan::DecodingStop& stop, ProgressDisplay& display) {
  const ImageInfo& info = reader.info();
  const InkRowSink into_grid = upright_rows(info.orientation, info.width, info.height,
                                            [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
                                              grid_.set_image_row(row_from_top, ink);
                                              return true;
                                            });
  scan::GreyReadingHooks hooks;
  hooks.row_read = [&display](std::int64_t done, std::int64_t total) {
    return display.report(Phase::Load, done, total);
  };
  hooks.keep_going = [&display] { return display.keep_going(); };
  hooks.stop = &stop;
  const scan::GreyReading reading = scan::read_with_rule(reader, cleanup_.threshold, into_grid, hooks);
  if (reading.mode.rule == scan::ThresholdRule::NearestBlack && !reading.ink_read) return reading;
  if (reading.outcome.status != ImageStatus::Ok) display.fail(failure_of(reading.outcome.status));
  if (reading.mode.rule != scan::ThresholdRule::NearestBlack) {
    scan_report_.threshold = reading.outcome.threshold;
    scan_report_.ink_pixels = count_ink();
  }
  display.end_loading();
  return reading;
}

std::int64_t Conversion::count_ink() const {
  std::int64_t count = 0;
  for (std::int32_t y = 0; y < grid_.stored_height(); ++y) {
    const std::uint64_t* row = grid_.ink_row(y);
    for (std::size_t k = 0; k < grid_.words_per_row(); ++k) count += bits::count(row[k]);
  }
  return count;
}

// Item of advice for the front ends: nearest-black found next to no ink on an
// image of many grey levels. `levels` were counted in the reading that found the
// ink when it read grey rows; else they are counted only now, on a second reading
// that stops at the 17th level, so the usual conversion pays nothing.
void Conversion::note_missing_ink(ImageReader& reader, std::int32_t levels) {
  const std::int64_t pixels = std::int64_t{reader.info().width} * reader.info().height;
  if (scan_report_.ink_pixels * 10000 >= pixels * 5) return;
  if (levels < 0) {
    ImageStatus status = ImageStatus::Ok;
    levels = scan::count_grey_levels([&](const GreyRowSink& sink) { return reader.read_grey_rows(sink); },
                                     scan::kFewGreyLevels + 1, status);
  }
  scan_report_.grey_scan_without_ink = levels > scan::kFewGreyLevels;
}

void Conversion::run_cad(const ConversionSettings& settings, const cad::InkCopy& ink, ProgressDisplay& display) {
  cad::CadParams params;  // the strokes' width: the ink's cells over the skeleton's
  params.straighten = settings.CadKeepSkew != kFlagOn;
  params.ink = &ink;
  display.start_special();
  display.ended(guard_memory([&] { return cad::build_cad_drawing(grid_, params, cad_, display); }));
}

void Conversion::run_special_mode(float tolerance, ProgressDisplay& display) {
  LineData new_lines;  // NewLines: room for 1024 records
  if (new_lines_fault_for_testing == NewLinesFault::Creation) new_lines.fail_next_growth_for_testing();
  if (new_lines.reset_storage()) {
    if (new_lines_fault_for_testing == NewLinesFault::Growth) new_lines.fail_next_growth_for_testing();
  } else {
    display.fail(Outcome::OutOfMemory);  // nowhere to put the merged lines
  }
  display.start_special();
  SpecialState state;  // the lists and the index, gone with special mode
  if (!display.stopped()) {
    display.check(ProgressLabel::EndPointCheck, true);
    display.ended(guard_memory([&] { return GetTopZahyou(lines_, state, display); }));
    display.check(ProgressLabel::EndPointCheck, false);
  }
  if (!display.stopped()) {
    display.check(ProgressLabel::CrossingCheck, true);
    display.ended(guard_memory([&] { return GetCrossZahyou(lines_, state, display); }));
    display.check(ProgressLabel::CrossingCheck, false);
  }
  if (!display.stopped())
    display.ended(guard_memory([&] { return GetNewLines(lines_, new_lines, state, tolerance, display); }));
  // Takes NewLines' storage over, so it cannot fail for want of memory.
  if (!display.stopped()) {
    DataConvert(lines_, new_lines);
    // The merging only read the two lists: they describe the lines it made.
    special_points_ = SpecialPoints{true, std::move(state.TopPoints), std::move(state.CrossPoints)};
  }
  new_lines.release();
}

}  // namespace vp
