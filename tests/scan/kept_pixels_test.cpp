// The kept pixels decided in two bands against the rule applied pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "raster/thread_start.h"
#include "scan/kept_pixels.h"

namespace vp::scan {
namespace {

struct Sheet {
  std::size_t words;
  std::int32_t rows;
  std::vector<std::uint64_t> sure, zone;
  std::vector<std::uint8_t> levels;
  std::vector<std::uint16_t> windows;
  std::vector<std::size_t> first{0};

  Sheet(std::size_t w, std::int32_t r, std::mt19937& rng) : words(w), rows(r) {
    const std::size_t n = words * static_cast<std::size_t>(rows);
    for (std::size_t k = 0; k < n; ++k) {
      zone.push_back(rng() & rng() & (std::uint64_t{rng()} << 32 | rng()));  // about one pixel in four
      sure.push_back(~zone.back() & rng() & rng() & rng());
      for (int b = std::popcount(zone.back()); b > 0; --b) {
        levels.push_back(static_cast<std::uint8_t>(rng()));
        windows.push_back(static_cast<std::uint16_t>(rng()));
      }
      if ((k + 1) % words == 0) first.push_back(levels.size());
    }
  }
  KeptPixels view(std::vector<std::uint64_t>& ink) const {
    return {words, ink.data(), zone.data(), levels.data(), windows.data(), first.data()};
  }
  // Sure ink and every kept pixel locally_ink takes, pixel by pixel.
  std::vector<std::uint64_t> literal(const LocalRule& rule) const {
    std::vector<std::uint64_t> ink = sure;
    std::size_t j = 0;
    for (std::size_t k = 0; k < ink.size(); ++k)
      for (int b = 0; b < 64; ++b) {
        if ((zone[k] >> b & 1) == 0) continue;
        if (locally_ink(levels[j], unpack(windows[j]), rule)) ink[k] |= std::uint64_t{1} << b;
        ++j;
      }
    return ink;
  }
};

TEST(KeptPixels, DecidedOnTwoThreadsAsOnOneAndPixelByPixelAndHandedOnInOrder) {
  const LocalRule rule = local_rule(60, 230, 4.0, 150, 200);
  std::mt19937 rng(11);
  // Enough rows that the helper is still deciding some when the calling thread,
  // held up on the first row, comes back for them.
  const Sheet split(64, static_cast<std::int32_t>(8 * kLeastSplitWords / 64) + 45, rng);
  const Sheet narrow(3, 40, rng);  // too few words for a thread
  const Sheet one_row(1, 1, rng), none(5, 0, rng);
  struct Case {
    const Sheet* sheet;
    bool refuse_threads;
    std::int32_t stop_at;  // the row whose hand-on says stop; -1 for none
  };
  const Case cases[] = {
      {&split, false, -1},
      {&split, true, -1},
      {&split, false, 10},
      {&split, false, split.rows - 5},
      {&split, true, split.rows / 2 + 1},
      {&narrow, false, -1},
      {&one_row, false, -1},
      {&none, false, -1},
  };
  for (const Case& c : cases) {
    const Sheet& sheet = *c.sheet;
    SCOPED_TRACE(std::to_string(sheet.words) + " x " + std::to_string(sheet.rows) +
                 (c.refuse_threads ? ", no thread" : "") + ", stop at " + std::to_string(c.stop_at));
    const std::vector<std::uint64_t> expected = sheet.literal(rule);
    std::vector<std::uint64_t> ink = sheet.sure;
    std::vector<std::int32_t> order;
    std::int32_t wrong_rows = 0;
    refuse_threads_for_testing(c.refuse_threads);
    const bool all = decide_in_bands(sheet.view(ink), rule, sheet.rows, [&](std::int32_t i) {
      order.push_back(i);
      if (i == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
      const std::size_t at = static_cast<std::size_t>(i) * sheet.words;
      wrong_rows += !std::equal(ink.begin() + at, ink.begin() + at + sheet.words, expected.begin() + at);
      return i != c.stop_at;
    });
    refuse_threads_for_testing(false);
    EXPECT_EQ(all, c.stop_at < 0);
    EXPECT_EQ(wrong_rows, 0);
    const std::int32_t handed = c.stop_at < 0 ? sheet.rows : c.stop_at + 1;
    ASSERT_EQ(order.size(), static_cast<std::size_t>(handed));
    for (std::int32_t i = 0; i < handed; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    if (c.stop_at < 0) {
      EXPECT_EQ(ink, expected);
    }
  }
}

}  // namespace
}  // namespace vp::scan
