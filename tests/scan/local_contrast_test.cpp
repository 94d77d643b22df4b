// Auto's local look: the window's extremes against a direct count, and the
// decision on the kinds of pixel it exists to tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scan/local_contrast.h"
#include "scan/row_bits.h"
#include "testkit/splitmix.h"

namespace vp::scan {
namespace {

TEST(LocalContrast, WindowExtremesMatchADirectCountOverTheWindow) {
  struct Case {
    std::int32_t width, height, radius, inner;
  };
  // Windows of every run length up to 2^4 pairs and beyond, narrow rows and odd widths.
  for (const Case c : {Case{37, 29, 8, 4}, Case{64, 12, 4, 3}, Case{9, 40, 12, 6}, Case{2, 5, 5, 1}, Case{1, 7, 2, 1},
                       Case{131, 20, 7, 3}, Case{50, 9, 20, 3}, Case{77, 33, 31, 15}, Case{40, 26, 10, 5}}) {
    SCOPED_TRACE(c.width);
    SplitMix64 random(static_cast<std::uint64_t>(c.width) * 31 + static_cast<std::uint64_t>(c.height));
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height));
    for (auto& v : grey) v = static_cast<std::uint8_t>(random.integer(0, 255));
    LocalRange range(c.width, c.radius, c.inner);
    const std::int32_t pairs = (c.width + 1) / 2;
    const auto pair = [&](std::int32_t y, std::int32_t k) {  // columns beyond the row read as its edge
      k = std::clamp(k, 0, pairs - 1);
      const std::uint8_t* row = &grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width)];
      return static_cast<std::uint16_t>(row[2 * k] + row[std::min(2 * k + 1, c.width - 1)]);
    };
    for (std::int32_t y = 0; y < c.height; ++y) {
      while (range.rows_added() < std::min(c.height, y + range.radius() + 1))
        range.add_row(&grey[static_cast<std::size_t>(range.rows_added()) * static_cast<std::size_t>(c.width)]);
      std::vector<LocalRange::Extremes> wanted(static_cast<std::size_t>(pairs));
      for (std::int32_t x = 0; x < c.width; ++x) {
        LocalRange::Extremes want;
        for (std::int32_t yy = std::max(0, y - range.radius()); yy <= std::min(c.height - 1, y + range.radius()); ++yy)
          for (std::int32_t k = x / 2 - range.pair_radius(); k <= x / 2 + range.pair_radius(); ++k) {
            const std::uint16_t v = pair(yy, k);
            const bool inner = std::abs(yy - y) <= range.inner_radius() && std::abs(k - x / 2) <= range.inner_pairs();
            want.brightest = std::max(want.brightest, v);
            want.darkest = std::min(want.darkest, v);
            if (inner)
              want.inner_brightest = std::max(want.inner_brightest, v);
            else
              want.outer_darkest = std::min(want.outer_darkest, v);
          }
        LocalRange::Extremes got;
        range.around_pairs(y, x / 2, 1, &got);
        ASSERT_EQ(got.brightest, want.brightest) << x << "," << y;
        ASSERT_EQ(got.darkest, want.darkest) << x << "," << y;
        ASSERT_EQ(got.inner_brightest, want.inner_brightest) << x << "," << y;
        ASSERT_EQ(got.outer_darkest, want.outer_darkest) << x << "," << y;
        wanted[static_cast<std::size_t>(x / 2)] = want;
      }
      // The same windows a run of pairs at a time, runs of random lengths along the row.
      for (std::int32_t k = 0; k < pairs;) {
        const std::int32_t count = std::min(pairs - k, random.integer(1, LocalRange::kSpan));
        LocalRange::Extremes got[LocalRange::kSpan];
        range.around_pairs(y, k, count, got);
        for (std::int32_t j = 0; j < count; ++j) {
          const LocalRange::Extremes& want = wanted[static_cast<std::size_t>(k + j)];
          ASSERT_EQ(got[j].brightest, want.brightest) << k + j << "," << y;
          ASSERT_EQ(got[j].darkest, want.darkest) << k + j << "," << y;
          ASSERT_EQ(got[j].inner_brightest, want.inner_brightest) << k + j << "," << y;
          ASSERT_EQ(got[j].outer_darkest, want.outer_darkest) << k + j << "," << y;
        }
        k += count;
      }
    }
  }
}

TEST(LocalContrast, StrokesStayInkWhileStainsSpecksAndRimsTurnPaper) {
  // Ink at 40, paper at 255, the sheet's threshold halfway between.
  const LocalRule rule = local_rule(40, 255, 3, 148, 240);
  struct Case {
    const char* what;
    std::int32_t level;
    LocalLevels around;
    bool ink;
  };
  const Case cases[] = {
      {"dark enough on its own, in a dark stain", 60, {70, 55, false, false, false}, true},
      {"inside a stain: no depth", 150, {165, 140, true, true, true}, false},
      {"a dark stroke's edge", 140, {255, 40, true, true, true}, true},
      {"beside a dark stroke, above the threshold", 150, {255, 40, true, true, true}, false},
      {"a dark stroke's edge in a stain: halfway to the stain", 110, {170, 40, true, true, true}, false},
      {"a faint stroke's core above the threshold", 160, {255, 150, true, true, true}, true},
      {"a faint speck that does not go on", 160, {255, 150, true, true, false}, false},
      {"a stain's rim as dark as pencil, but wide", 160, {255, 150, false, false, true}, false},
      {"faint and blurred: the back page showing through", 160, {255, 150, true, false, true}, false},
      {"faint and shallow", 160, {255, 172, true, true, true}, false},
      {"beyond the paper's noise", 245, {255, 150, true, true, true}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(locally_ink(c.level, c.around, rule), c.ink) << c.what;
  for (const Case& c : cases) {  // two bytes keep what the decision needs
    const LocalLevels back = unpack(pack(c.around));
    EXPECT_LE(std::abs(back.brightest - c.around.brightest), 1);
    EXPECT_LE(std::abs(back.darkest - c.around.darkest), 2);
    EXPECT_EQ(back.narrow, c.around.narrow);
    EXPECT_EQ(back.sharp, c.around.sharp);
    EXPECT_EQ(back.goes_on, c.around.goes_on);
  }
}

TEST(LocalContrast, TheDecisionWithoutBranchesGivesTheSameAnswers) {
  // Sheets from dark ink on white to pencil on grey paper, noisy or clean.
  struct Sheet {
    std::int32_t ink, paper;
    double spread;
    std::int32_t threshold, ceiling;
  };
  for (const Sheet c : {Sheet{40, 255, 3, 148, 240}, Sheet{120, 200, 1.5, 160, 190}, Sheet{10, 250, 8, 48, 200},
                        Sheet{90, 255, 2, 172, 255}}) {
    const LocalRule rule = local_rule(c.ink, c.paper, c.spread, c.threshold, c.ceiling);
    SplitMix64 random(static_cast<std::uint64_t>(c.ink) * 1000 + static_cast<std::uint64_t>(c.threshold));
    for (int trial = 0; trial < 200000; ++trial) {
      const auto packed = static_cast<std::uint16_t>(random.integer(0, 0xFFFF));
      const std::int32_t level = random.integer(0, 255);
      const LocalLevels around = unpack(packed);
      ASSERT_EQ(locally_ink_flat(level, around, rule), locally_ink(level, around, rule)) << level << " " << packed;
    }
  }
}

TEST(LocalContrast, FlagBytesGatherIntoTheBitsOfAWordAndItsPairs) {
  // Densities from none to all, and runs that cross the eight-byte steps.
  for (const std::uint64_t per_mille : {0, 3, 100, 500, 900, 1000}) {
    SCOPED_TRACE(per_mille);
    SplitMix64 random(per_mille + 7);
    for (int trial = 0; trial < 200; ++trial) {
      std::uint8_t flags[64];
      std::uint64_t want = 0;
      for (int b = 0; b < 64; ++b) {
        flags[b] = static_cast<std::uint8_t>(random.integer(0, 999) < static_cast<std::int32_t>(per_mille));
        if (flags[b] != 0) want |= std::uint64_t{1} << b;
      }
      ASSERT_EQ(bits_of(flags), want);
      std::uint32_t pairs = 0;
      for (int p = 0; p < 32; ++p)
        if ((flags[2 * p] | flags[2 * p + 1]) != 0) pairs |= std::uint32_t{1} << p;
      ASSERT_EQ(pairs_of(want), pairs);
    }
  }
}

}  // namespace
}  // namespace vp::scan
