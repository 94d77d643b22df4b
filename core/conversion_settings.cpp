#include "core/conversion_settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "imageio/image_reader.h"
#include "raster/utf8_path.h"
#include "scan/dust_removal.h"

namespace vp {

namespace {

using CS = ConversionSettings;

// Load and save order. The defaults here are the only ones; the member
// initialisers of ConversionSettings must agree (a test checks that they do).
const std::array<SettingRow, 35> kTable{{
    {"Left", IntegerSetting{&CS::Left, 0}},
    {"Top", IntegerSetting{&CS::Top, 0}},
    {"SaveMode", IntegerSetting{&CS::SaveMode, kSaveModeText}},
    {"OpenDir", FolderSetting{&CS::OpenDir}},
    {"SaveDir", FolderSetting{&CS::SaveDir}},
    {"Loop", IntegerSetting{&CS::Loop, 3}},
    {"Rate", TextSetting{&CS::Rate, "1.0"}},
    {"DPI", TextSetting{&CS::DPI, "100"}},
    {"SCALE", TextSetting{&CS::SCALE, "100"}},
    {"ZahyouExt", IntegerSetting{&CS::ZahyouExt, 0}},
    {"ZahyouDiv", IntegerSetting{&CS::ZahyouDiv, 0}},
    {"ZahyouReal", IntegerSetting{&CS::ZahyouReal, 4}},
    {"JwcLayer", IntegerSetting{&CS::JwcLayer, 0}},
    {"JwcGroupe", IntegerSetting{&CS::JwcGroupe, 0}},
    {"JwcColor", IntegerSetting{&CS::JwcColor, 0}},
    {"JwcType", IntegerSetting{&CS::JwcType, 0}},
    {"JwcOption1", IntegerSetting{&CS::JwcOption1, kFlagOff}},
    {"JwcOption1_Len", IntegerSetting{&CS::JwcOption1_Len, 100}},
    {"JwcOption1_Lay", IntegerSetting{&CS::JwcOption1_Lay, 15}},
    {"JwcOption2", IntegerSetting{&CS::JwcOption2, kFlagOff}},
    {"JwcOption2_X", IntegerSetting{&CS::JwcOption2_X, 1}},
    {"JwcOption2_Y", IntegerSetting{&CS::JwcOption2_Y, 2}},
    {"JwcOption2_R", IntegerSetting{&CS::JwcOption2_R, 3}},
    {"DxfReal", IntegerSetting{&CS::DxfReal, 4}},
    {"DxfOption1", IntegerSetting{&CS::DxfOption1, kFlagOff}},
    {"DxfOption1_Len", IntegerSetting{&CS::DxfOption1_Len, 100}},
    {"DxfOption2", IntegerSetting{&CS::DxfOption2, kFlagOff}},
    {"Special", IntegerSetting{&CS::Special, kFlagOff}},
    {"Ave", TenthsSetting{&CS::Ave, 20}},
    {"ScanThreshold", IntegerSetting{&CS::ScanThreshold, 0, 0, static_cast<std::int32_t>(scan::ThresholdRule::Level)}},
    {"ScanLevel", IntegerSetting{&CS::ScanLevel, 128, 1, 255}},
    {"ScanSpeck", IntegerSetting{&CS::ScanSpeck, 0, 0, scan::kMaxSpeck}},
    {"Cad", IntegerSetting{&CS::Cad, kFlagOff, kFlagOff, kFlagOn}},
    {"CadKeepSkew", IntegerSetting{&CS::CadKeepSkew, kFlagOff, kFlagOff, kFlagOn}},
    {"PdfDpi", IntegerSetting{&CS::PdfDpi, 300, PageChoice::kLowestDpi, PageChoice::kHighestDpi}},
}};

std::int32_t read_integer(const SettingsStorage& storage, std::string_view name, std::int32_t fallback) {
  const std::optional<std::string> text = storage.read(name);
  if (!text) return fallback;
  return parse_setting_integer(*text).value_or(fallback);
}

std::int32_t read_integer(const SettingsStorage& storage, std::string_view name, const IntegerSetting& row) {
  const std::int32_t value = read_integer(storage, name, row.fallback);
  return value < row.lowest || value > row.highest ? row.fallback : value;
}

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

}  // namespace

std::span<const SettingRow> settings_table() { return kTable; }

std::optional<std::int32_t> parse_setting_integer(std::string_view text) {
  std::size_t pos = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    pos = 1;
  }
  if (pos == text.size()) return std::nullopt;
  // Accumulate as a negative number so that INT32_MIN fits.
  std::int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 - (c - '0');
    if (value < static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())) return std::nullopt;
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

float tenths_to_real(std::int32_t tenths) {
  const float as_float = static_cast<float>(tenths);
  return as_float / 10.0f;
}

std::int32_t real_to_tenths(float value, std::int32_t fallback) {
  if (std::isnan(value)) return fallback;
  // float times 10 is exact in double; round() takes halves away from zero.
  const double scaled = std::round(static_cast<double>(value) * 10.0);
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  if (scaled <= lo) return std::numeric_limits<std::int32_t>::min();
  if (scaled >= hi) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(scaled);
}

ConversionSettings default_settings(const std::string& program_folder) {
  ConversionSettings s;
  for (const SettingRow& row : kTable) {
    std::visit(Overload{
                   [&](const IntegerSetting& r) { s.*r.field = r.fallback; },
                   [&](const TextSetting& r) { s.*r.field = std::string(r.fallback); },
                   [&](const FolderSetting& r) { s.*r.field = program_folder; },
                   [&](const TenthsSetting& r) { s.*r.field = tenths_to_real(r.fallback_tenths); },
               },
               row.kind);
  }
  return s;
}

bool folder_exists_on_disk(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(path_from_utf8(path), ec);
}

ConversionSettings load_settings(const SettingsStorage& storage, const std::string& program_folder) {
  ConversionSettings s;
  for (const SettingRow& row : kTable) {
    std::visit(Overload{
                   [&](const IntegerSetting& r) { s.*r.field = read_integer(storage, row.name, r); },
                   [&](const TextSetting& r) { s.*r.field = storage.read(row.name).value_or(std::string(r.fallback)); },
                   [&](const FolderSetting& r) { s.*r.field = storage.read(row.name).value_or(program_folder); },
                   [&](const TenthsSetting& r) {
                     s.*r.field = tenths_to_real(read_integer(storage, row.name, r.fallback_tenths));
                   },
               },
               row.kind);
  }
  return s;
}

void check_folders(ConversionSettings& settings, const std::string& program_folder, const FolderExists& exists) {
  for (std::string ConversionSettings::*dir : {&CS::OpenDir, &CS::SaveDir}) {
    std::string& value = settings.*dir;
    if (value.empty() || !exists(value)) value = program_folder;
  }
}

ConversionSettings load_settings_checked(const SettingsStorage& storage, const std::string& program_folder,
                                         const FolderExists& exists) {
  ConversionSettings s = load_settings(storage, program_folder);
  check_folders(s, program_folder, exists);
  return s;
}

void save_settings(const ConversionSettings& s, SettingsStorage& storage) {
  storage.write(kFirstUpName, "1");
  for (const SettingRow& row : kTable) {
    std::visit(Overload{
                   [&](const IntegerSetting& r) { storage.write(row.name, std::to_string(s.*r.field)); },
                   [&](const TextSetting& r) { storage.write(row.name, s.*r.field); },
                   [&](const FolderSetting& r) { storage.write(row.name, s.*r.field); },
                   [&](const TenthsSetting& r) {
                     storage.write(row.name, std::to_string(real_to_tenths(s.*r.field, r.fallback_tenths)));
                   },
               },
               row.kind);
  }
}

std::int32_t read_first_up(const SettingsStorage& storage) { return read_integer(storage, kFirstUpName, 0); }

scan::CleanupSettings scan_cleanup_of(const ConversionSettings& s) {
  scan::CleanupSettings cleanup;
  const std::int32_t rule = s.ScanThreshold;
  if (rule >= 0 && rule <= static_cast<std::int32_t>(scan::ThresholdRule::Level)) {
    cleanup.threshold.rule = static_cast<scan::ThresholdRule>(rule);
  }
  cleanup.threshold.level = std::clamp(s.ScanLevel, 1, 255);
  cleanup.despeckle = std::clamp(s.ScanSpeck, 0, scan::kMaxSpeck);
  return cleanup;
}

void set_scan_cleanup(ConversionSettings& s, const scan::CleanupSettings& cleanup) {
  s.ScanThreshold = static_cast<std::int32_t>(cleanup.threshold.rule);
  s.ScanLevel = cleanup.threshold.level;
  s.ScanSpeck = cleanup.despeckle;
}

std::int32_t clamp_pass_count(std::int32_t loop) {
  if (loop < 1) return 1;
  if (loop > 100) return 100;
  return loop;
}

}  // namespace vp
