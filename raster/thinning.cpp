#include "raster/thinning.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "raster/bit_rows.h"

namespace vp {
namespace {

using bits::left2_of;
using bits::left_of;
using bits::right_of;
using bits::Word;

// Calls `process(first_row, last_row)` over rows [first, last] in chunks, and
// spreads the step's `units` lines over them: after each chunk, unit_done() is
// called until the share of units reached matches the share of rows done.
template <class Process>
void scan_rows(std::int32_t first, std::int32_t last, std::int64_t units, PhaseControl& control,
               Process&& process) {
  constexpr std::int32_t kChunk = 16;
  const std::int64_t rows = std::max<std::int64_t>(last - first + 1, 0);
  std::int64_t units_done = 0;
  auto report = [&](std::int64_t rows_done) {
    const std::int64_t target = rows == 0 ? units : units * rows_done / rows;
    while (units_done < target) {
      control.unit_done();
      ++units_done;
      if (control.stopped()) return false;
    }
    return true;
  };
  for (std::int32_t y = first; y <= last; y += kChunk) {
    const std::int32_t chunk_last = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{y} + kChunk - 1, last));
    process(y, chunk_last);
    if (!report(chunk_last - first + 1)) return;
  }
  report(rows);
}

// A copy of one row as it was before the step wrote to it.
class RowCopy {
 public:
  explicit RowCopy(std::size_t words) : previous_(words), current_(words) {}
  // Saves `row` (about to be overwritten) as the current row's original.
  const Word* save(const Word* row) {
    std::memcpy(current_.data(), row, current_.size() * sizeof(Word));
    return current_.data();
  }
  // The current row becomes the previous one, for the next row up.
  void advance() { previous_.swap(current_); }
  const Word* previous() const { return previous_.data(); }
  Word* previous_mutable() { return previous_.data(); }

 private:
  std::vector<Word> previous_;
  std::vector<Word> current_;
};

// SetOKdata for one row y. The link rules (1 and 2) protect exactly the cells of
// clean diagonal links, whatever the order. The tip rule (3) at cell p depends on
// the code its single ink edge neighbour n has when the column-major scan reaches p:
//  - n above: visited later; it is already protected only if the falling link from
//    n to its upper left was found, at the earlier visit of (x-1, y+1);
//  - n to the right: visited later and untouched before p;
//  - n below or to the left: visited earlier, so by then n is protected if it had
//    any link or was itself a tip; with p's diagonals empty, that is exactly when
//    the cell beyond n (two cells below, or two to the left) is background.
// `prot_below` is row y-1 of the protected plane as it was before the step.
void set_ok_row(PixelGrid& grid, std::int32_t y, const Word* prot_below, const Word* prot_here) {
  const std::size_t n = grid.words_per_row();
  const Word* i2d = grid.ink_row(y - 2);
  const Word* id = grid.ink_row(y - 1);
  const Word* ic = grid.ink_row(y);
  const Word* iu = grid.ink_row(y + 1);
  const Word* i2u = grid.ink_row(y + 2);
  const Word* pu = grid.protected_row(y + 1);
  Word* pc = grid.protected_row(y);
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = ic[k];
    if (c == 0) continue;
    const Word up = iu[k], down = id[k];
    const Word left = left_of(ic, k), right = right_of(ic, k, n);
    const Word ul = left_of(iu, k), ur = right_of(iu, k, n);
    const Word dl = left_of(id, k), dr = right_of(id, k, n);
    const Word link = c & ((ur & ~right & ~up) | (dl & ~left & ~down) | (dr & ~right & ~down) |
                           (ul & ~left & ~up));
    Word tip = c & ~prot_here[k] & ~(ul | ur | dl | dr);
    if (tip != 0) {
      const Word only_up = up & ~down & ~left & ~right;
      const Word only_down = down & ~up & ~left & ~right;
      const Word only_left = left & ~up & ~down & ~right;
      const Word only_right = right & ~up & ~down & ~left;
      const Word plain_up = up & ~pu[k];
      const Word plain_down = down & ~prot_below[k];
      const Word plain_left = left & ~left_of(prot_here, k);
      const Word plain_right = right & ~right_of(prot_here, k, n);
      const Word up_linked_up_left = left_of(i2u, k) & ~i2u[k];
      tip &= (only_up & plain_up & ~up_linked_up_left) | (only_down & plain_down & i2d[k]) |
             (only_left & plain_left & left2_of(ic, k)) | (only_right & plain_right);
    }
    pc[k] |= link | tip;
  }
}

enum class Side { First, Second };

// SetBevelX1 (left ends) and SetBevelX2 (right ends) of row y, marked and cleared
// together; the mark depends only on the row as it was.
template <Side side>
void bevel_x_row(PixelGrid& grid, std::int32_t y) {
  const std::size_t n = grid.words_per_row();
  Word* ic = grid.ink_row(y);
  const Word* pc = grid.protected_row(y);
  Word before = 0, before_plain = 0;  // original word k - 1
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = ic[k];
    const Word plain = c & ~pc[k];
    if (plain != 0) {
      Word mark;
      if constexpr (side == Side::First) {
        const Word left = (c << 1) | (before >> 63);
        const Word next_plain = k + 1 < n ? ic[k + 1] & ~pc[k + 1] : 0;
        const Word right_plain = (plain >> 1) | (next_plain << 63);
        mark = ~left & plain & right_plain;
        if (k == 0) mark &= ~Word{2};  // a run starting in the first image column keeps its end
      } else {
        const Word left_plain = (plain << 1) | (before_plain >> 63);
        const Word right = right_of(ic, k, n);
        mark = left_plain & plain & ~right;
      }
      ic[k] = c & ~mark;
    }
    before = c;
    before_plain = plain;
  }
}

// SetBevelY1 (lower ends) and SetBevelY2 (upper ends) of row y; `ink_below` is row
// y-1 as it was before the step.
template <Side side>
void bevel_y_row(PixelGrid& grid, std::int32_t y, const Word* ink_below) {
  const std::size_t n = grid.words_per_row();
  Word* ic = grid.ink_row(y);
  const Word* pc = grid.protected_row(y);
  const Word* iu = grid.ink_row(y + 1);
  const Word* pu = grid.protected_row(y + 1);
  const Word* pd = grid.protected_row(y - 1);
  for (std::size_t k = 0; k < n; ++k) {
    const Word plain = ic[k] & ~pc[k];
    if (plain == 0) continue;
    Word mark;
    if constexpr (side == Side::First) {
      mark = ~ink_below[k] & plain & (iu[k] & ~pu[k]);
    } else {
      mark = (ink_below[k] & ~pd[k]) & plain & ~iu[k];
    }
    ic[k] &= ~mark;
  }
}

// Runs a row kernel that needs the row below as it was before the step, over all
// rows 1 .. height-2, keeping that original row in `copy`.
template <class Kernel>
void scan_with_original_below(PixelGrid& grid, std::int64_t units, PhaseControl& control, bool protected_plane,
                              Kernel&& kernel) {
  RowCopy copy(grid.words_per_row());
  std::memset(copy.previous_mutable(), 0, grid.words_per_row() * sizeof(Word));  // row 0 is border
  scan_rows(1, grid.height() - 2, units, control, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y <= last; ++y) {
      const Word* here = copy.save(protected_plane ? grid.protected_row(y) : grid.ink_row(y));
      kernel(y, copy.previous(), here);
      copy.advance();
    }
  });
}

}  // namespace

void SetOKdata(PixelGrid& grid, PhaseControl& control) {
  scan_with_original_below(grid, grid.width() - 1, control, true,
                           [&](std::int32_t y, const Word* below, const Word* here) { set_ok_row(grid, y, below, here); });
}

void SetBevelX1(PixelGrid& grid, PhaseControl& control) {
  scan_rows(1, grid.height() - 2, grid.height() - 1, control, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y <= last; ++y) bevel_x_row<Side::First>(grid, y);
  });
}

void SetBevelX2(PixelGrid& grid, PhaseControl& control) {
  scan_rows(1, grid.height() - 2, grid.height() - 1, control, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y <= last; ++y) bevel_x_row<Side::Second>(grid, y);
  });
}

void SetBevelY1(PixelGrid& grid, PhaseControl& control) {
  scan_with_original_below(grid, grid.width() - 1, control, false, [&](std::int32_t y, const Word* below, const Word*) {
    if (y >= 2) bevel_y_row<Side::First>(grid, y, below);  // the bottom image row keeps its ends
  });
}

void SetBevelY2(PixelGrid& grid, PhaseControl& control) {
  scan_with_original_below(grid, grid.width() - 1, control, false,
                           [&](std::int32_t y, const Word* below, const Word*) { bevel_y_row<Side::Second>(grid, y, below); });
}

void ClearBevel(PixelGrid& grid, PhaseControl& control) {
  // The marking steps have cleared their cells already; the scan's lines are still counted.
  scan_rows(0, grid.height() - 1, grid.height(), control, [](std::int32_t, std::int32_t) {});
}

void BlueToBlack(PixelGrid& grid, PhaseControl& control) {
  const std::size_t bytes = grid.words_per_row() * sizeof(Word);
  scan_rows(0, grid.height() - 1, grid.height(), control, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y <= last; ++y) std::memset(grid.protected_row(y), 0, bytes);
  });
}

std::int64_t thinning_work_total(std::int32_t grid_width, std::int32_t grid_height, std::int32_t pass_count) {
  const std::int64_t per_pass = 6 * std::int64_t{grid_height} + 6 * std::int64_t{grid_width} - 8;
  return std::int64_t{std::max(pass_count, 0)} * per_pass + grid_height;
}

void run_thinning(PixelGrid& grid, std::int32_t pass_count, PhaseControl& control) {
  using Step = void (*)(PixelGrid&, PhaseControl&);
  static constexpr Step kPass[] = {SetOKdata, SetBevelX1, ClearBevel, SetOKdata, SetBevelX2, ClearBevel,
                                   SetOKdata, SetBevelY1, ClearBevel, SetOKdata, SetBevelY2, ClearBevel};
  for (std::int32_t pass = 0; pass < pass_count; ++pass) {
    for (Step step : kPass) {
      if (!control.stopped()) step(grid, control);
    }
    if (control.stopped()) break;
  }
  if (!control.stopped()) BlueToBlack(grid, control);
}

}  // namespace vp
