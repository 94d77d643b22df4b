// The thinning's row kernels: each step's work on one stored row of the grid,
// shared by the step-by-step scans and the sweep that runs a whole pass at once.
#pragma once

#include <cstdint>

#include "raster/bit_rows.h"
#include "raster/pixel_grid.h"

namespace vp::thinning_rows {

using bits::left2_of;
using bits::left_of;
using bits::right2_of;
using bits::right_of;
using bits::Word;

// The rows of the rewritten plane next to row y, as they were before the step.
struct Originals {
  const Word* below;
  const Word* here;
  const Word* above;
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
// `prot` holds rows y-1, y and y+1 of the protected plane as they were before the step.
// On its side, the step sees the stored grid and `y` is a stored row.
template <GridLayout layout>
inline void set_ok_row(PixelGrid& grid, std::int32_t y, const Originals& prot) {
  const Word* prot_below = prot.below;
  const Word* prot_here = prot.here;
  const std::size_t n = grid.words_per_row();
  const Word* i2d = grid.ink_row(y - 2);
  const Word* id = grid.ink_row(y - 1);
  const Word* ic = grid.ink_row(y);
  const Word* iu = grid.ink_row(y + 1);
  const Word* i2u = grid.ink_row(y + 2);
  const Word* pu = prot.above;
  Word* pc = grid.protected_row(y);
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = ic[k];
    if (c == 0) continue;
    const Word up = iu[k], down = id[k];
    const Word left = left_of(ic, k), right = right_of(ic, k, n);
    const Word ul = left_of(iu, k), ur = right_of(iu, k, n);
    const Word dl = left_of(id, k), dr = right_of(id, k, n);
    const Word link = c & ((ur & ~right & ~up) | (dl & ~left & ~down) | (dr & ~right & ~down) | (ul & ~left & ~up));
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
      if constexpr (layout == GridLayout::Upright) {
        const Word up_linked_up_left = left_of(i2u, k) & ~i2u[k];
        tip &= (only_up & plain_up & ~up_linked_up_left) | (only_down & plain_down & i2d[k]) |
               (only_left & plain_left & left2_of(ic, k)) | (only_right & plain_right);
      } else {
        // The same rule on the stored grid, the grid's rows being its columns:
        // the grid's up, down, left and right are stored right, left, down and up.
        const Word right_linked_right_down = right2_of(id, k, n) & ~right2_of(ic, k, n);
        tip &= (only_right & plain_right & ~right_linked_right_down) | (only_left & plain_left & left2_of(ic, k)) |
               (only_down & plain_down & i2d[k]) | (only_up & plain_up);
      }
    }
    // Written only where something is protected: a plane's untouched pages stay uncommitted.
    if (const Word found = link | tip; found != 0) pc[k] |= found;
  }
}

enum class Side { First, Second };

// SetBevelX1 (left ends) and SetBevelX2 (right ends) of row y, marked and cleared
// together; the mark depends only on the row as it was.
template <Side side>
inline void bevel_x_row(PixelGrid& grid, std::int32_t y) {
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

// SetBevelY1 (lower ends) and SetBevelY2 (upper ends) of row y; `ink` holds the
// rows of ink next to it as they were before the step.
template <Side side>
inline void bevel_y_row(PixelGrid& grid, std::int32_t y, const Originals& ink) {
  const std::size_t n = grid.words_per_row();
  Word* ic = grid.ink_row(y);
  const Word* pc = grid.protected_row(y);
  const Word* ink_below = ink.below;
  const Word* iu = ink.above;
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

}  // namespace vp::thinning_rows
