#include "app/core/conversion.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "app/core/messages.h"
#include "raster/thinning.h"
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
  std::int64_t rows_done = 0;
  int shown = 0;
  const ImageStatus read = reader->read_rows([&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
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
