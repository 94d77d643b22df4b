#include "scan/kept_pixels.h"

#include <atomic>
#include <bit>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "raster/thread_start.h"

namespace vp::scan {
void decide_rows(const KeptPixels& kept, const LocalRule& rule, std::int32_t first, std::int32_t end,
                 std::uint8_t* decided) {
  for (std::int32_t i = first; i < end; ++i) {
    const auto row = static_cast<std::size_t>(i);
    const bool later = i >= kept.later_row;
    const std::size_t* first = later ? kept.later_first + (i - kept.later_row) : kept.first + i;
    const std::size_t from = first[0], count = first[1] - from;
    // The row's kept pixels decided in one plain loop, then set among the sure ink.
    const std::uint8_t* level = (later ? kept.later_levels : kept.levels) + from;
    const std::uint16_t* window = (later ? kept.later_windows : kept.windows) + from;
    for (std::size_t j = 0; j < count; ++j) decided[j] = locally_ink_flat(level[j], unpack(window[j]), rule);
    std::uint64_t* ink = kept.ink + row * kept.words;
    const std::uint64_t* zone = kept.zone + row * kept.words;
    for (std::size_t k = 0, j = 0; k < kept.words; ++k) {
      std::uint64_t word = ink[k];
      for (std::uint64_t z = zone[k]; z != 0; z &= z - 1) word |= std::uint64_t{decided[j++]} << std::countr_zero(z);
      ink[k] = word;
    }
  }
}

bool decide_in_bands(const KeptPixels& kept, const LocalRule& rule, std::int32_t rows,
                     const std::function<bool(std::int32_t)>& done) {
  std::vector<std::uint8_t> scratch(kept.words * 64);
  if (rows < 2 || kept.words * static_cast<std::size_t>(rows) < kLeastSplitWords) {
    for (std::int32_t i = 0; i < rows; ++i) {
      decide_rows(kept, rule, i, i + 1, scratch.data());
      if (!done(i)) return false;
    }
    return true;
  }
  // Bands of kBandRows rows, taken in order by whichever thread is free: the
  // calling thread also hands every row on, so it takes fewer of them, however
  // long `done` takes. It hands a band on as soon as it and those before it are decided.
  constexpr std::int32_t kBandRows = 32;
  const std::int32_t bands = (rows + kBandRows - 1) / kBandRows;
  const auto band_rows = [rows](std::int32_t band) {
    return std::pair{band * kBandRows, std::min(rows, (band + 1) * kBandRows)};
  };
  const auto decided = std::make_unique<std::atomic<std::int32_t>[]>(static_cast<std::size_t>(bands));
  std::atomic<std::int32_t> next_band{0};
  std::vector<std::uint8_t> helper_scratch(kept.words * 64);
  std::atomic<bool> stop{false};
  const JoinedThread helper(try_start_thread([&] {
                              for (std::int32_t band = next_band++; band < bands && !stop; band = next_band++) {
                                const auto [first, end] = band_rows(band);
                                decide_rows(kept, rule, first, end, helper_scratch.data());
                                decided[static_cast<std::size_t>(band)] = 1;
                                decided[static_cast<std::size_t>(band)].notify_one();
                              }
                            }),
                            [&stop] { stop = true; });
  for (std::int32_t handed = 0; handed < bands;) {
    std::atomic<std::int32_t>& ready = decided[static_cast<std::size_t>(handed)];
    if (ready != 0) {
      const auto [first, end] = band_rows(handed++);
      for (std::int32_t i = first; i < end; ++i)
        if (!done(i)) return false;
    } else if (const std::int32_t band = next_band++; band < bands) {
      const auto [first, end] = band_rows(band);
      decide_rows(kept, rule, first, end, scratch.data());
      decided[static_cast<std::size_t>(band)] = 1;
    } else {
      ready.wait(0);  // the helper's, under way
    }
  }
  return true;
}

}  // namespace vp::scan
