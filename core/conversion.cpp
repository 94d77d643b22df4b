#include "core/conversion.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "core/messages.h"
#include "raster/thinning.h"
#include "scan/dust_removal.h"
#include "vector/junctions.h"
#include "vector/line_merger.h"
#include "vector/run_tracer.h"
#include "vector/special_view.h"

namespace vp {
namespace {

// Special mode's widgets on the progress dialog.
class HostSpecialView : public SpecialView {
 public:
  explicit HostSpecialView(ConversionHost& host) : host_(host) {}
  void check_running(SpecialCheck check) override { host_.set_label(label(check), messages::kCheckRunning); }
  void check_done(SpecialCheck check) override { host_.set_label(label(check), messages::kCheckDone); }
  void show_count(SpecialCount count, std::int64_t value) override {
    host_.set_label(count == SpecialCount::Traced ? ProgressLabel::TracedCount : ProgressLabel::MergedCount,
                    std::to_string(value));
  }
  void set_bar(int position) override { host_.set_bar(ProgressBar::Special, position); }
  void process_events() override { host_.process_events(); }

 private:
  static ProgressLabel label(SpecialCheck check) {
    return check == SpecialCheck::EndPoints ? ProgressLabel::EndPointCheck : ProgressLabel::CrossingCheck;
  }
  ConversionHost& host_;
};

}  // namespace

Conversion::Conversion() : Conversion(ImageReaderFactory{}) {}

Conversion::Conversion(ImageReaderFactory readers) {
  set_reader_factory(std::move(readers));
  if (!lines_.reset_storage()) CancelState = 2;
}

void Conversion::set_reader_factory(ImageReaderFactory readers) {
  readers_ = readers ? std::move(readers) : bmp_only_reader_factory();
}

void Conversion::ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host) {
  ChangeImage(file_name, pass_count, host, ConversionSettings{});
}

void Conversion::ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host,
                             const ConversionSettings& settings) {
  special_points_ = SpecialPoints{};  // they belong to the last conversion
  scan_report_ = ScanReport{};
  cleanup_ = scan_cleanup_of(settings);
  // 1. LineData back to one block; without it nothing can start.
  if (!lines_.reset_storage()) {
    CancelState = 2;
    return;
  }
  CancelState = 0;
  // 2.
  PassCount = pass_count;
  WorkTotal = WorkDone = 0;
  PercentShown = 0;
  // 3. A fresh progress dialog.
  for (ProgressBar bar : {ProgressBar::Load, ProgressBar::Thin, ProgressBar::Trace, ProgressBar::Special})
    host.set_bar(bar, 0);
  host.set_label(ProgressLabel::EndPointCheck, messages::kCheckOff);
  host.set_label(ProgressLabel::CrossingCheck, messages::kCheckOff);
  host.set_label(ProgressLabel::MergedCount, "0");
  host.set_label(ProgressLabel::TracedCount, "0");
  host.conversion_started();
  // 4. Loading.
  if (CancelState == 0) guard_memory([&] { ChangeBmpToArrayData(file_name, host); });
  // 5-7. Thinning passes and BlueToBlack.
  if (CancelState == 0) {
    WorkTotal = thinning_work_total(grid_.width(), grid_.height(), PassCount);
    guard_memory([&] {
      run_counted(ProgressBar::Thin, host, [&](PhaseControl& control) { run_thinning(grid_, PassCount, control); });
    });
  }
  // 8-10. Run tracing.
  WorkTotal = WorkDone = 0;
  PercentShown = 0;
  lines_.set_count(1);
  if (CancelState == 0) {
    WorkTotal = tracing_work_total(grid_.width(), grid_.height());
    guard_memory([&] {
      run_counted(ProgressBar::Trace, host, [&](PhaseControl& control) { run_tracing(grid_, lines_, control); });
    });
  }
  // 11. Special mode, entered whatever CancelState holds so that NewLines is
  // created and released in every run; its phases run only while it is 0.
  if (settings.Special == kFlagOn) run_special_mode(settings.Ave, host);
  // 12. From here on LineCount is the number of records held.
  lines_.set_count(lines_.count() - 1);
  // 13.
  host.conversion_finished();
}

void Conversion::ChangeBmpToArrayData(const std::string& file_name, ConversionHost& host) {
  host.set_bar(ProgressBar::Load, 0);
  const std::unique_ptr<ImageReader> reader = readers_(file_name);
  const ImageStatus opened = reader ? reader->open(file_name) : ImageStatus::Unreadable;
  if (opened == ImageStatus::Unsupported) {
    CancelState = 3;
    host.show_message(messages::kUnsupportedFormat);
    return;
  }
  if (opened != ImageStatus::Ok) {
    CancelState = 3;  // the grid is left as it was
    return;
  }
  const ImageInfo& info = reader->info();
  if (!grid_.reset(info.width, info.height)) {
    CancelState = 2;
    return;
  }
  const scan::ThresholdMode mode = scan::mode_for_image(cleanup_.threshold, info, reader->has_grey_levels());
  scan_report_.mode = mode;
  if (mode.rule != scan::ThresholdRule::NearestBlack) {
    read_grey(*reader, mode, host);
  } else {
    read_ink(*reader, host);
    scan_report_.ink_pixels = count_ink();
    if (CancelState == 0 && reader->has_grey_levels()) note_missing_ink(*reader);
  }
  if (CancelState != 0) return;
  if (cleanup_.despeckle > 0) scan_report_.speck_pixels = scan::remove_specks(grid_, cleanup_.despeckle);
  if (ink_observer_) ink_observer_(grid_);
}

// The reader's own rule, row by row into the grid.
void Conversion::read_ink(ImageReader& reader, ConversionHost& host) {
  const ImageInfo& info = reader.info();
  std::int64_t rows_done = 0;
  int shown = 0;
  const ImageStatus read = reader.read_rows([&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
    grid_.set_image_row(row_from_top, ink);
    // The bar after row r (counted from 0) reads trunc(r / height × 100).
    const auto position = static_cast<int>(static_cast<double>(rows_done) / info.height * 100.0);
    ++rows_done;
    if (position != shown) host.set_bar(ProgressBar::Load, shown = position);
    host.process_events();
    return CancelState == 0;
  });
  if (read != ImageStatus::Ok && CancelState == 0) CancelState = 3;
  host.set_bar(ProgressBar::Load, 100);
}

// A threshold rule on the reader's grey rows; the bar follows the rows read over
// every reading the rule makes.
void Conversion::read_grey(ImageReader& reader, const scan::ThresholdMode& mode, ConversionHost& host) {
  const ImageInfo& info = reader.info();
  const std::int64_t total = std::int64_t{info.height} * (mode.rule == scan::ThresholdRule::Otsu ? 2 : 1);
  std::int64_t rows_done = 0;
  int shown = 0;
  const scan::GreySource source = [&](const GreyRowSink& sink) {
    return reader.read_grey_rows([&](std::int32_t row_from_top, std::span<const std::uint8_t> grey) {
      const bool go_on = sink(row_from_top, grey);
      const auto position = static_cast<int>(static_cast<double>(rows_done) / static_cast<double>(total) * 100.0);
      ++rows_done;
      if (position != shown) host.set_bar(ProgressBar::Load, shown = position);
      host.process_events();
      return go_on && CancelState == 0;
    });
  };
  const scan::ThresholdOutcome outcome =
      scan::apply_threshold(mode, info.width, info.height, source, [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
        grid_.set_image_row(row_from_top, ink);
        return true;
      });
  if (outcome.status != ImageStatus::Ok && CancelState == 0) CancelState = 3;
  scan_report_.threshold = outcome.threshold;
  scan_report_.ink_pixels = count_ink();
  host.set_bar(ProgressBar::Load, 100);
}

std::int64_t Conversion::count_ink() const {
  std::int64_t count = 0;
  for (std::int32_t y = 0; y < grid_.height(); ++y) {
    const std::uint64_t* row = grid_.ink_row(y);
    for (std::size_t k = 0; k < grid_.words_per_row(); ++k) count += std::popcount(row[k]);
  }
  return count;
}

// Item of advice for the front ends: nearest-black found next to no ink on an
// image of many grey levels. The levels are counted only then, on a second
// reading that stops at the 17th level, so the usual conversion pays nothing.
void Conversion::note_missing_ink(ImageReader& reader) {
  const std::int64_t pixels = std::int64_t{reader.info().width} * reader.info().height;
  if (scan_report_.ink_pixels * 10000 >= pixels * 5) return;
  ImageStatus status = ImageStatus::Ok;
  const std::int32_t levels = scan::count_grey_levels(
      [&](const GreyRowSink& sink) { return reader.read_grey_rows(sink); }, 17, status);
  scan_report_.grey_scan_without_ink = levels > 16;
}

void Conversion::run_special_mode(float tolerance, ConversionHost& host) {
  LineData new_lines;  // NewLines: 1024 records, count 1
  if (new_lines_fault_for_testing == NewLinesFault::Creation) new_lines.fail_next_growth_for_testing();
  if (new_lines.reset_storage()) {
    new_lines.set_count(1);
    if (new_lines_fault_for_testing == NewLinesFault::Growth) new_lines.fail_next_growth_for_testing();
  } else if (CancelState == 0) {
    CancelState = 2;  // nowhere to put the merged lines
  }
  HostSpecialView view(host);
  SpecialControl control{CancelState, view};
  SpecialState state;  // the lists and the index, gone with special mode
  if (CancelState == 0) guard_memory([&] { GetTopZahyou(lines_, state, control); });
  if (CancelState == 0) guard_memory([&] { GetCrossZahyou(lines_, state, control); });
  if (CancelState == 0) guard_memory([&] { GetNewLines(lines_, new_lines, state, tolerance, control); });
  // Takes NewLines' storage over, so it cannot fail for want of memory.
  if (CancelState == 0) {
    DataConvert(lines_, new_lines, control);
    // The merging only read the two lists: they describe the lines it made.
    special_points_ = SpecialPoints{true, std::move(state.TopPoints), std::move(state.CrossPoints)};
  }
  new_lines.release();
}

// Working memory a phase could not get ends the conversion as out of memory.
void Conversion::guard_memory(const auto& phase) {
  try {
    phase();
  } catch (const std::bad_alloc&) {
    CancelState = 2;
  }
}

// The progress rule, after one line of a counted phase.
void Conversion::count_unit(ProgressBar bar, ConversionHost& host) {
  ++WorkDone;
  const double percent = WorkTotal > 0 ? static_cast<double>(WorkDone) / static_cast<double>(WorkTotal) * 100.0 : 0.0;
  if (static_cast<std::int64_t>(percent) == PercentShown + 1) {
    ++PercentShown;
    host.set_bar(bar, PercentShown);
  }
  host.process_events();
}

void Conversion::run_counted(ProgressBar bar, ConversionHost& host, const auto& phase) {
  PhaseControl control{CancelState, [&] { count_unit(bar, host); }};
  phase(control);
}

}  // namespace vp
