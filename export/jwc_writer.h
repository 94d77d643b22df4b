// The jw_cad writer (.jwc): a fixed header area of 2389 bytes, one 22-byte
// record per segment and a zero-filled tail of 2304 bytes, so a file is
// 4693 + 22 × n bytes long. Every multi-byte number is little-endian whatever
// the machine's order: the bytes are put one by one, never copied from structs.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/export_options.h"
#include "raster/progress.h"
#include "vector/line_data.h"

namespace vp {

// Every coordinate is divided by this: the float nearest to 300 × 841 / 518.
inline constexpr float JwcDivisor = std::bit_cast<float>(std::uint32_t{0x43F38867});

inline constexpr std::size_t kJwcHeaderSize = 2389;
inline constexpr std::size_t kJwcRecordSize = 22;
inline constexpr std::size_t kJwcTailSize = 2048 + 256;
constexpr std::uint64_t jwc_file_size(std::uint64_t records) {
  return kJwcHeaderSize + kJwcRecordSize * records + kJwcTailSize;
}

// The jw_cad save's own failure message; the save command adds "保存できませんでした。".
inline constexpr std::string_view kJwcNotSavedMessage = "保存ができませんでした。";

// c × rate / JwcDivisor, computed in extended precision, rounded to a float.
float jwc_coordinate(std::int32_t c, float rate);
// The same for a real coordinate of the fitted drawing (--cad).
float jwc_real_coordinate(double c, float rate);

// The layer of a record: the style's layer, or with the split option the
// horizontal, vertical or oblique layer, and with the short-line option the
// short layer for a short record whatever the split said.
std::int32_t jwc_record_layer(const LineRecord& r, float rate, const JwcStyle& style);

// The 2389 bytes before the records of a file of `count` records.
std::string jwc_header(std::int64_t count);

// One record's 22 bytes. Settings outside their ranges keep the low eight bits
// of the sums.
std::array<unsigned char, kJwcRecordSize> jwc_record(const LineRecord& r, float rate, const JwcStyle& style);

// The header, a record per segment in options.jwc's style, and the tail.
bool write_jwc(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress);

// The fitted drawing (--cad): the format has no arc record, so a record per
// piece (cad_pieces.h), arcs and circles as their chords; a chord takes its
// curve's layer. The header counts the pieces.
bool write_jwc_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress);

}  // namespace vp
