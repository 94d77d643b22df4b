// The jw_cad writer (.jwc): a fixed header area of 2389 bytes, one 22-byte
// record per segment and a zero-filled tail of 2304 bytes, so a file is
// 4693 + 22 × n bytes long. Every multi-byte number is little-endian whatever
// the machine's order: the bytes are put one by one, never copied from structs.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "export/export_rules.h"
#include "export/save_host.h"
#include "vector/line_data.h"

namespace vp {

// The jw_cad settings, named and valued as stored (on/off: 1 off, 2 on).
struct JwcOptions {
  std::int32_t JwcGroupe = 0;        // group of every line, 0..15
  std::int32_t JwcLayer = 0;         // layer when neither option applies, 0..15
  std::int32_t JwcColor = 0;         // colour, 0..5
  std::int32_t JwcType = 0;          // line type, 0..8
  std::int32_t JwcOption1 = 1;       // short lines on their own layer
  std::int32_t JwcOption1_Len = 100; // ... when shorter than this many millimetres
  std::int32_t JwcOption1_Lay = 15;  // ... this layer
  std::int32_t JwcOption2 = 1;       // horizontal / vertical / oblique layers
  std::int32_t JwcOption2_X = 1;
  std::int32_t JwcOption2_Y = 2;
  std::int32_t JwcOption2_R = 3;
};

struct JwcSaveInput {
  std::string_view magnification;       // the magnification text, read when saving
  std::span<const LineRecord> records;  // LineData's records, in table order
  JwcOptions options;
};

// Every coordinate is divided by this: the float nearest to 300 × 841 / 518.
inline constexpr float JwcDivisor = std::bit_cast<float>(std::uint32_t{0x43F38867});

inline constexpr std::size_t kJwcHeaderSize = 2389;
inline constexpr std::size_t kJwcRecordSize = 22;
inline constexpr std::size_t kJwcTailSize = 2048 + 256;
constexpr std::uint64_t jwc_file_size(std::uint64_t records) {
  return kJwcHeaderSize + kJwcRecordSize * records + kJwcTailSize;
}

// The writer's own failure message; the save command adds "保存できませんでした。".
inline constexpr std::string_view kJwcNotSavedMessage = "保存ができませんでした。";

// c × rate / JwcDivisor, computed in extended precision, rounded to a float.
float jwc_coordinate(std::int32_t c, float rate);

// The layer of a record: JwcLayer, or with the split option the horizontal,
// vertical or oblique layer, and with the short-line option JwcOption1_Lay for
// a short record whatever the split said.
std::int32_t jwc_record_layer(const LineRecord& r, float rate, const JwcOptions& options);

// The 2389 bytes before the records of a file of `count` records.
std::string jwc_header(std::int64_t count);

// One record's 22 bytes. Settings outside their ranges keep the low eight bits
// of the sums.
std::array<unsigned char, kJwcRecordSize> jwc_record(const LineRecord& r, float rate,
                                                     const JwcOptions& options);

// SaveJWC into a stream: reads the magnification, shows the saving dialog,
// writes the file, flushes, hides the dialog. The bar moves after every record;
// events are processed after every hundredth. A failing stream hides the
// dialog, shows kJwcNotSavedMessage and gives SaveFailure::Write.
SaveResult SaveJWC(std::ostream& out, const JwcSaveInput& input, SaveHost& host);

// SaveJWC into a file: `path` is the final name (extension already chosen). The
// saving dialog is shown before the file is created. A file that cannot be
// created (SaveFailure::Create) or a failing write (SaveFailure::Write) hides
// the dialog and shows kJwcNotSavedMessage; any earlier file of that name stays
// exactly as it was and no partial file remains.
SaveResult SaveJWC(const std::filesystem::path& path, const JwcSaveInput& input, SaveHost& host);

}  // namespace vp
