// Saving segments to a file in one format: the one place that owns the file
// (written beside the target and renamed over it only when complete), the saving
// dialog's protocol and the texts a failed save ends with. The writers it runs
// only write to a stream.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/formats.h"
#include "export/save_host.h"
#include "vector/line_data.h"

namespace vp {

// The magnification for saving `records` as `format`: the text as a number that
// keeps every stored coordinate finite. Otherwise shows kInvalidRateMessage and
// gives nothing; no file is touched and no dialog shown.
std::optional<float> accept_magnification(const ExportFormat& format, std::string_view text,
                                          std::span<const LineRecord> records, SaveHost& host);
// The same for the fitted drawing (--cad).
std::optional<float> accept_magnification(const ExportFormat& format, std::string_view text,
                                          const cad::CadDrawing& drawing, SaveHost& host);

// Writes `records` to `path` (the final name, its extension already chosen) as
// `format`. The saving dialog is shown while the file is written (from before the
// file is created, unless the format creates it first), its bar moves after each
// record and the window system gets its turn at the format's pace; the dialog is
// hidden once the file is closed and in place, whatever happened. A file that
// cannot be created gives SaveFailure::Create, a failed write, close or rename
// SaveFailure::Write (operation_canceled when the host called the save off). On
// failure any earlier file of that name is left exactly as it was and no partial
// file remains; the format's own complaint, if it has one, is then shown.
SaveResult save_file(const ExportFormat& format, const std::filesystem::path& path, std::span<const LineRecord> records,
                     float rate, const ExportOptions& options, SaveHost& host);
// The same for the fitted drawing (--cad), written by the format's write_cad;
// the bar moves after each entity.
SaveResult save_file(const ExportFormat& format, const std::filesystem::path& path, const cad::CadDrawing& drawing,
                     float rate, const ExportOptions& options, SaveHost& host);

// What the desktop program's save command says after a failed save: nothing after
// a failure that has been explained already (an unreadable template), the
// system's reason alone for a file its format could not create before the
// dialog, and otherwise kNotSavedMessage.
struct SaveFailureText {
  std::string text;
  bool system_reason = false;  // shown as an error, not as a plain message
};
std::optional<SaveFailureText> save_failure_text(const ExportFormat& format, const SaveResult& result);

}  // namespace vp
