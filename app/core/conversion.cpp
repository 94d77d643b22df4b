#include "app/core/conversion.h"

#include <algorithm>
#include <new>

#include "app/core/messages.h"
#include "raster/bmp_reader.h"
#include "raster/thinning.h"
#include "vector/run_tracer.h"

namespace vp {

Conversion::Conversion() {
  if (!lines_.reset_storage()) CancelState = 2;
}

void Conversion::ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host) {
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
  // 12. From here on LineCount is the number of records held.
  lines_.set_count(lines_.count() - 1);
  // 13.
  host.conversion_finished();
}

void Conversion::ChangeBmpToArrayData(const std::string& file_name, ConversionHost& host) {
  host.set_bar(ProgressBar::Load, 0);
  BmpReader reader;
  const BmpStatus opened = reader.open(file_name);
  if (opened == BmpStatus::Unsupported) {
    CancelState = 3;
    host.show_message(messages::kUnsupportedFormat);
    return;
  }
  if (opened != BmpStatus::Ok) {
    CancelState = 3;  // the grid is left as it was
    return;
  }
  const BmpInfo& info = reader.info();
  if (!grid_.reset(info.width, info.height)) {
    CancelState = 2;
    return;
  }
  std::int64_t rows_done = 0;
  int shown = 0;
  const BmpStatus read = reader.read_rows([&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
    grid_.set_image_row(row_from_top, ink);
    // The bar after row r (counted from 0) reads trunc(r / height × 100).
    const auto position = static_cast<int>(static_cast<double>(rows_done) / info.height * 100.0);
    ++rows_done;
    if (position != shown) host.set_bar(ProgressBar::Load, shown = position);
    host.process_events();
    return CancelState == 0;
  });
  if (read != BmpStatus::Ok && CancelState == 0) CancelState = 3;
  host.set_bar(ProgressBar::Load, 100);
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
