// The coordinate text writer: one line per segment, "x1 y1 x2 y2" with the
// chosen delimiter and number of decimals, each line ending in CR LF. No header,
// no trailer; an empty table gives an empty file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>

#include "export/export_rules.h"
#include "export/save_host.h"
#include "vector/line_data.h"

namespace vp {

struct TextSaveInput {
  std::string_view magnification;       // the magnification text, read when saving
  std::span<const LineRecord> records;  // LineData's records, in table order
  std::int32_t zahyou_div = 0;          // delimiter: 0 " ", 1 ",", 2 "-", 3 "/"
  std::int32_t zahyou_real = 4;         // decimals through DecimalDigits
};

// The delimiter for ZahyouDiv. A value the settings dialog never produces
// falls back to the default, one space, so the file stays readable.
char text_delimiter(std::int32_t zahyou_div);

// Formats one record's line, CR LF included, into `out` and returns its length.
// kMaxTextLine is enough room for any record.
inline constexpr std::size_t kMaxTextLine = 4 * CoordinateFormatter::kMaxChars + 3 + 2;
std::size_t format_text_line(const LineRecord& r, const CoordinateFormatter& number, char delimiter,
                             char* out);

// Writes every record's line to `out` with the saving dialog already shown: the
// bar moves and events are processed after every record. Stops at the first
// write that fails; returns whether every write succeeded.
bool write_text_records(std::ostream& out, std::span<const LineRecord> records, float rate,
                        std::int32_t zahyou_div, std::int32_t zahyou_real, SavingDialog& dialog);

// SaveTXT into a stream: reads the magnification, shows the saving dialog,
// writes every record, flushes, hides the dialog. A failing stream gives
// SaveFailure::Write (whatever it had written stays with the stream).
SaveResult SaveTXT(std::ostream& out, const TextSaveInput& input, SaveHost& host);

// SaveTXT into a file: `path` is the final name, its extension already chosen
// (see output_extension). The file is created before the saving dialog is
// shown; if it cannot be, nothing is shown and the result carries the reason
// (SaveFailure::Create). If a write fails, any earlier file of that name is
// left exactly as it was and no partial file remains (SaveFailure::Write).
SaveResult SaveTXT(const std::filesystem::path& path, const TextSaveInput& input, SaveHost& host);

}  // namespace vp
