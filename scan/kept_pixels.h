// Auto's last step, once every row is in and the sheet's rule is known: the
// pixels kept between sure ink and sure paper are decided by their windows
// (locally_ink_flat) and set among the sure ink. Each row is decided on its
// own, so a helper thread takes bands of rows while the calling thread decides
// others and hands the finished ones on: the decoder's core is idle by then.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "scan/local_contrast.h"

namespace vp::scan {

// The kept pixels of a sheet, row by row; the arrays belong to the caller.
struct KeptPixels {
  std::size_t words = 0;                   // 64-bit words a row
  std::uint64_t* ink = nullptr;            // rows x words: the sure ink, to which the decided ink is added
  const std::uint64_t* zone = nullptr;     // rows x words: the kept pixels
  const std::uint8_t* levels = nullptr;    // each kept pixel's relative level, row after row, left to right
  const std::uint16_t* windows = nullptr;  // and its window (packed LocalLevels)
  const std::size_t* first = nullptr;      // rows + 1 entries: where each row's kept pixels start
  // Rows from later_row on have theirs in arrays of their own, as above but
  // counted from that row (the rows a helper classified).
  std::int32_t later_row = INT32_MAX;
  const std::uint8_t* later_levels = nullptr;
  const std::uint16_t* later_windows = nullptr;
  const std::size_t* later_first = nullptr;
};

// Below this many words in all, the calling thread decides every row: a thread
// would cost more than it saves.
inline constexpr std::size_t kLeastSplitWords = std::size_t{1} << 14;

// Adds the ink of the kept pixels of rows first .. end - 1 to kept.ink.
// `decided` holds at least words x 64 bytes of scratch.
void decide_rows(const KeptPixels& kept, const LocalRule& rule, std::int32_t first, std::int32_t end,
                 std::uint8_t* decided);

// Decides rows 0 .. rows - 1 and hands each row's index to `done` in order, on
// the calling thread, once its ink is complete; a helper thread decides some of
// the rows meanwhile, where one can be had (the calling thread all of them, else). False
// from `done` stops (the rest of the rows may then be undecided) and is returned.
// May throw std::bad_alloc.
bool decide_in_bands(const KeptPixels& kept, const LocalRule& rule, std::int32_t rows,
                     const std::function<bool(std::int32_t)>& done);

}  // namespace vp::scan
