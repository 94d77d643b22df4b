#include "core/conversion_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace vp {
namespace {

const std::string kProgramFolder = "/opt/velorin/";

// The stored names in the order the program loads and saves them.
const std::vector<std::string> kStoredOrder = {"Left",
                                               "Top",
                                               "SaveMode",
                                               "OpenDir",
                                               "SaveDir",
                                               "Loop",
                                               "Rate",
                                               "DPI",
                                               "SCALE",
                                               "ZahyouExt",
                                               "ZahyouDiv",
                                               "ZahyouReal",
                                               "JwcLayer",
                                               "JwcGroupe",
                                               "JwcColor",
                                               "JwcType",
                                               "JwcOption1",
                                               "JwcOption1_Len",
                                               "JwcOption1_Lay",
                                               "JwcOption2",
                                               "JwcOption2_X",
                                               "JwcOption2_Y",
                                               "JwcOption2_R",
                                               "DxfReal",
                                               "DxfOption1",
                                               "DxfOption1_Len",
                                               "DxfOption2",
                                               "Special",
                                               "Ave",
                                               "ScanThreshold",
                                               "ScanLevel",
                                               "ScanSpeck",
                                               "Cad",
                                               "CadKeepSkew",
                                               "PdfDpi"};

// Remembers which names were asked for, in order.
class RecordingStorage : public SettingsStorage {
 public:
  std::optional<std::string> read(std::string_view name) const override {
    reads.emplace_back(name);
    return inner.read(name);
  }
  void write(std::string_view name, std::string_view value) override { inner.write(name, value); }
  MemorySettingsStorage inner;
  mutable std::vector<std::string> reads;
};

bool any_folder_exists(const std::string&) { return true; }

TEST(ConversionSettings, FirstStartWithNothingStoredGivesEveryDefault) {
  const MemorySettingsStorage empty;
  const ConversionSettings s = load_settings_checked(empty, kProgramFolder, any_folder_exists);
  EXPECT_EQ(s.Left, 0);
  EXPECT_EQ(s.Top, 0);
  EXPECT_EQ(s.SaveMode, 1);
  EXPECT_EQ(s.OpenDir, kProgramFolder);
  EXPECT_EQ(s.SaveDir, kProgramFolder);
  EXPECT_EQ(s.Loop, 3);
  EXPECT_EQ(s.Rate, "1.0");
  EXPECT_EQ(s.DPI, "100");
  EXPECT_EQ(s.SCALE, "100");
  EXPECT_EQ(s.ZahyouExt, 0);
  EXPECT_EQ(s.ZahyouDiv, 0);
  EXPECT_EQ(s.ZahyouReal, 4);
  EXPECT_EQ(s.JwcLayer, 0);
  EXPECT_EQ(s.JwcGroupe, 0);
  EXPECT_EQ(s.JwcColor, 0);
  EXPECT_EQ(s.JwcType, 0);
  EXPECT_EQ(s.JwcOption1, 1);
  EXPECT_EQ(s.JwcOption1_Len, 100);
  EXPECT_EQ(s.JwcOption1_Lay, 15);
  EXPECT_EQ(s.JwcOption2, 1);
  EXPECT_EQ(s.JwcOption2_X, 1);
  EXPECT_EQ(s.JwcOption2_Y, 2);
  EXPECT_EQ(s.JwcOption2_R, 3);
  EXPECT_EQ(s.DxfReal, 4);
  EXPECT_EQ(s.DxfOption1, 1);
  EXPECT_EQ(s.DxfOption1_Len, 100);
  EXPECT_EQ(s.DxfOption2, 1);
  EXPECT_EQ(s.Special, 1);
  EXPECT_EQ(s.Ave, 2.0f);
  EXPECT_EQ(read_first_up(empty), 0);

  // The table's defaults, the member initialisers and a load from nothing agree.
  EXPECT_EQ(default_settings(kProgramFolder), s);
  ConversionSettings initialised;
  initialised.OpenDir = initialised.SaveDir = kProgramFolder;
  EXPECT_EQ(initialised, s);
}

TEST(ConversionSettings, LoadAsksForEveryNameOnceInOrder) {
  RecordingStorage storage;
  (void)load_settings(storage, kProgramFolder);
  EXPECT_EQ(storage.reads, kStoredOrder);
}

// A settings record in which every field differs from its default and from the others.
ConversionSettings distinct_settings() {
  ConversionSettings s;
  std::int32_t next = -40;
  for (const SettingRow& row : settings_table()) {
    if (const auto* integer = std::get_if<IntegerSetting>(&row.kind)) {
      // Within the setting's range, where it has one.
      const std::int64_t span = std::int64_t{integer->highest} - integer->lowest + 1;
      next += 7;
      s.*(integer->field) = static_cast<std::int32_t>(integer->lowest + (std::int64_t{next} - integer->lowest) % span);
    }
    if (const auto* text = std::get_if<TextSetting>(&row.kind)) s.*(text->field) = "text of " + std::string(row.name);
    if (const auto* folder = std::get_if<FolderSetting>(&row.kind))
      s.*(folder->field) = "/data/" + std::string(row.name) + "/";
    if (const auto* tenths = std::get_if<TenthsSetting>(&row.kind)) s.*(tenths->field) = 2.3f;
  }
  return s;
}

TEST(ConversionSettings, SaveWritesFirstUpThenEveryNameInOrderAsTextAndLoadsBack) {
  const ConversionSettings saved = distinct_settings();
  MemorySettingsStorage storage;
  save_settings(saved, storage);

  std::vector<std::string> names;
  for (const auto& [name, value] : storage.entries()) names.push_back(name);
  std::vector<std::string> expected_names = {"FirstUp"};
  expected_names.insert(expected_names.end(), kStoredOrder.begin(), kStoredOrder.end());
  EXPECT_EQ(names, expected_names);

  EXPECT_EQ(storage.read("FirstUp"), "1");
  EXPECT_EQ(storage.read("Left"), std::to_string(saved.Left));
  EXPECT_EQ(storage.read("Special"), std::to_string(saved.Special));
  EXPECT_EQ(storage.read("Rate"), "text of Rate");
  EXPECT_EQ(storage.read("OpenDir"), "/data/OpenDir/");
  EXPECT_EQ(storage.read("Ave"), "23");

  EXPECT_EQ(load_settings(storage, kProgramFolder), saved);
  EXPECT_EQ(read_first_up(storage), 1);

  // Saving again rewrites values in place: the store still holds each name once.
  save_settings(saved, storage);
  EXPECT_EQ(storage.entries().size(), expected_names.size());
}

TEST(ConversionSettings, ScanCleanupFromStoredValuesOldFilesMeaningTodaysRule) {
  using scan::ThresholdRule;
  struct Case {
    std::vector<MemorySettingsStorage::Entry> stored;
    scan::CleanupSettings expected;
  };
  const std::vector<Case> cases = {
      {{{"Loop", "4"}, {"Special", "2"}}, {{ThresholdRule::ByFormat, 128}, 0}},  // written before the clean-up
      {{{"ScanThreshold", "2"}, {"ScanSpeck", "8"}}, {{ThresholdRule::Auto, 128}, 8}},
      {{{"ScanThreshold", "5"}, {"ScanLevel", "90"}}, {{ThresholdRule::Level, 90}, 0}},
      // Damaged values read as the defaults, never as the nearest valid choice.
      {{{"ScanThreshold", "6"}, {"ScanLevel", "0"}, {"ScanSpeck", "-3"}}, {{ThresholdRule::ByFormat, 128}, 0}},
      {{{"ScanThreshold", "-1"}, {"ScanLevel", "999"}, {"ScanSpeck", "20000"}}, {{ThresholdRule::ByFormat, 128}, 0}},
      {{{"ScanLevel", "-5"}, {"ScanSpeck", "2147483647"}}, {{ThresholdRule::ByFormat, 128}, 0}},
      {{{"ScanThreshold", "4"}, {"ScanLevel", "255"}, {"ScanSpeck", "10000"}}, {{ThresholdRule::Adaptive, 255}, 10000}},
  };
  for (const Case& c : cases) {
    MemorySettingsStorage storage;
    for (const auto& [name, value] : c.stored) storage.write(name, value);
    const ConversionSettings loaded = load_settings(storage, kProgramFolder);
    EXPECT_EQ(scan_cleanup_of(loaded), c.expected) << c.stored.front().first << "=" << c.stored.front().second;
    ConversionSettings round = loaded;
    set_scan_cleanup(round, c.expected);
    EXPECT_EQ(scan_cleanup_of(round), c.expected);
  }
}

// The cad stage's switches: anything but off (1) or on (2) reads as off.
TEST(ConversionSettings, DamagedCadSwitchesReadAsOff) {
  const std::pair<const char*, std::int32_t> cases[] = {{"2", kFlagOn},  {"1", kFlagOff},  {"3", kFlagOff},
                                                        {"0", kFlagOff}, {"-2", kFlagOff}, {"2147483647", kFlagOff}};
  for (const auto& [stored, held] : cases) {
    MemorySettingsStorage storage({{"Cad", stored}, {"CadKeepSkew", stored}});
    const ConversionSettings loaded = load_settings(storage, kProgramFolder);
    EXPECT_EQ(loaded.Cad, held) << stored;
    EXPECT_EQ(loaded.CadKeepSkew, held) << stored;
  }
}

// The rendering resolution of PDF pages: a value outside 50..1200, or no number, reads as 300.
TEST(ConversionSettings, DamagedPdfDpiReadsAsTheDefault) {
  const std::pair<const char*, std::int32_t> cases[] = {{"50", 50},  {"1200", 1200},     {"600", 600},
                                                        {"49", 300}, {"1201", 300},      {"-300", 300},
                                                        {"x", 300},  {"2147483647", 300}};
  for (const auto& [stored, held] : cases) {
    MemorySettingsStorage storage({{"PdfDpi", stored}});
    EXPECT_EQ(load_settings(storage, kProgramFolder).PdfDpi, held) << stored;
  }
}

TEST(ConversionSettings, AveTenthsHeldAsRealAndWrittenBackUnchanged) {
  struct Case {
    const char* stored;
    float held;
    const char* written;
  };
  const Case cases[] = {
      {"23", 2.3f, "23"},    {"5", 0.5f, "5"}, {"20", 2.0f, "20"},  {"1", 0.1f, "1"},
      {"100", 10.0f, "100"}, {"0", 0.0f, "0"}, {"-7", -0.7f, "-7"}, {"x", 2.0f, "20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    MemorySettingsStorage in({{"Ave", c.stored}});
    const ConversionSettings s = load_settings(in, kProgramFolder);
    EXPECT_EQ(s.Ave, c.held);
    MemorySettingsStorage out;
    save_settings(s, out);
    EXPECT_EQ(out.read("Ave"), c.written);
  }

  // Every value the settings dialog can produce, through a full load and save.
  for (int tenths = 1; tenths <= 100; ++tenths) {
    MemorySettingsStorage in({{"Ave", std::to_string(tenths)}});
    MemorySettingsStorage out;
    save_settings(load_settings(in, kProgramFolder), out);
    ASSERT_EQ(out.read("Ave"), std::to_string(tenths));
  }
  // Far beyond it, the conversion pair still gives back the integer it was given,
  // and the real equals the literal rule: the integer as a float, divided by ten.
  for (std::int32_t tenths = -2'000'000; tenths <= 2'000'000; tenths += 37) {
    const float held = tenths_to_real(tenths);
    ASSERT_EQ(held, static_cast<float>(static_cast<double>(static_cast<float>(tenths)) / 10.0)) << tenths;
    ASSERT_EQ(real_to_tenths(held, 20), tenths);
  }
}

TEST(ConversionSettings, RealToTenthsRoundsAndSaturates) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    float value;
    std::int32_t tenths;
  };
  const Case cases[] = {
      {0.25f, 3},  // halves go away from zero
      {-0.25f, -3},
      {0.24f, 2},
      {2.3499f, 23},
      {1e12f, kMax},
      {-1e12f, kMin},
      {std::numeric_limits<float>::infinity(), kMax},
      {-std::numeric_limits<float>::infinity(), kMin},
      {std::numeric_limits<float>::quiet_NaN(), 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(real_to_tenths(c.value, 20), c.tenths);
  }
}

TEST(ConversionSettings, IntegerTextThatIsNotADecimalIntegerReadsAsDefaultAndIsWrittenBack) {
  struct Case {
    const char* text;
    std::int32_t expected;  // JwcOption1_Lay, whose default is 15
  };
  const Case cases[] = {
      {"abc", 15},
      {"", 15},
      {" 3", 15},
      {"3 ", 15},
      {"\t3", 15},
      {"3\r\n", 15},
      {"99999999999", 15},
      {"2147483648", 15},
      {"-2147483649", 15},
      {"0x10", 15},
      {"$10", 15},
      {"1.5", 15},
      {"1e3", 15},
      {"+", 15},
      {"-", 15},
      {"--3", 15},
      {"+-3", 15},
      {"3-", 15},
      {"\xef\xbc\x93", 15},  // full-width digit three
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"0", 0},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"00000000000000000000042", 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    MemorySettingsStorage in({{"JwcOption1_Lay", c.text}, {"FirstUp", c.text}});
    const ConversionSettings s = load_settings(in, kProgramFolder);
    EXPECT_EQ(s.JwcOption1_Lay, c.expected);
    EXPECT_EQ(read_first_up(in), c.expected == 15 ? 0 : c.expected);
    MemorySettingsStorage out;
    save_settings(s, out);
    EXPECT_EQ(out.read("JwcOption1_Lay"), std::to_string(c.expected));
  }
}

// The strict grammar, stated as a regular expression, against the hand-written parser.
TEST(ConversionSettings, IntegerParserAgreesWithLiteralGrammarOnGeneratedText) {
  const std::regex grammar("[+-]?[0-9]+");
  const std::string alphabet = "0123456789+- x.";
  std::mt19937 rng(12345);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int length = static_cast<int>(rng() % 13);
    for (int k = 0; k < length; ++k) {
      // Mostly digits, so that many texts are valid and some overflow.
      const std::size_t pick = rng() % 20;
      text += alphabet[pick < 10 ? pick : rng() % alphabet.size()];
    }
    std::optional<std::int32_t> expected;
    if (std::regex_match(text, grammar)) {
      const long long wide = std::stoll(text);  // at most 12 characters: fits
      if (wide >= std::numeric_limits<std::int32_t>::min() && wide <= std::numeric_limits<std::int32_t>::max())
        expected = static_cast<std::int32_t>(wide);
    }
    ASSERT_EQ(parse_setting_integer(text), expected) << '"' << text << '"';
  }
}

TEST(ConversionSettings, TextValuesAreKeptVerbatimAndOnlyMissingOnesTakeTheDefault) {
  MemorySettingsStorage in({{"Rate", "abc"}, {"DPI", ""}, {"OpenDir", ""}});
  const ConversionSettings s = load_settings(in, kProgramFolder);
  EXPECT_EQ(s.Rate, "abc");  // not a number: kept, the writers report it
  EXPECT_EQ(s.DPI, "");
  EXPECT_EQ(s.SCALE, "100");
  EXPECT_EQ(s.OpenDir, "");  // until the folder check
  EXPECT_EQ(s.SaveDir, kProgramFolder);
  MemorySettingsStorage out;
  save_settings(s, out);
  EXPECT_EQ(out.read("Rate"), "abc");
  EXPECT_EQ(out.read("DPI"), "");
}

TEST(ConversionSettings, OutOfRangeValuesAreNotCorrectedAtLoad) {
  MemorySettingsStorage in({{"Loop", "0"}, {"ZahyouReal", "9"}, {"Special", "7"}, {"SaveMode", "-1"}});
  const ConversionSettings s = load_settings(in, kProgramFolder);
  EXPECT_EQ(s.Loop, 0);
  EXPECT_EQ(s.ZahyouReal, 9);
  EXPECT_EQ(s.Special, 7);
  EXPECT_FALSE(flag_on(s.Special));
  EXPECT_EQ(s.SaveMode, -1);
}

TEST(ConversionSettings, PassCountIsClampedToOneToHundred) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {std::numeric_limits<std::int32_t>::min(), 1},   {-5, 1}, {0, 1}, {1, 1}, {3, 3}, {100, 100}, {101, 100},
      {std::numeric_limits<std::int32_t>::max(), 100},
  };
  for (const auto& [loop, shown] : cases) EXPECT_EQ(clamp_pass_count(loop), shown) << loop;
}

TEST(ConversionSettings, FolderCheckReplacesEmptyOrMissingFoldersByTheProgramFolder) {
  struct Case {
    const char* name;
    std::optional<std::string> stored_open;
    std::optional<std::string> stored_save;
    std::string expected_open;
    std::string expected_save;
  };
  const std::string alive = "/home/u/drawings/";
  const std::string gone = "/home/u/deleted/";
  const Case cases[] = {
      {"both exist", alive, alive, alive, alive},
      {"open deleted", gone, alive, kProgramFolder, alive},
      {"save deleted", alive, gone, alive, kProgramFolder},
      {"both empty", "", "", kProgramFolder, kProgramFolder},
      {"nothing stored", std::nullopt, std::nullopt, kProgramFolder, kProgramFolder},
  };
  // Claims that the empty path exists too: emptiness alone must send it to the program folder.
  const FolderExists exists = [&](const std::string& p) { return p != gone; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySettingsStorage in;
    if (c.stored_open) in.write("OpenDir", *c.stored_open);
    if (c.stored_save) in.write("SaveDir", *c.stored_save);
    const ConversionSettings s = load_settings_checked(in, kProgramFolder, exists);
    EXPECT_EQ(s.OpenDir, c.expected_open);
    EXPECT_EQ(s.SaveDir, c.expected_save);
    MemorySettingsStorage out;
    save_settings(s, out);
    EXPECT_EQ(out.read("OpenDir"), c.expected_open);  // what is written back at close
  }
}

TEST(ConversionSettings, FolderCheckOnDiskNoticesADeletedFolder) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("vp_settings_" + std::to_string(std::random_device{}()));
  const fs::path kept = base / "kept";
  const fs::path deleted = base / "deleted";
  fs::create_directories(kept);
  fs::create_directories(deleted);
  const std::string kept_text = kept.string() + "/";
  MemorySettingsStorage in({{"OpenDir", deleted.string() + "/"}, {"SaveDir", kept_text}});
  EXPECT_EQ(load_settings_checked(in, kProgramFolder).OpenDir, deleted.string() + "/");
  fs::remove(deleted);
  const ConversionSettings s = load_settings_checked(in, kProgramFolder);
  EXPECT_EQ(s.OpenDir, kProgramFolder);
  EXPECT_EQ(s.SaveDir, kept_text);
  EXPECT_FALSE(folder_exists_on_disk(""));
  EXPECT_FALSE(folder_exists_on_disk((kept / "no_such_child").string()));
  fs::remove_all(base);
}

}  // namespace
}  // namespace vp
