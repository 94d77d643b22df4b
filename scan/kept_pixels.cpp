#include "scan/kept_pixels.h"

#include <atomic>
#include <bit>
#include <thread>
#include <vector>

#include "raster/thread_start.h"

namespace vp::scan {
namespace {

// Joins the helper however the first band ends, a throw from `done` included,
// having told it to stop when the caller no longer wants its rows.
class HelperBand {
 public:
  HelperBand(std::thread thread, std::atomic<bool>& stop) : thread_(std::move(thread)), stop_(stop) {}
  ~HelperBand() { join(false); }
  HelperBand(const HelperBand&) = delete;
  HelperBand& operator=(const HelperBand&) = delete;
  bool started() const { return thread_.joinable(); }
  void join(bool wanted) {
    if (!thread_.joinable()) return;
    if (!wanted) stop_ = true;
    thread_.join();
  }

 private:
  std::thread thread_;
  std::atomic<bool>& stop_;
};

}  // namespace

void decide_rows(const KeptPixels& kept, const LocalRule& rule, std::int32_t first, std::int32_t end,
                 std::uint8_t* decided) {
  for (std::int32_t i = first; i < end; ++i) {
    const auto row = static_cast<std::size_t>(i);
    const std::size_t from = kept.first[row], count = kept.first[row + 1] - from;
    // The row's kept pixels decided in one plain loop, then set among the sure ink.
    const std::uint8_t* level = kept.levels + from;
    const std::uint16_t* window = kept.windows + from;
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
  const auto decide_and_hand_on = [&](std::int32_t first, std::int32_t end) {
    for (std::int32_t i = first; i < end; ++i) {
      decide_rows(kept, rule, i, i + 1, scratch.data());
      if (!done(i)) return false;
    }
    return true;
  };
  if (rows < 2 || kept.words * static_cast<std::size_t>(rows) < kLeastSplitWords) return decide_and_hand_on(0, rows);

  const std::int32_t middle = rows / 2;
  std::vector<std::uint8_t> helper_scratch(kept.words * 64);
  std::atomic<bool> stop{false};
  HelperBand helper(try_start_thread([&kept, &rule, &stop, &helper_scratch, middle, rows] {
                      for (std::int32_t i = middle; i < rows && !stop; ++i)
                        decide_rows(kept, rule, i, i + 1, helper_scratch.data());
                    }),
                    stop);
  const bool helped = helper.started();
  bool go_on = decide_and_hand_on(0, middle);
  helper.join(go_on);
  if (!go_on) return false;
  if (!helped) decide_rows(kept, rule, middle, rows, scratch.data());
  for (std::int32_t i = middle; i < rows; ++i)
    if (!done(i)) return false;
  return true;
}

}  // namespace vp::scan
