// The output formats, one row each. Everything that differs between formats
// lives in its row: the save dialog's caption and filter index, the file-name
// extensions, the writer, and how the desktop program paces the saving dialog
// for it. The save dialog, the converter's options and the save command all read
// this table, so adding a format means a row here and the writer's own file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/export_options.h"
#include "raster/progress.h"
#include "vector/line_data.h"

namespace vp {

// Writes `records` in table order, reporting Phase::Save after each one. Pure:
// no file, no message, no dialog. False when a write failed or `progress` asked
// to stop; what was written so far stays with the stream.
using WriteFunction = bool (*)(std::ostream& out, std::span<const LineRecord> records, float rate,
                               const ExportOptions& options, Progress& progress);

// The same for the fitted drawing (--cad): its lines, arcs and circles in the
// grid frame as doubles, each scaled as x × rate, y × rate in double. The
// formats without an arc record write arcs and circles as chords.
using WriteCadFunction = bool (*)(std::ostream& out, const cad::CadDrawing& drawing, float rate,
                                  const ExportOptions& options, Progress& progress);

// How a format stores a grid coordinate scaled by the magnification, when it
// could overflow (a float); formats writing decimal text have none. The second
// takes the fitted drawing's real coordinates.
using StoredCoordinate = float (*)(std::int32_t c, float rate);
using StoredRealCoordinate = float (*)(double c, float rate);

struct ExportFormat {
  std::string_view name;     // the converter's word for it, "--to NAME"
  std::string_view caption;  // the save dialog's file type
  std::string_view summary;  // what the file holds, for the converter's help
  int filter_index;          // the save dialog's index of that type (SaveMode), from 1
  // The written file's extensions, lower case. Coordinate text has three, chosen
  // by ZahyouExt; the others one (the rest empty).
  std::array<std::string_view, 3> extensions;
  WriteFunction write;
  WriteCadFunction write_cad;
  StoredCoordinate stored = nullptr;
  StoredRealCoordinate stored_real = nullptr;
  // How often the desktop program lets the window system process messages while
  // the file is written: every n records, or never (0). Each format keeps the
  // pace its users know.
  int events_every = 0;
  // The file is created before the saving dialog shows, and a file that cannot
  // be created is reported by the system's reason alone.
  bool create_before_dialog = false;
  // The writer's own complaint after a failed write, shown once the dialog is gone.
  std::string_view failure_message = {};
  // The file starts with the DXF header template (ExportOptions::dxf_header).
  bool uses_dxf_header = false;
};

std::span<const ExportFormat> export_formats();

// The row of a save dialog index, or of a file extension (".dxf", any letter case).
const ExportFormat* format_by_filter_index(int filter_index);
const ExportFormat* format_by_extension(std::string_view extension);

// The extension of the default file name and of the existence test: the written
// one in upper case (".TXT" / ".TEXT" / ".CSV" by zahyou_ext for coordinate text).
std::optional<std::string> default_extension(int filter_index, std::int32_t zahyou_ext);
// The extension put into the dialog's name box when the user switches type:
// the type's first (".txt" whatever zahyou_ext says).
std::optional<std::string_view> dialog_extension(int filter_index);
// The extension of the file the writer creates.
std::optional<std::string_view> output_extension(int filter_index, std::int32_t zahyou_ext);

// Whether every coordinate of `records` stays finite as `format` stores it.
bool rate_fits(const ExportFormat& format, std::span<const LineRecord> records, float rate);
// The same for the fitted drawing; a curve counts with its centre ± radius on
// both axes, which holds all its chords' corners.
bool rate_fits(const ExportFormat& format, const cad::CadDrawing& drawing, float rate);

}  // namespace vp
