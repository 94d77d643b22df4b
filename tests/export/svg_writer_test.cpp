#include "export/svg_writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/export_settings.h"
#include "export/save_file.h"
#include "support/written_bytes.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

using testing::RecordingSaveHost;

std::string attribute(std::string_view tag, std::string_view name) {
  const std::string key = " " + std::string(name) + "=\"";
  const std::size_t at = tag.find(key);
  if (at == std::string_view::npos) return "?";
  const std::size_t start = at + key.size();
  return std::string(tag.substr(start, tag.find('"', start) - start));
}

std::vector<std::string> split_words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

__extension__ typedef __int128 i128;

// A decimal text as an integer count of its last decimal unit.
i128 units(const std::string& text) {
  i128 v = 0;
  for (const char c : text)
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
  return text.starts_with('-') ? -v : v;
}

struct Svg {
  std::string width, height;
  std::vector<std::string> view_box;
  std::vector<std::string> layers;                         // group ids, in file order
  std::map<std::string, std::string> colour;               // by group id
  std::vector<std::pair<std::string, std::string>> lines;  // group id, "x1 y1 x2 y2"
};

Svg read_svg(const std::string& file) {
  Svg svg;
  std::string group;
  for (std::size_t at = file.find('<'); at != std::string::npos; at = file.find('<', at + 1)) {
    const std::string tag = file.substr(at, file.find('>', at) - at);
    if (tag.starts_with("<svg ")) {
      svg.width = attribute(tag, "width");
      svg.height = attribute(tag, "height");
      svg.view_box = split_words(attribute(tag, "viewBox"));
    } else if (tag.starts_with("<g id=")) {
      group = attribute(tag, "id");
      svg.layers.push_back(group);
      svg.colour[group] = attribute(tag, "stroke");
    } else if (tag.starts_with("<line ")) {
      svg.lines.emplace_back(group, attribute(tag, "x1") + " " + attribute(tag, "y1") + " " + attribute(tag, "x2") +
                                        " " + attribute(tag, "y2"));
    }
  }
  return svg;
}

// The DXF choices as the settings store them (on/off: 1 off, 2 on).
struct DxfOptions {
  std::int32_t DxfReal = 4;
  std::int32_t DxfOption1 = 1;
  std::int32_t DxfOption1_Len = 100;
  std::int32_t DxfOption2 = 1;
};

struct SvgSaveInput {
  std::string_view magnification;
  std::span<const LineRecord> records;
  DxfOptions options;

  ExportOptions exports() const {
    ConversionSettings s;
    s.DxfReal = options.DxfReal;
    s.DxfOption1 = options.DxfOption1;
    s.DxfOption1_Len = options.DxfOption1_Len;
    s.DxfOption2 = options.DxfOption2;
    return export_options(s);
  }
};

// The same table as DXF: each entity's layer and its four coordinate texts.
std::vector<std::pair<std::string, std::string>> dxf_entities(const SvgSaveInput& input) {
  const std::vector<std::string> words =
      split_words(testing::written_bytes("dxf", input.records, *parse_rate(input.magnification), input.exports()));
  std::vector<std::pair<std::string, std::string>> entities;
  for (std::size_t i = 0; i + 15 < words.size(); ++i) {
    if (words[i] != "LINE") continue;
    entities.emplace_back(words[i + 2], words[i + 8] + " " + words[i + 10] + " " + words[i + 12] + " " + words[i + 14]);
    i += 14;
  }
  return entities;
}

std::string save_to_string(const SvgSaveInput& input) {
  return testing::written_bytes("svg", input.records, *parse_rate(input.magnification), input.exports());
}

// The page: its edges, and width and height equal to the viewBox's size (one
// user unit is one millimetre) and exactly right - left, top - bottom.
TEST(SvgWriter, PageEdgesAndTrueSize) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* name;
    std::vector<LineRecord> records;
    const char* rate;
    std::int32_t dxf_real;
    const char* view_box;  // left, -top, width, height
  };
  const std::vector<Case> cases = {
      {"one unit of margin", {{10, 10, 50, 10}, {10, 40, 10, 40}}, "1.0", 4, "9.0000 -41.0000 42.0000 32.0000"},
      // 2 x 0.5 = 1, 8 x 0.5 = 4; rows 2..4: 1 and 2.
      {"edges rounded half away from zero", {{3, 3, 7, 3}}, "0.5", 0, "1 -2 3 1"},
      // Cells 9..51: 51 x -0.5 = -25.5 -> -26 on the left, -4.5 -> -5 on the right.
      {"negative magnification turns the page", {{10, 10, 50, 10}, {10, 40, 10, 40}}, "-0.5", 0, "-26 5 21 16"},
      {"zero magnification: a 1 mm page", {{10, 10, 50, 40}}, "0", 2, "0.00 -1.00 1.00 1.00"},
      {"empty table", {}, "2.5", 4, "0.0000 -1.0000 1.0000 1.0000"},
      {"decimals collapse the height", {{10, 10, 50, 11}}, "0.01", 0, "0 -1 1 1"},
      {"no margin beyond the coordinate range",
       {{kMin, kMin, kMax, kMax}},
       "1",
       0,
       "-2147483648 -2147483647 4294967295 4294967295"},
      {"float magnification, eight decimals",
       {{1000, 1000, 1000, 2000}},
       "0.1",
       5,
       "99.90000149 -200.10000298 0.20000000 100.20000149"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SvgSaveInput input{c.rate, c.records, {c.dxf_real, 1, 100, 1}};
    const Svg svg = read_svg(save_to_string(input));
    ASSERT_EQ(svg.view_box.size(), 4u);
    EXPECT_EQ(svg.view_box[0] + " " + svg.view_box[1] + " " + svg.view_box[2] + " " + svg.view_box[3], c.view_box);
    EXPECT_EQ(svg.width, svg.view_box[2] + "mm");
    EXPECT_EQ(svg.height, svg.view_box[3] + "mm");
    // Every end point lies on the page, once flipped.
    const i128 left = units(svg.view_box[0]), top = -units(svg.view_box[1]);
    const i128 right = left + units(svg.view_box[2]), bottom = top - units(svg.view_box[3]);
    for (const auto& [layer, numbers] : svg.lines) {
      const std::vector<std::string> xy = split_words(numbers);
      for (int k = 0; k < 4; k += 2) {
        EXPECT_TRUE(units(xy[k]) >= left && units(xy[k]) <= right) << numbers;
        EXPECT_TRUE(units(xy[k + 1]) >= bottom && units(xy[k + 1]) <= top) << numbers;
      }
    }
  }
}

// Every line carries the DXF file's four numbers and sits in the group named
// after the DXF layer, whatever the options: the two writers share decimals,
// classification and magnification.
TEST(SvgWriter, LinesAndLayersMatchDxf) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::int32_t> coordinate(0, 400);
  std::vector<LineRecord> records = {{5, 7, 9, 7}, {5, 7, 5, 9},  {5, 7, 9, 9},
                                     {5, 7, 5, 7}, {0, 0, 10, 0}, {0, 0, 6, 8}};
  for (int i = 0; i < 300; ++i) {
    const std::int32_t x = coordinate(rng), y = coordinate(rng);
    switch (i % 3) {
      case 0:
        records.push_back({x, y, x + coordinate(rng) / 20, y});
        break;
      case 1:
        records.push_back({x, y, x, y - coordinate(rng) / 20});
        break;
      default:
        records.push_back({x, y, coordinate(rng), coordinate(rng)});
        break;
    }
  }
  const std::vector<DxfOptions> option_sets = {
      {4, 1, 100, 1}, {4, 1, 100, 2}, {0, 2, 100, 1}, {5, 2, 100, 2}, {2, 2, 0, 2}, {3, 2, 35, 2}, {7, 1, 100, 1},
  };
  const char* const kOrder[] = {"Velorin", "Horizon", "Vertical", "Oblique", "Short"};
  for (const char* rate : {"10", "0.1", "-3.25"}) {
    for (const DxfOptions& o : option_sets) {
      SCOPED_TRACE(::testing::Message() << "rate " << rate << ", DxfReal " << o.DxfReal << ", short " << o.DxfOption1
                                        << " (" << o.DxfOption1_Len << "), split " << o.DxfOption2);
      const SvgSaveInput input{rate, records, o};
      const Svg svg = read_svg(save_to_string(input));
      const auto dxf = dxf_entities(input);
      // Grouped by layer in the fixed order, table order kept within a layer.
      std::vector<std::pair<std::string, std::string>> expected;
      std::vector<std::string> expected_layers;
      for (const char* layer : kOrder) {
        bool any = false;
        for (const auto& entity : dxf) {
          if (entity.first != layer) continue;
          expected.push_back(entity);
          any = true;
        }
        if (any) expected_layers.emplace_back(layer);
      }
      EXPECT_EQ(svg.lines, expected);
      EXPECT_EQ(svg.layers, expected_layers);
      const std::map<std::string, std::string> colours = {{"Velorin", "#000000"},
                                                          {"Horizon", "#FF0000"},
                                                          {"Vertical", "#0000FF"},
                                                          {"Oblique", "#008000"},
                                                          {"Short", "#FF00FF"}};
      for (const auto& [layer, colour] : svg.colour) EXPECT_EQ(colour, colours.at(layer)) << layer;
    }
  }
}

// Exact decimal subtraction against 128-bit integers counting the last decimal.
TEST(SvgWriter, DecimalDifferenceAgainstIntegers) {
  auto text_of = [](i128 v, std::size_t decimals) {  // as CoordinateText writes: no "-0", no leading zeros
    const bool negative = v < 0;
    std::string digits;
    for (v = negative ? -v : v; v != 0 || digits.size() < decimals + 1; v /= 10)
      digits.insert(0, 1, char('0' + v % 10));
    if (decimals > 0) digits.insert(digits.size() - decimals, ".");
    return (negative ? "-" : "") + digits;
  };
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const std::size_t decimals = rng() % 9;
    auto random_value = [&] {
      i128 v = 0;
      for (std::uint64_t k = 0, digits = rng() % 31; k < digits; ++k) v = v * 10 + static_cast<int>(rng() % 10);
      return rng() % 2 ? -v : v;
    };
    const i128 a = random_value(), b = rng() % 8 == 0 ? a : random_value();
    ASSERT_EQ(decimal_difference(text_of(a, decimals), text_of(b, decimals)), text_of(a - b, decimals))
        << text_of(a, decimals) << " - " << text_of(b, decimals);
  }
}

class SvgFile : public testing::ScratchFolder {};

TEST_F(SvgFile, SavingProtocol) {
  std::vector<LineRecord> records;
  for (std::int32_t i = 0; i < 250; ++i) records.push_back({i, 0, i, 5});
  const SvgSaveInput input{"0.25", records, {}};
  {
    RecordingSaveHost host;
    const SaveResult result = save_file(testing::format_named("svg"), folder_ / "a.svg", records, 0.25f, {}, host);
    EXPECT_TRUE(result.written());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"begin", "end"}));
    ASSERT_EQ(host.bars.size(), 250u);
    EXPECT_EQ(host.bars.front(), 0);  // trunc(1 / 250 x 100)
    EXPECT_EQ(host.bars.back(), 100);
    EXPECT_EQ(host.event_after, (std::vector<std::size_t>{100, 200}));
    EXPECT_EQ(read_bytes(folder_ / "a.svg"), save_to_string(input));
  }
  {
    RecordingSaveHost host;
    const SaveResult result =
        save_file(testing::format_named("svg"), folder_ / "missing" / "c.svg", records, 0.25f, {}, host);
    EXPECT_EQ(result.failure, SaveFailure::Create);
    EXPECT_EQ(host.dialog_depth, 0);
  }
  EXPECT_EQ(entries(), (std::vector<std::string>{"a.svg"}));
}

}  // namespace
}  // namespace vp
