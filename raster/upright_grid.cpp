#include "raster/upright_grid.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "raster/bit_rows.h"
#include "raster/memory_budget.h"

namespace vp {
namespace {

std::uint64_t reversed(std::uint64_t w) {
  w = ((w >> 1) & 0x5555555555555555ull) | ((w & 0x5555555555555555ull) << 1);
  w = ((w >> 2) & 0x3333333333333333ull) | ((w & 0x3333333333333333ull) << 2);
  w = ((w >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((w & 0x0F0F0F0F0F0F0F0Full) << 4);
  w = ((w >> 8) & 0x00FF00FF00FF00FFull) | ((w & 0x00FF00FF00FF00FFull) << 8);
  w = ((w >> 16) & 0x0000FFFF0000FFFFull) | ((w & 0x0000FFFF0000FFFFull) << 16);
  return (w >> 32) | (w << 32);
}

std::size_t words_for(std::int32_t width) { return (static_cast<std::size_t>(std::max(width, 0)) + 63) / 64; }

}  // namespace

OrientationSteps orientation_steps(int orientation) {
  // By orientation: rows reversed, rows mirrored, cells transposed; the transpose alone is 7
  // (see the header), and the row steps turn it into 5, 6 and 8.
  constexpr OrientationSteps kSteps[9] = {
      {},
      {},
      {false, true, false},
      {true, true, false},
      {true, false, false},
      {true, true, true},
      {false, true, true},
      {false, false, true},
      {true, false, true},
  };
  return orientation >= 1 && orientation <= 8 ? kSteps[orientation] : OrientationSteps{};
}

void mirror_bits(std::span<const std::uint64_t> in, std::int32_t width, std::span<std::uint64_t> out) {
  const std::size_t n = words_for(width);
  if (n == 0) return;
  // The whole 64n bits reversed puts pixel c at bit 64n - 1 - c; shifting down by
  // the padding brings it to width - 1 - c.
  const auto pad = static_cast<unsigned>(64 * n - static_cast<std::size_t>(width));
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t from = n - 1 - k;
    std::uint64_t w = from < in.size() ? in[from] : 0;
    if (from + 1 == n && pad != 0) w &= (std::uint64_t{1} << (64 - pad)) - 1;  // only the row's own bits
    out[k] = reversed(w);
  }
  if (pad == 0) return;
  for (std::size_t k = 0; k < n; ++k) out[k] = (out[k] >> pad) | (k + 1 < n ? out[k + 1] << (64 - pad) : 0);
}

InkRows upright_rows(int orientation, std::int32_t width, std::int32_t height, InkRows into_grid) {
  const OrientationSteps steps = orientation_steps(orientation);
  if (!steps.reverse_rows && !steps.mirror_rows) return into_grid;
  std::vector<std::uint64_t> mirrored(steps.mirror_rows ? words_for(width) : 0);
  return [steps, width, height, mirrored = std::move(mirrored), into_grid = std::move(into_grid)](
             std::int32_t row_from_top, std::span<const std::uint64_t> ink) mutable {
    const std::int32_t row = steps.reverse_rows ? height - 1 - row_from_top : row_from_top;
    if (!steps.mirror_rows) return into_grid(row, ink);
    mirror_bits(ink, width, mirrored);
    return into_grid(row, mirrored);
  };
}

void transpose_cells(const CellPlane& from, const CellPlane& to) {
  std::uint64_t block[64];
  const std::size_t source_words = words_for(from.width);
  for (std::int32_t y0 = 0; y0 < from.height; y0 += 64) {
    const std::int32_t rows = std::min(64, from.height - y0);
    const std::size_t out_word = static_cast<std::size_t>(y0) / 64;
    for (std::size_t k = 0; k < source_words; ++k) {
      bool any = false;
      for (std::int32_t i = 0; i < 64; ++i) {
        block[i] = i < rows ? from.rows[static_cast<std::size_t>(y0 + i) * from.stride + k] : 0;
        any = any || block[i] != 0;
      }
      if (!any) continue;
      // Bit j of block[i] is cell (64k + j, y0 + i); after this, bit i of block[j].
      bits::transpose64(block);
      for (std::int32_t j = 0; j < 64; ++j) {
        const std::int64_t y = static_cast<std::int64_t>(64 * k) + j;
        if (y >= to.height) break;
        if (block[j] != 0) to.rows[static_cast<std::size_t>(y) * to.stride + out_word] = block[j];
      }
    }
  }
}

bool room_to_stand_upright(int orientation, std::int32_t image_width, std::int32_t image_height) {
  if (!orientation_steps(orientation).transpose) return true;
  const std::uint64_t filled = PixelGrid::bytes_needed(image_width, image_height);
  const std::uint64_t turned = PixelGrid::bytes_needed(image_height, image_width);
  const std::optional<std::uint64_t> available = available_memory_bytes();
  // The filled grid's ink plane (half of it), and the turned grid with its working copies.
  return !available || filled / 2 + turned / 2 * 3 <= *available;
}

bool finish_upright(PixelGrid& grid, int orientation) {
  if (!orientation_steps(orientation).transpose || grid.width() == 0) return true;
  PixelGrid turned;
  if (!turned.reset(grid.height() - 2, grid.width() - 2)) return false;
  transpose_cells({grid.ink_row(0), grid.words_per_row(), grid.width(), grid.height()},
                  {turned.ink_row(0), turned.words_per_row(), turned.width(), turned.height()});
  grid = std::move(turned);
  return true;
}

}  // namespace vp
