// ConversionSettings: every persisted setting, one field per stored value and
// named after it, with its default.
//
// One table (settings_table()) lists the stored values in their load and save
// order; defaults, loading and saving all walk it. Integers are signed 32-bit and
// stored as decimal text. On/off settings use 1 for off and 2 for on.
//
// Most in-memory values are not range-checked at load: the controls that show them
// clamp or clear them (see clamp_pass_count for the pass count). The scan clean-up
// and the cad stage's values are: clamped, a damaged one would be another valid
// choice (a speck limit of 10000 erases most of a drawing), so one out of its
// range reads as the default.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/settings_storage.h"
#include "scan/threshold.h"

namespace vp {

inline constexpr std::int32_t kFlagOff = 1;
inline constexpr std::int32_t kFlagOn = 2;
constexpr bool flag_on(std::int32_t value) { return value == kFlagOn; }
constexpr std::int32_t flag_value(bool on) { return on ? kFlagOn : kFlagOff; }

// Save types of the save dialog, as stored in SaveMode.
inline constexpr std::int32_t kSaveModeText = 1;
inline constexpr std::int32_t kSaveModeDxf = 2;
inline constexpr std::int32_t kSaveModeJwc = 3;

struct ConversionSettings {
  std::int32_t Left = 0;  // main window position
  std::int32_t Top = 0;
  std::int32_t SaveMode = kSaveModeText;
  std::string OpenDir;  // start folders, with trailing separator; default: program folder
  std::string SaveDir;
  std::int32_t Loop = 3;        // thinning passes, raw (see clamp_pass_count)
  std::string Rate = "1.0";     // magnification text, millimetres per pixel, kept unchecked
  std::string DPI = "100";      // scale calculator: scan resolution text
  std::string SCALE = "100";    // scale calculator: scale denominator text
  std::int32_t ZahyouExt = 0;   // coordinate text: 0 TXT, 1 TEXT, 2 CSV
  std::int32_t ZahyouDiv = 0;   // separator: 0 space, 1 comma, 2 minus, 3 slash
  std::int32_t ZahyouReal = 4;  // decimals choice 0..5
  std::int32_t JwcLayer = 0;
  std::int32_t JwcGroupe = 0;
  std::int32_t JwcColor = 0;
  std::int32_t JwcType = 0;
  std::int32_t JwcOption1 = kFlagOff;
  std::int32_t JwcOption1_Len = 100;
  std::int32_t JwcOption1_Lay = 15;
  std::int32_t JwcOption2 = kFlagOff;
  std::int32_t JwcOption2_X = 1;
  std::int32_t JwcOption2_Y = 2;
  std::int32_t JwcOption2_R = 3;
  std::int32_t DxfReal = 4;
  std::int32_t DxfOption1 = kFlagOff;
  std::int32_t DxfOption1_Len = 100;
  std::int32_t DxfOption2 = kFlagOff;
  std::int32_t Special = kFlagOff;
  float Ave = 2.0f;  // merging threshold; stored as tenths (20)
  // The scan clean-up. ScanThreshold: 0 by format (scan::mode_for_image),
  // 1 nearest-black, 2 auto, 3 otsu, 4 adaptive, 5 the grey level ScanLevel (1..255).
  std::int32_t ScanThreshold = 0;
  std::int32_t ScanLevel = 128;
  std::int32_t ScanSpeck = 0;  // largest speck removed, in pixels: 0 (none) .. 10000
  // The drawing as drawn: lines, arcs and circles fitted to the ink (--cad), and
  // whether a skewed scan keeps its skew (--keep-skew).
  std::int32_t Cad = kFlagOff;
  std::int32_t CadKeepSkew = kFlagOff;
  // The resolution a PDF page that is not one scanned image is rendered at (the
  // converter's --dpi): 50 .. 1200 dots per inch.
  std::int32_t PdfDpi = 300;

  friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;
};

// --- The table -------------------------------------------------------------

struct IntegerSetting {
  std::int32_t ConversionSettings::*field;
  std::int32_t fallback;
  // A stored value outside lowest..highest loads as the fallback.
  std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  std::int32_t highest = std::numeric_limits<std::int32_t>::max();
};
struct TextSetting {
  std::string ConversionSettings::*field;
  std::string_view fallback;
};
// A folder whose default is the program folder.
struct FolderSetting {
  std::string ConversionSettings::*field;
};
// A real stored as an integer count of tenths.
struct TenthsSetting {
  float ConversionSettings::*field;
  std::int32_t fallback_tenths;
};

struct SettingRow {
  std::string_view name;
  std::variant<IntegerSetting, TextSetting, FolderSetting, TenthsSetting> kind;
};

// Every stored value except FirstUp, in load and save order.
std::span<const SettingRow> settings_table();

inline constexpr std::string_view kFirstUpName = "FirstUp";

// --- Conversions -----------------------------------------------------------

// Strict decimal integer: an optional '+' or '-' followed by one or more ASCII
// digits, nothing else (no spaces around it, no hex prefix), within int32.
std::optional<std::int32_t> parse_setting_integer(std::string_view text);

// Stored tenths to the held real: the integer becomes a float, then is divided by 10.
float tenths_to_real(std::int32_t tenths);
// The held real back to tenths: ten times it, rounded to the nearest integer
// (halves away from zero), saturated to int32. A NaN gives `fallback`.
std::int32_t real_to_tenths(float value, std::int32_t fallback);

// --- Load and save ---------------------------------------------------------

// Every default; the two folders are the program folder.
ConversionSettings default_settings(const std::string& program_folder);

using FolderExists = std::function<bool(const std::string& path)>;
// Tests the disk; an empty path or any error counts as "no such folder".
bool folder_exists_on_disk(const std::string& path);

// Reads every value in table order. A missing value, or an integer whose text is
// not a decimal integer, gives that value's default.
ConversionSettings load_settings(const SettingsStorage& storage, const std::string& program_folder);

// The start-up check: an OpenDir or SaveDir that is empty or does not name an
// existing folder becomes the program folder.
void check_folders(ConversionSettings& settings, const std::string& program_folder,
                   const FolderExists& exists = folder_exists_on_disk);

// load_settings followed by check_folders: what start-up does.
ConversionSettings load_settings_checked(const SettingsStorage& storage, const std::string& program_folder,
                                         const FolderExists& exists = folder_exists_on_disk);

// Writes FirstUp := "1", then every value in table order, each as text.
void save_settings(const ConversionSettings& settings, SettingsStorage& storage);

// The first-start flag: 0 until the program has once been closed normally.
std::int32_t read_first_up(const SettingsStorage& storage);

// The clean-up the scan settings ask for; values out of range are taken as the
// controls would show them (an unknown rule as "by format", the others clamped).
scan::CleanupSettings scan_cleanup_of(const ConversionSettings& settings);
// The other way round, for storing what a front end chose.
void set_scan_cleanup(ConversionSettings& settings, const scan::CleanupSettings& cleanup);

// The pass count as the pass-count control shows it: 1 to 100.
std::int32_t clamp_pass_count(std::int32_t loop);

}  // namespace vp
