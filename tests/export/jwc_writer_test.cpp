#include "export/jwc_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/export_settings.h"
#include "export/save_file.h"
#include "support/written_bytes.h"
#include "tests/export/jwc_reader.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using testing::JwcFileFields;
using testing::RecordingSaveHost;

const std::string kBlock1Text = "jw_cad(c)data.......a...m...............Velorin 6.01";
const std::string kBlock2Tail = ",0,0,0,0,3,2,1,1,300,0,1,1,1,5,5,5,10,0,0,0,0,1,2,3,910,910,0,0,0,518,0";
const std::string kBlock3Text =
    "0.5,0.0,3.0,15.0,1,1,0,0,0,1,0.0,0.0,0.0,0.0,0.0,0.0,0,0,0,1000.000,1000.000,100.000,200.000,300.000,"
    "500.000,0,-39,1";
const std::string kBlock4Text = "5D6F:0000,5D6F:0000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,36,-23.45,0,0,-1,215,0";

// The jw_cad choices as the settings store them (on/off: 1 off, 2 on), so that
// the cases also check how the stored values reach the writer.
struct JwcOptions {
  std::int32_t JwcGroupe = 0;
  std::int32_t JwcLayer = 0;
  std::int32_t JwcColor = 0;
  std::int32_t JwcType = 0;
  std::int32_t JwcOption1 = 1;
  std::int32_t JwcOption1_Len = 100;
  std::int32_t JwcOption1_Lay = 15;
  std::int32_t JwcOption2 = 1;
  std::int32_t JwcOption2_X = 1;
  std::int32_t JwcOption2_Y = 2;
  std::int32_t JwcOption2_R = 3;
};

ExportOptions exports_of(const JwcOptions& o) {
  ConversionSettings s;
  s.JwcGroupe = o.JwcGroupe;
  s.JwcLayer = o.JwcLayer;
  s.JwcColor = o.JwcColor;
  s.JwcType = o.JwcType;
  s.JwcOption1 = o.JwcOption1;
  s.JwcOption1_Len = o.JwcOption1_Len;
  s.JwcOption1_Lay = o.JwcOption1_Lay;
  s.JwcOption2 = o.JwcOption2;
  s.JwcOption2_X = o.JwcOption2_X;
  s.JwcOption2_Y = o.JwcOption2_Y;
  s.JwcOption2_R = o.JwcOption2_R;
  return export_options(s);
}

std::string save_to_string(const std::vector<LineRecord>& records, std::string_view rate, const JwcOptions& o) {
  return testing::written_bytes("jwc", records, *parse_rate(rate), exports_of(o));
}

std::string hex(std::string_view bytes) {
  static const char* const digits = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

TEST(JwcWriter, DivisorIsTheFloatNearestTo300Times841Over518) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(JwcDivisor), 0x43F38867u);
  // f × 518 is exact in a double (24 + 10 bits), so the distances compare exactly.
  auto distance = [](float f) { return std::fabs(static_cast<double>(f) * 518.0 - 300.0 * 841.0); };
  EXPECT_LT(distance(JwcDivisor), distance(std::nextafter(JwcDivisor, 0.0f)));
  EXPECT_LT(distance(JwcDivisor), distance(std::nextafter(JwcDivisor, 1000.0f)));
}

TEST(JwcWriter, EmptyTableGivesTheFixedAreasOnly) {
  const std::string file = save_to_string({}, "1.0", {});
  ASSERT_EQ(file.size(), 4693u);
  JwcFileFields fields;
  ASSERT_EQ(testing::read_jwc(file, fields), "");
  EXPECT_TRUE(fields.records.empty());
  // Block 1: the identification, the program's name, 147 spaces, a line feed.
  EXPECT_EQ(file.substr(0, 200), kBlock1Text + std::string(147, ' ') + "\n");
  EXPECT_EQ(file.substr(200, 2), "0,");
  EXPECT_EQ(fields.texts[1], "0" + kBlock2Tail);
  EXPECT_EQ(fields.texts[2], kBlock3Text);
  EXPECT_EQ(fields.texts[3], kBlock4Text);
  // Block 4 spelt out: text, zero byte, spaces, line feed.
  EXPECT_EQ(file.substr(600, 200),
            kBlock4Text + std::string(1, '\0') + std::string(199 - kBlock4Text.size() - 1, ' ') + "\n");
  EXPECT_EQ(hex(file.substr(1709, 6)), "00 00 01 00 01 00");
  EXPECT_EQ(hex(file.substr(1795, 4)), "0A 00 2C 01");  // the table's last 10, then the first 300
  EXPECT_EQ(hex(file.substr(2371, 4)), "01 01 00 10");
  EXPECT_EQ(hex(file.substr(2386, 3)), "D0 E0 F0");
}

TEST(JwcWriter, RecordBytes) {
  struct Case {
    std::string name;
    LineRecord record;
    std::string rate;
    JwcOptions options;
    std::string bytes_16_to_21;
  };
  JwcOptions group2_layer10;
  group2_layer10.JwcGroupe = 2;
  group2_layer10.JwcLayer = 10;
  JwcOptions split;
  split.JwcOption2 = 2;
  split.JwcLayer = 9;  // no effect once split
  JwcOptions short_default;
  short_default.JwcOption1 = 2;
  JwcOptions short_and_split = short_default;
  short_and_split.JwcOption2 = 2;
  short_and_split.JwcGroupe = 1;
  JwcOptions short_zero = short_default;
  short_zero.JwcOption1_Len = 0;
  JwcOptions short_layer4 = short_default;
  short_layer4.JwcOption1_Lay = 4;
  short_layer4.JwcOption1_Len = 50;
  JwcOptions last_items;
  last_items.JwcColor = 5;
  last_items.JwcType = 8;
  last_items.JwcGroupe = 15;
  last_items.JwcLayer = 15;
  JwcOptions off_values;  // only 2 switches an option on
  off_values.JwcOption1 = 3;
  off_values.JwcOption2 = 0;
  off_values.JwcLayer = 6;
  JwcOptions out_of_range;  // the low eight bits, and no arithmetic fault
  out_of_range.JwcType = 255;
  out_of_range.JwcColor = -1;
  out_of_range.JwcGroupe = 17;
  out_of_range.JwcLayer = 3;

  const std::vector<Case> cases = {
      {"defaults", {5, 7, 9, 9}, "1", {}, "01 01 00 00 00 00"},
      {"group 2, layer 10", {5, 7, 9, 9}, "1", group2_layer10, "01 01 2A 00 00 00"},
      {"group 2, layer 10, horizontal", {5, 7, 9, 7}, "1", group2_layer10, "01 01 2A 00 00 00"},
      {"split: horizontal", {5, 7, 9, 7}, "1", split, "01 01 01 00 00 00"},
      {"split: vertical", {5, 7, 5, 9}, "1", split, "01 01 02 00 00 00"},
      {"split: oblique", {5, 7, 9, 9}, "1", split, "01 01 03 00 00 00"},
      {"split: a point is vertical", {5, 7, 5, 7}, "1", split, "01 01 02 00 00 00"},
      {"short: 99 mm", {0, 0, 99, 0}, "1", short_default, "01 01 0F 00 00 00"},
      {"short: 100 mm is not short", {0, 0, 100, 0}, "1", short_default, "01 01 00 00 00 00"},
      {"short: 99 mm downwards", {0, 99, 0, 0}, "1", short_default, "01 01 0F 00 00 00"},
      {"short: oblique 6-8 at 10 is 100 mm", {0, 0, 6, 8}, "10", short_default, "01 01 00 00 00 00"},
      {"short: oblique 6-7 at 10", {0, 0, 6, 7}, "10", short_default, "01 01 0F 00 00 00"},
      {"short overrides split", {0, 0, 99, 0}, "1", short_and_split, "01 01 1F 00 00 00"},
      {"split where not short", {0, 0, 100, 0}, "1", short_and_split, "01 01 11 00 00 00"},
      {"split, long oblique", {0, 0, 100, 100}, "1", short_and_split, "01 01 13 00 00 00"},
      {"L = 0: nothing is short, not even a point", {3, 3, 3, 3}, "1", short_zero, "01 01 00 00 00 00"},
      {"own short layer", {0, 0, 0, 49}, "1", short_layer4, "01 01 04 00 00 00"},
      {"last items", {1, 2, 3, 4}, "1", last_items, "09 06 FF 00 00 00"},
      {"off values", {0, 0, 1, 0}, "1", off_values, "01 01 06 00 00 00"},
      {"out of range", {1, 2, 3, 4}, "1", out_of_range, "00 00 13 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = save_to_string({c.record}, c.rate, c.options);
    ASSERT_EQ(file.size(), 4693u + 22u);
    EXPECT_EQ(hex(file.substr(2389 + 16, 6)), c.bytes_16_to_21);
  }
}

TEST(JwcWriter, CoordinatesAreLittleEndianFloatsOverTheDivisor) {
  struct Case {
    std::vector<LineRecord> records;
    std::string rate;
    std::string bytes;  // the first record's sixteen coordinate bytes
  };
  const std::vector<Case> cases = {
      // A magnification equal to the divisor gives the grid coordinates back.
      {{{1, -2, 3, 1000}}, "487.065643310546875", "00 00 80 3F 00 00 00 C0 00 00 40 40 00 00 7A 44"},
      {{{0, 0, 0, 0}}, "6.35", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
      // 974.13 / 487.065… = 2; a negative magnification flips the signs.
      {{{2, 0, -4, 1}}, "-487.065643310546875", "00 00 00 C0 00 00 00 80 00 00 80 40 00 00 80 BF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    const std::string file = save_to_string(c.records, c.rate, {});
    EXPECT_EQ(hex(file.substr(2389, 16)), c.bytes);
  }
  // Against the description's arithmetic on many inputs: c × Rate / JwcDivisor
  // in double precision, then rounded to a float. Computing in float would not do.
  std::mt19937 gen(7);
  std::uniform_int_distribution<std::int32_t> coordinate(-(1 << 24), 1 << 24);
  std::uniform_real_distribution<float> rate(-100.0f, 100.0f);
  int float_path_differs = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t c = coordinate(gen);
    const float r = rate(gen);
    const float expected = static_cast<float>(static_cast<double>(c) * r / static_cast<double>(JwcDivisor));
    ASSERT_EQ(std::bit_cast<std::uint32_t>(jwc_coordinate(c, r)), std::bit_cast<std::uint32_t>(expected))
        << c << " × " << r;
    if (static_cast<float>(c) * r / JwcDivisor != expected) ++float_path_differs;
  }
  EXPECT_GT(float_path_differs, 1000);  // the test tells the two ways apart
}

class JwcWriterFile : public testing::ScratchFolder {
 protected:
  SaveResult save(const fs::path& target, std::span<const LineRecord> records, RecordingSaveHost& host,
                  const JwcOptions& o = {}) {
    return save_file(testing::format_named("jwc"), target, records, 1, exports_of(o), host);
  }
};

TEST_F(JwcWriterFile, BarAfterEveryRecordEventsAfterEveryHundredth) {
  std::vector<LineRecord> records;
  for (int i = 0; i < 250; ++i) records.push_back({i, i, i + 3, i});
  RecordingSaveHost host;
  ASSERT_TRUE(save(folder_ / "a.jwc", records, host).written());
  const std::string file = read_bytes(folder_ / "a.jwc");
  EXPECT_EQ(file.size(), 4693u + 22u * 250u);
  ASSERT_EQ(host.bars.size(), 250u);
  EXPECT_EQ(host.bars[0], 0);
  EXPECT_EQ(host.bars[2], 1);
  EXPECT_EQ(host.bars[249], 100);
  EXPECT_EQ(host.event_after, (std::vector<std::size_t>{100, 200}));
}

TEST(JwcWriter, FilesDifferOnlyInCountAndRecords) {
  const std::vector<std::vector<LineRecord>> tables = {
      {}, {{1, 2, 3, 4}}, std::vector<LineRecord>(250, LineRecord{9, 8, 7, 6}), std::vector<LineRecord>(12345)};
  std::string first_block1;
  for (const auto& records : tables) {
    SCOPED_TRACE(records.size());
    const std::string file = save_to_string(records, "2.5", {});
    JwcFileFields fields;
    ASSERT_EQ(testing::read_jwc(file, fields), "");
    EXPECT_EQ(fields.texts[0], kBlock1Text);
    EXPECT_EQ(fields.texts[1], std::to_string(records.size()) + kBlock2Tail);
    EXPECT_EQ(fields.texts[2], kBlock3Text);
    EXPECT_EQ(fields.texts[3], kBlock4Text);
    ASSERT_EQ(fields.records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      const float k = 2.5f;
      EXPECT_EQ(fields.records[i].x1, static_cast<float>(records[i].x1 * static_cast<double>(k) / JwcDivisor));
      EXPECT_EQ(fields.records[i].y2, static_cast<float>(records[i].y2 * static_cast<double>(k) / JwcDivisor));
      if (HasFailure()) break;
    }
    if (first_block1.empty()) first_block1 = file.substr(0, 200);
    EXPECT_EQ(file.substr(0, 200), first_block1);
  }
}

TEST(JwcWriter, FailingStream) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  NoProgress progress;
  const std::vector<LineRecord> records = {{1, 2, 3, 4}};
  EXPECT_FALSE(write_jwc(out, records, 1, {}, progress));
}

TEST_F(JwcWriterFile, WritesReplacesAndFailsCleanly) {
  const fs::path target = folder_ / "plan.jwc";
  write_bytes(target, std::string(9000, 'x'));
  const std::vector<LineRecord> records = {{10, 20, 30, 20}, {-5, 0, -5, 7}};
  JwcOptions o;
  o.JwcColor = 2;
  {
    RecordingSaveHost host;
    ASSERT_TRUE(save(target, records, host, o).written());
    const std::string file = read_bytes(target);
    JwcFileFields fields;
    ASSERT_EQ(testing::read_jwc(file, fields), "");
    ASSERT_EQ(fields.records.size(), 2u);
    EXPECT_EQ(fields.records[1].x1, jwc_coordinate(-5, 1.0f));
    EXPECT_EQ(fields.records[1].color, 3);
    EXPECT_EQ(entries(), (std::vector<std::string>{"plan.jwc"}));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
  }
  const std::string good = read_bytes(target);
  struct Case {
    std::string name;
    fs::path target;
    SaveFailure failure;
    std::vector<std::string> calls;  // the dialog is hidden before the jw_cad save's own message
  };
  const std::vector<Case> cases = {
      {"missing folder",
       folder_ / "none" / "x.jwc",
       SaveFailure::Create,
       {"begin", "end", "message:保存ができませんでした。"}},
      {"target is a folder", folder_, SaveFailure::Create, {"begin", "end", "message:保存ができませんでした。"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSaveHost host;
    const SaveResult result = save(c.target, records, host, o);
    EXPECT_FALSE(result.written());
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(host.calls, c.calls);
    EXPECT_EQ(read_bytes(target), good);
    EXPECT_EQ(entries(), (std::vector<std::string>{"plan.jwc"}));
  }
}

// The divisor is about 487: 400 x 3.4e38 / 487 is still a float, 2000 x 3.4e38 / 487 is not.
TEST(JwcWriter, AMagnificationThatMakesACoordinateInfiniteIsInvalid) {
  struct Case {
    LineRecord record;
    std::string rate;
    bool written;
  };
  const std::vector<Case> cases = {
      {{0, 0, 400, 0}, "3.4e38", true},    {{0, 0, 2000, 0}, "3.4e38", false}, {{-2000, 0, 0, 0}, "3.4e38", false},
      {{0, 0, 0, 2000}, "-3.4e38", false}, {{0, 0, 2000, 0}, "1e30", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    const std::vector<LineRecord> records = {{1, 1, 2, 2}, c.record};
    RecordingSaveHost host;
    EXPECT_EQ(accept_magnification(testing::format_named("jwc"), c.rate, records, host).has_value(), c.written);
    EXPECT_EQ(host.calls,
              c.written ? std::vector<std::string>{} : std::vector<std::string>{"message:倍率の数値が不正です。"});
    // Text formats write the exact product, which is always finite.
    EXPECT_TRUE(accept_magnification(testing::format_named("text"), c.rate, records, host));
  }
}

}  // namespace
}  // namespace vp
