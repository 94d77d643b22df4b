// The conversion driver: one image file into LineData.
//
// ChangeImage runs the phases in their fixed order (loading and the scan clean-up,
// the thinning passes, run tracing) and returns the outcome with the number of
// segments. It reaches the user only through the ConversionHost: every phase
// reports through Progress, and the driver alone turns those reports into the
// bars and labels of the host's display and lets the user act; once the user asks
// to abort, the phase under way stops at its next unit and no later phase runs.
//
// With the setting Cad on (2), the thinned grid is fitted with lines, arcs and
// circles (cad/cad_stage.h) instead of being traced: LineData stays empty and
// special mode, which merges traced segments, does not run.
//
// With the setting Special on (2), run tracing is followed by special mode: end
// points and crossings (GetTopZahyou, GetCrossZahyou) and the merging of chains of
// segments into longer lines within the tolerance Ave (GetNewLines), whose result
// replaces LineData (DataConvert). The merged lines are collected in NewLines, a
// table that exists only for the length of special mode. Of special mode's lists
// only the end points and crossings outlive it, for the desktop program's preview.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cad/cad_drawing.h"
#include "cad/ink_centres.h"
#include "core/conversion_host.h"
#include "core/conversion_settings.h"
#include "core/outcome.h"
#include "core/progress_display.h"
#include "imageio/image_reader.h"
#include "raster/pixel_grid.h"
#include "raster/thinning.h"
#include "scan/decoding_thread.h"
#include "scan/grey_reading.h"
#include "scan/threshold.h"
#include "vector/end_point_index.h"
#include "vector/line_data.h"

namespace vp {

// The end points (TopPoints) and crossings (CrossPoints) that special mode found
// among the traced segments, in the order of its lists. They are ends of the
// traced segments, which the merged lines start and stop at.
struct SpecialPoints {
  bool ran = false;  // special mode ran to its end in the last conversion
  std::vector<GridPoint> end_points;
  std::vector<GridPoint> crossings;
};

// What the scan clean-up did in the last conversion, for the front ends.
struct ScanReport {
  scan::ThresholdMode mode{scan::ThresholdRule::NearestBlack};  // the rule applied
  std::int32_t threshold = -1;    // its one threshold (auto: on relative levels); -1 when none
  std::int64_t ink_pixels = 0;    // ink as the rule found it, before specks were removed
  std::int64_t speck_pixels = 0;  // ink cells removed as specks
  // The nearest-black rule found almost no ink (under 0.05 % of the pixels) on an
  // image of more than 16 grey levels: most likely a grey or colour scan that
  // --threshold auto would read. The conversion itself succeeded.
  bool grey_scan_without_ink = false;
};

struct ConversionResult {
  Outcome outcome = Outcome::Done;
  std::int32_t segments = 0;  // the records LineData holds, all of which are exported
  ScanReport scan;
  // With Cad on: the drawing's lines, arcs and circles were fitted (cad_drawing()),
  // and they, not LineData's records, are what gets saved.
  bool cad = false;

  bool done() const { return outcome == Outcome::Done; }
};

// Receives the grid as the thinning is about to get it: the ink after the clean-up.
using InkObserver = std::function<void(const PixelGrid&)>;

class Conversion {
 public:
  // Creates the LineData storage (1024 records), as the main window does at start.
  // Reads BMP files only.
  Conversion();
  // Reads the files that `readers` gives a reader for (an empty factory: BMP only).
  explicit Conversion(ImageReaderFactory readers);
  void set_reader_factory(ImageReaderFactory readers);

  // Special mode off.
  ConversionResult ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host);
  // Reads Special (2: special mode on) and Ave (the merging tolerance) from `settings`.
  ConversionResult ChangeImage(const std::string& file_name, std::int32_t pass_count, ConversionHost& host,
                               const ConversionSettings& settings);

  // How the thinning shares its work between threads; the lines do not depend on it.
  void set_thinning_options(const ThinningOptions& options) { thinning_ = options; }

  // After a conversion: the number of records held, all of which are exported.
  std::int32_t LineCount() const { return lines_.size(); }
  std::span<const LineRecord> records() const { return lines_.records(); }
  const LineData& lines() const { return lines_; }
  LineData& lines() { return lines_; }
  const PixelGrid& grid() const { return grid_; }
  // Filled when special mode ran to its end in the last conversion; empty (and
  // `ran` false) when it was off or stopped early.
  const SpecialPoints& special_points() const { return special_points_; }
  const ScanReport& scan_report() const { return scan_report_; }
  // The fitted drawing of the last conversion with Cad on (empty otherwise, or
  // when it stopped early).
  const cad::CadDrawing& cad_drawing() const { return cad_; }
  // Called once per conversion that loads its image without failure, before thinning.
  void set_ink_observer(InkObserver observer) { ink_observer_ = std::move(observer); }

  // Test hook: makes NewLines fail to be created, or fail at its first growth.
  enum class NewLinesFault { None, Creation, Growth };
  NewLinesFault new_lines_fault_for_testing = NewLinesFault::None;

 private:
  void ChangeBmpToArrayData(const std::string& file_name, ProgressDisplay& display);
  void read_ink(ImageReader& reader, ProgressDisplay& display);
  scan::GreyReading read_grey(ImageReader& reader, scan::DecodingStop& stop, ProgressDisplay& display);
  std::int64_t count_ink() const;
  void note_missing_ink(ImageReader& reader, std::int32_t levels = -1);
  void run_special_mode(float tolerance, ProgressDisplay& display);
  void run_cad(const ConversionSettings& settings, const cad::InkCopy& ink, ProgressDisplay& display);

  PixelGrid grid_;
  LineData lines_;
  SpecialPoints special_points_;
  cad::CadDrawing cad_;
  ImageReaderFactory readers_;
  scan::CleanupSettings cleanup_;  // of the conversion under way
  ScanReport scan_report_;
  InkObserver ink_observer_;
  ThinningOptions thinning_;
};

}  // namespace vp
