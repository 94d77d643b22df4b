// The threshold rules' streaming against their plain definitions, and the names
// the converter and the settings use for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "raster/thread_start.h"
#include "scan/threshold.h"
#include "support/degraded_scan.h"

namespace vp::scan {
namespace {

struct Grey {
  std::int32_t width, height;
  std::vector<std::uint8_t> levels;
  std::uint8_t at(std::int32_t x, std::int32_t y) const { return levels[static_cast<std::size_t>(y) * width + x]; }
};

// Rows top down, or bottom up as BMP files store them.
GreySource source_of(const Grey& g, bool bottom_up) {
  return [&g, bottom_up](const GreyRowSink& sink) {
    for (std::int32_t i = 0; i < g.height; ++i) {
      const std::int32_t y = bottom_up ? g.height - 1 - i : i;
      if (!sink(y,
                std::span(g.levels.data() + static_cast<std::size_t>(y) * g.width, static_cast<std::size_t>(g.width))))
        break;
    }
    return ImageStatus::Ok;
  };
}

InkImage apply(const ThresholdMode& mode, const Grey& g, bool bottom_up = false, double dpi = 0) {
  InkImage ink(g.width, g.height);
  std::vector<int> delivered(static_cast<std::size_t>(g.height), 0);
  apply_threshold(
      mode, g.width, g.height, source_of(g, bottom_up),
      [&](std::int32_t r, std::span<const std::uint64_t> row) {
        ++delivered[static_cast<std::size_t>(r)];
        std::copy(row.begin(), row.end(), ink.row(r).begin());
        return true;
      },
      dpi);
  for (int count : delivered) EXPECT_EQ(count, 1);
  return ink;
}

// Sauvola as defined: mean and deviation over the 31 x 31 window clipped to the image.
InkImage literal_sauvola(const Grey& g) {
  InkImage ink(g.width, g.height);
  for (std::int32_t y = 0; y < g.height; ++y)
    for (std::int32_t x = 0; x < g.width; ++x) {
      double sum = 0, squares = 0, n = 0;
      for (std::int32_t v = std::max(0, y - 15); v <= std::min(g.height - 1, y + 15); ++v)
        for (std::int32_t u = std::max(0, x - 15); u <= std::min(g.width - 1, x + 15); ++u) {
          sum += g.at(u, v);
          squares += g.at(u, v) * g.at(u, v);
          ++n;
        }
      const double mean = sum / n, deviation = std::sqrt(std::max(0.0, squares / n - mean * mean));
      if (g.at(x, y) < mean * (1 + 0.34 * (deviation / 128 - 1))) ink.set(x, y);
    }
  return ink;
}

TEST(Threshold, StreamedRulesMatchTheirDefinitionsWhateverTheRowOrder) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    Grey g{std::uniform_int_distribution<std::int32_t>(1, 90)(rng),
           std::uniform_int_distribution<std::int32_t>(1, 80)(rng),
           {}};
    const int paper = std::uniform_int_distribution<int>(120, 250)(rng);
    for (std::int32_t i = 0; i < g.width * g.height; ++i)
      g.levels.push_back(
          static_cast<std::uint8_t>(rng() % 5 == 0 ? rng() % 256 : paper - static_cast<int>(rng() % 20)));
    SCOPED_TRACE(std::to_string(g.width) + " x " + std::to_string(g.height));
    EXPECT_EQ(apply({ThresholdRule::Adaptive}, g), literal_sauvola(g));
    EXPECT_EQ(apply({ThresholdRule::Adaptive}, g, true), literal_sauvola(g));
    InkImage below(g.width, g.height);
    for (std::int32_t y = 0; y < g.height; ++y)
      for (std::int32_t x = 0; x < g.width; ++x)
        if (g.at(x, y) < 100) below.set(x, y);
    EXPECT_EQ(apply({ThresholdRule::Level, 100}, g, true), below);
    EXPECT_EQ(apply({ThresholdRule::Auto}, g, true), apply({ThresholdRule::Auto}, g));
  }
}

// A sheet wide enough, and at 100 dpi with enough rows of small blocks, that
// once its last row is in a helper thread classifies some of the rows still
// waiting and decides some of the kept pixels.
TEST(Threshold, AutoFindsTheSameInkWithAHelperThreadAsWithout) {
  Grey g{3000, 1000, {}};
  std::mt19937 rng(5);
  g.levels.reserve(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height));
  for (std::int32_t y = 0; y < g.height; ++y) {
    for (std::int32_t x = 0; x < g.width; ++x) {
      int v =
          225 - 30 * x / g.width - 60 * y / g.height + static_cast<int>(rng() % 13) - 6;  // light falling off, noise
      const int dx = x - 2200, dy = y - 500;
      if (dx * dx + dy * dy < 150 * 150) v -= 35;                 // a stain
      if (y % 37 == 18 && x % 300 < 200) v -= 45;                 // faint strokes
      if (y % 37 < 2 || x % 53 < 2 || (x + y) % 97 == 0) v = 45;  // rules, and oblique strokes
      g.levels.push_back(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
    }
  }
  for (const bool bottom_up : {false, true}) {
    SCOPED_TRACE(bottom_up ? "bottom up" : "top down");
    const InkImage helped = apply({ThresholdRule::Auto}, g, bottom_up, 100);
    refuse_threads_for_testing(true);
    const InkImage alone = apply({ThresholdRule::Auto}, g, bottom_up, 100);
    refuse_threads_for_testing(false);
    EXPECT_GT(alone.ink_count(), 0u);
    EXPECT_EQ(helped, alone);
  }
}

TEST(Threshold, OtsuSplitsTwoPeaksBetweenThem) {
  Histogram h{};
  h[40] = 100, h[45] = 50, h[200] = 900, h[210] = 300;
  const std::int32_t t = otsu_threshold(h);
  EXPECT_GT(t, 45);
  EXPECT_LE(t, 200);
  EXPECT_EQ(otsu_threshold(Histogram{}), 0);
}

TEST(Threshold, AutoOnABlankSheetFindsNoInkAndOnAStrokeFindsIt) {
  Grey g{300, 200, std::vector<std::uint8_t>(300 * 200)};
  std::mt19937 rng(3);
  for (auto& v : g.levels) v = static_cast<std::uint8_t>(225 + rng() % 21);  // noisy paper only
  EXPECT_EQ(apply({ThresholdRule::Auto}, g).ink_count(), 0u);
  for (std::int32_t x = 20; x < 280; ++x) g.levels[100 * 300 + x] = g.levels[101 * 300 + x] = 120;
  EXPECT_EQ(apply({ThresholdRule::Auto}, g).ink_count(), 520u);
}

TEST(Threshold, ModeNamesAndTheRuleByFormat) {
  struct Case {
    const char* text;
    std::optional<ThresholdMode> mode;
  };
  const Case cases[] = {
      {"nearest-black", ThresholdMode{ThresholdRule::NearestBlack}},
      {"AUTO", ThresholdMode{ThresholdRule::Auto}},
      {"otsu", ThresholdMode{ThresholdRule::Otsu}},
      {"adaptive", ThresholdMode{ThresholdRule::Adaptive}},
      {"1", ThresholdMode{ThresholdRule::Level, 1}},
      {"255", ThresholdMode{ThresholdRule::Level, 255}},
      {"0", std::nullopt},
      {"256", std::nullopt},
      {"12x", std::nullopt},
      {"", std::nullopt},
      {"-5", std::nullopt},
      {"by format", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_threshold_mode(c.text), c.mode) << c.text;
    if (c.mode) {
      EXPECT_EQ(parse_threshold_mode(threshold_mode_text(*c.mode)), c.mode) << c.text;
    }
  }
  struct ByImage {
    const char* format;
    ThresholdRule chosen;
    bool grey;  // false: a 1-bit image
    std::int32_t levels;
    ThresholdRule rule;
  };
  const ByImage by_image[] = {
      {"JPEG", ThresholdRule::ByFormat, true, 0, ThresholdRule::Auto},
      {"PNG", ThresholdRule::ByFormat, true, 16, ThresholdRule::NearestBlack},  // a 4-bit drawing
      {"PNG", ThresholdRule::ByFormat, true, 17, ThresholdRule::Auto},
      {"TIFF", ThresholdRule::ByFormat, true, 4, ThresholdRule::NearestBlack},
      {"TIFF", ThresholdRule::ByFormat, true, 17, ThresholdRule::Auto},
      {"TIFF", ThresholdRule::ByFormat, false, 17, ThresholdRule::NearestBlack},
      {"BMP", ThresholdRule::ByFormat, true, 200, ThresholdRule::NearestBlack},
      {"PNG", ThresholdRule::Otsu, true, 2, ThresholdRule::Otsu},
      {"PNG", ThresholdRule::NearestBlack, true, 200, ThresholdRule::NearestBlack},
      {"PNG", ThresholdRule::Otsu, false, 0, ThresholdRule::NearestBlack},
  };
  for (const ByImage& c : by_image) {
    ImageInfo info;
    info.format = c.format;
    EXPECT_EQ(mode_for_image({c.chosen}, info, c.grey, c.levels).rule, c.rule) << c.format << ' ' << c.levels;
    EXPECT_EQ(rule_counts_grey_levels({c.chosen}, info, c.grey), c.grey && c.chosen == ThresholdRule::ByFormat &&
                                                                     c.format != std::string("JPEG") &&
                                                                     c.format != std::string("BMP"));
  }
}

// Levels are counted over the first rows only, and the reading stops at the limit.
TEST(Threshold, GreyLevelsAreCountedOverTheFirstRowsUpToTheLimit) {
  Grey g{70, 100, std::vector<std::uint8_t>(70 * 100, 255)};
  for (std::int32_t x = 0; x < 70; ++x) g.levels[static_cast<std::size_t>(80 * 70 + x)] = static_cast<std::uint8_t>(x);
  std::int32_t rows_read = 0;
  const GreySource source = [&](const GreyRowSink& sink) {
    rows_read = 0;
    for (std::int32_t y = 0; y < g.height; ++y) {
      ++rows_read;
      if (!sink(y, std::span(g.levels).subspan(static_cast<std::size_t>(y * g.width), 70))) break;
    }
    return ImageStatus::Ok;
  };
  ImageStatus status = ImageStatus::Unreadable;
  EXPECT_EQ(count_grey_levels(source, 17, status, 64), 1);
  EXPECT_EQ(rows_read, 64);
  EXPECT_EQ(status, ImageStatus::Ok);
  EXPECT_EQ(count_grey_levels(source, 17, status), 17);  // row 80 holds 70 levels
  EXPECT_EQ(rows_read, 81);
}

}  // namespace
}  // namespace vp::scan
