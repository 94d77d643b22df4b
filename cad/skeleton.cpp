#include "cad/skeleton.h"

#include <algorithm>
#include <array>
#include <bit>

#include "cad/stop_check.h"
#include "raster/bit_rows.h"
#include "raster/grid_rows.h"

namespace vp::cad {

namespace {

// The eight neighbours, counter-clockwise from east: the order of the mask bits.
constexpr std::uint8_t kEastOnly = 1u << 0, kWestOnly = 1u << 4;
// A node of this many pixels or more is a blot, outlined.
constexpr std::int32_t kBlotPixels = 48;
constexpr std::array<int, 8> kDx = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kDy = {0, 1, 1, 1, 0, -1, -1, -1};

// One bit per cell, rows as the grid lays them out (its border ring stays clear,
// so every neighbour of an ink cell lies inside).
class BitPlane {
 public:
  BitPlane(std::int32_t width, std::int32_t height, std::size_t words_per_row)
      : words_(words_per_row), bits_(words_per_row * static_cast<std::size_t>(height)) {
    (void)width;
  }
  std::uint64_t* row(std::int32_t y) { return bits_.data() + static_cast<std::size_t>(y) * words_; }
  const std::uint64_t* row(std::int32_t y) const { return bits_.data() + static_cast<std::size_t>(y) * words_; }
  bool get(std::int32_t x, std::int32_t y) const { return (row(y)[x >> 6] >> (x & 63)) & 1u; }
  void set(std::int32_t x, std::int32_t y) { row(y)[x >> 6] |= std::uint64_t{1} << (x & 63); }
  void clear(std::int32_t x, std::int32_t y) { row(y)[x >> 6] &= ~(std::uint64_t{1} << (x & 63)); }
  // The eight neighbours as mask bits (east first, counter-clockwise), read
  // three at a time from the rows above, at and below.
  std::uint8_t neighbours(std::int32_t x, std::int32_t y) const {
    const unsigned up = three(row(y + 1), x), mid = three(row(y), x), down = three(row(y - 1), x);
    return static_cast<std::uint8_t>(((mid >> 2) & 1u) | ((up >> 2) & 1u) << 1 | ((up >> 1) & 1u) << 2 |
                                     (up & 1u) << 3 | (mid & 1u) << 4 | (down & 1u) << 5 | ((down >> 1) & 1u) << 6 |
                                     ((down >> 2) & 1u) << 7);
  }
  std::size_t words() const { return words_; }

 private:
  // Cells x − 1, x and x + 1 of a row as bits 0, 1 and 2 (x ≥ 1).
  static unsigned three(const std::uint64_t* r, std::int32_t x) {
    const auto start = static_cast<std::size_t>(x - 1);
    const std::size_t word = start >> 6;
    const unsigned bit = start & 63u;
    std::uint64_t v = r[word] >> bit;
    if (bit > 61) v |= r[word + 1] << (64 - bit);
    return static_cast<unsigned>(v & 7u);
  }

  std::size_t words_;
  std::vector<std::uint64_t> bits_;
};

constexpr int connectivity_of(std::uint8_t mask) {
  const auto bit = [mask](int k) { return ((mask >> (k & 7)) & 1) ? 0 : 1; };  // complemented
  int c = 0;
  for (int k = 0; k < 8; k += 2) c += bit(k) - bit(k) * bit(k + 1) * bit(k + 2);
  return c;
}

constexpr std::array<std::uint8_t, 256> count_table() {
  std::array<std::uint8_t, 256> table{};
  for (int mask = 0; mask < 256; ++mask)
    table[static_cast<std::size_t>(mask)] = static_cast<std::uint8_t>(std::popcount(static_cast<unsigned>(mask)));
  return table;
}
// Neighbours of a mask, by table: the target may have no population count instruction.
constexpr std::array<std::uint8_t, 256> kNeighbourCount = count_table();

// For every neighbour mask: may the pixel go without breaking a stroke?
constexpr std::array<bool, 256> removable_table() {
  std::array<bool, 256> table{};
  for (int mask = 0; mask < 256; ++mask) {
    const int count = std::popcount(static_cast<unsigned>(mask));
    table[static_cast<std::size_t>(mask)] =
        (count == 2 || count == 3) && connectivity_of(static_cast<std::uint8_t>(mask)) == 1;
  }
  return table;
}

// The cells of word k of row y whose only neighbours are the two on either side
// in their row, or the two above and below: the inside of a horizontal or
// vertical run, which neither goes in the thinning nor is a node.
std::uint64_t plain_run_cells(const BitPlane& plane, std::int32_t y, std::size_t k) {
  const std::size_t n = plane.words();
  const std::uint64_t *up = plane.row(y + 1), *mid = plane.row(y), *down = plane.row(y - 1);
  const std::uint64_t left = bits::left_of(mid, k), right = bits::right_of(mid, k, n);
  const std::uint64_t diagonals =
      bits::left_of(up, k) | bits::right_of(up, k, n) | bits::left_of(down, k) | bits::right_of(down, k, n);
  const std::uint64_t horizontal = mid[k] & left & right & ~up[k] & ~down[k] & ~diagonals;
  const std::uint64_t vertical = mid[k] & up[k] & down[k] & ~left & ~right & ~diagonals;
  return horizontal | vertical;
}

// How many cells beyond `from` along its row (towards `step`, ±1) lead on
// plainly: ink, no node, the next cell ink too, nothing above or below. A walk
// takes them in one stride instead of looking round at each.
std::int32_t plain_stretch(const BitPlane& ink, const BitPlane& nodes, Pixel from, int step) {
  const std::size_t n = ink.words();
  const std::uint64_t *up = ink.row(from.y + 1), *mid = ink.row(from.y), *down = ink.row(from.y - 1);
  const std::uint64_t* node = nodes.row(from.y);
  const auto plain = [&](std::size_t k) {
    const std::uint64_t around = up[k] | bits::left_of(up, k) | bits::right_of(up, k, n) | down[k] |
                                 bits::left_of(down, k) | bits::right_of(down, k, n);
    const std::uint64_t onward = step > 0 ? bits::right_of(mid, k, n) : bits::left_of(mid, k);
    return mid[k] & onward & ~around & ~node[k];
  };
  std::int32_t count = 0;
  std::int64_t x = static_cast<std::int64_t>(from.x) + step;
  while (x >= 0 && static_cast<std::size_t>(x >> 6) < n) {
    const auto k = static_cast<std::size_t>(x >> 6);
    const int bit = static_cast<int>(x & 63);
    const std::uint64_t w = plain(k);
    // The run of plain cells from `bit` onwards in the walk's direction.
    const int ones = step > 0 ? std::countr_one(w >> bit) : std::countl_one(w << (63 - bit));
    const int room = step > 0 ? 64 - bit : bit + 1;
    count += std::min(ones, room);
    if (ones < room) break;
    x += step * room;
  }
  return count;
}

// The outline of the 8-connected set of `inside` cells that `start` (its first
// cell in raster order) belongs to, by Moore's neighbour tracing, counter-clockwise;
// `cells` bounds the walk (an outline passes each of the set's cells a few times at most).
void trace_outline(const BitPlane& inside, Pixel start, std::int64_t cells, std::vector<Pixel>& outline) {
  outline.assign({start});
  Pixel p = start;
  int back = 4;  // towards the cell west of the start, which is outside
  for (std::int64_t steps = 0; steps < 4 * cells + 16; ++steps) {
    int found = -1;
    for (int i = 1; i <= 8 && found < 0; ++i) {
      const int d = (back + i) % 8;
      if (inside.get(p.x + kDx[static_cast<std::size_t>(d)], p.y + kDy[static_cast<std::size_t>(d)])) found = d;
    }
    if (found < 0) return;  // a single cell
    const Pixel next{p.x + kDx[static_cast<std::size_t>(found)], p.y + kDy[static_cast<std::size_t>(found)]};
    // Round once: leaving the start again the way it was first left.
    if (p == start && outline.size() > 1 && next == outline[1]) return;
    // The cell examined just before the one found is outside; seen from the next cell.
    const int before = (found + 7) % 8;
    const Pixel outside{p.x + kDx[static_cast<std::size_t>(before)], p.y + kDy[static_cast<std::size_t>(before)]};
    p = next;
    back = 0;
    while (back < 8 && (p.x + kDx[static_cast<std::size_t>(back)] != outside.x ||
                        p.y + kDy[static_cast<std::size_t>(back)] != outside.y))
      ++back;
    if (p != start) outline.push_back(p);
  }
}

// Calls f(x, y) for every set bit of plane row y but the inside of plain runs
// (see plain_run_cells), which `rest` counts.
template <class F>
void for_each_bit(const BitPlane& plane, std::int32_t y, std::int64_t& rest, F&& f) {
  const std::size_t words = plane.words();
  for (std::size_t k = 0; k < words; ++k) {
    if (plane.row(y)[k] == 0) continue;
    const std::uint64_t plain = plain_run_cells(plane, y, k);
    rest += bits::count(plain);
    std::uint64_t w = plane.row(y)[k] & ~plain;
    while (w != 0) {
      const int bit = std::countr_zero(w);
      w &= w - 1;
      f(static_cast<std::int32_t>(k * 64 + static_cast<std::size_t>(bit)), y);
    }
  }
}

int find(std::vector<std::int32_t>& parent, std::int32_t i) {
  while (parent[static_cast<std::size_t>(i)] != i) {
    parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
    i = parent[static_cast<std::size_t>(i)];
  }
  return i;
}

}  // namespace

int connectivity_number(std::uint8_t mask) { return connectivity_of(mask); }

PhaseStatus walk_skeleton(const PixelGrid& thinned, std::vector<SkeletonNode>& nodes,
                          const std::function<void(std::int64_t skeleton_pixels)>& started,
                          const std::function<bool(Chain&)>& take, Progress& progress, std::int64_t rows_before,
                          std::int64_t total) {
  static constexpr std::array<bool, 256> kRemovable = removable_table();
  const std::int32_t width = thinned.width(), height = thinned.height();
  GridRows thinned_rows(thinned);
  const std::size_t words = thinned_rows.words();
  BitPlane ink(width, height, words);
  std::int64_t skeleton_pixels = 0;
  // The passes over the whole grid before the first row is reported ask on their own.
  StopCheck early(progress, rows_before, total);
  for (std::int32_t y = 0; y < height; ++y) {
    if (!early.keep_going(static_cast<std::int64_t>(words))) return PhaseStatus::Stopped;
    std::copy_n(thinned_rows.ink_row(y), words, ink.row(y));
    for (std::size_t k = 0; k < words; ++k) skeleton_pixels += bits::count(ink.row(y)[k]);
  }
  started(skeleton_pixels);

  struct Meter {
    Progress& progress;
    std::int64_t done, total;
    bool stopped = false;
    bool step() { return !(stopped = stopped || !progress.report(Phase::Fit, ++done, total)); }
  } meter{progress, rows_before, total};

  // Staircase steps out, in raster order (each removal is seen by the next pixel).
  for (std::int32_t y = 1; y + 1 < height; ++y) {
    std::int64_t plain = 0;
    for_each_bit(ink, y, plain, [&](std::int32_t x, std::int32_t yy) {
      if (kRemovable[ink.neighbours(x, yy)]) ink.clear(x, yy);
    });
    if (!meter.step()) return PhaseStatus::Stopped;
  }

  // Node pixels, grouped into nodes by 8-adjacency; and per row the other
  // pixels not walked yet, so that the search for loops skips walked rows.
  BitPlane node_bits(width, height, words);
  std::vector<std::int32_t> unwalked(static_cast<std::size_t>(height), 0);
  std::vector<Pixel> node_pixels;
  std::vector<bool> branching;
  // Node pixels come in raster order: a row's start in the list, and a search
  // within the row, find any of them.
  std::vector<std::size_t> row_start(static_cast<std::size_t>(height) + 1, 0);
  // So do the steps between the rows' reports: a blot's node pixels are millions.
  StopCheck between(progress, meter.done, total);
  for (std::int32_t y = 1; y + 1 < height; ++y) {
    if (!between.keep_going(static_cast<std::int64_t>(words))) return PhaseStatus::Stopped;
    std::int64_t plain = 0;
    for_each_bit(ink, y, plain, [&](std::int32_t x, std::int32_t yy) {
      const int count = kNeighbourCount[ink.neighbours(x, yy)];
      if (count == 2) ++unwalked[static_cast<std::size_t>(yy)];
      if (count != 2) {
        branching.push_back(count >= 3);
        node_bits.set(x, yy);
        node_pixels.push_back({x, yy});
      }
    });
    unwalked[static_cast<std::size_t>(y)] += static_cast<std::int32_t>(plain);
  }
  for (const Pixel& p : node_pixels) ++row_start[static_cast<std::size_t>(p.y) + 1];
  for (std::size_t y = 1; y < row_start.size(); ++y) row_start[y] += row_start[y - 1];
  const auto index_of = [&](Pixel p) -> std::int32_t {
    if (!node_bits.get(p.x, p.y)) return -1;
    const auto first = node_pixels.begin() + static_cast<std::ptrdiff_t>(row_start[static_cast<std::size_t>(p.y)]);
    const auto last = node_pixels.begin() + static_cast<std::ptrdiff_t>(row_start[static_cast<std::size_t>(p.y) + 1]);
    const auto it = std::lower_bound(first, last, p.x, [](const Pixel& q, std::int32_t x) { return q.x < x; });
    return static_cast<std::int32_t>(it - node_pixels.begin());
  };
  std::vector<std::int32_t> parent(node_pixels.size());
  for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = static_cast<std::int32_t>(i);
  const auto join = [&](std::size_t i, std::size_t j) {
    const int a = find(parent, static_cast<std::int32_t>(i)), b = find(parent, static_cast<std::int32_t>(j));
    if (a != b) parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  };
  // Each pixel joins its east neighbour and the three below it: the neighbours
  // come in raster order, so one pointer walks along the row below (a blot has
  // millions of node pixels, too many to search for each neighbour).
  for (std::size_t i = 0, below = 0; i < node_pixels.size(); ++i) {
    if (!between.keep_going()) return PhaseStatus::Stopped;
    const Pixel p = node_pixels[i];
    if (i + 1 < node_pixels.size() && node_pixels[i + 1] == Pixel{p.x + 1, p.y}) join(i, i + 1);
    const std::size_t row_end = row_start[static_cast<std::size_t>(p.y) + 2];  // node rows stop above the last
    below = std::max(below, row_start[static_cast<std::size_t>(p.y) + 1]);
    while (below < row_end && node_pixels[below].x < p.x - 1) ++below;
    for (std::size_t j = below; j < row_end && node_pixels[j].x <= p.x + 1; ++j) join(i, j);
  }
  // Nodes numbered in the raster order of their first pixel, each set's root.
  // The numbers take the parents' place: a parent comes before its child (the
  // smaller index wins every union), so it is numbered by the time the child is.
  std::vector<std::int32_t>& node_of = parent;
  nodes.clear();
  for (std::size_t i = 0; i < node_pixels.size(); ++i) {
    if (!between.keep_going()) return PhaseStatus::Stopped;
    const auto up = static_cast<std::size_t>(node_of[i]);
    if (up == i) {
      node_of[i] = static_cast<std::int32_t>(nodes.size());
      nodes.push_back({});
    } else {
      node_of[i] = node_of[up];
    }
    SkeletonNode& node = nodes[static_cast<std::size_t>(node_of[i])];
    node.position.x += node_pixels[i].x;
    node.position.y += node_pixels[i].y;
    ++node.pixels;
    node.junction = node.junction || branching[i];
  }
  for (SkeletonNode& node : nodes) node.position = {node.position.x / node.pixels, node.position.y / node.pixels};
  const auto node_at = [&](Pixel p) { return node_of[static_cast<std::size_t>(index_of(p))]; };

  // Chains: each leaves a node pixel through a pixel of two neighbours; walked
  // pixels are taken out of the copy, so every chain is walked once.
  Chain chain;
  const auto walk_from = [&](Pixel start, Pixel first) {
    chain.pixels.assign({start, first});
    chain.start_node = node_at(start);
    chain.end_node = -1;
    ink.clear(first.x, first.y);
    --unwalked[static_cast<std::size_t>(first.y)];
    Pixel cur = first;
    for (;;) {
      const std::uint8_t mask = ink.neighbours(cur.x, cur.y);
      if (mask == kEastOnly || mask == kWestOnly) {
        const int step = mask == kEastOnly ? 1 : -1;
        const std::int32_t stride = plain_stretch(ink, node_bits, cur, step);
        for (std::int32_t s = 0; s < stride; ++s) {
          cur.x += step;
          ink.clear(cur.x, cur.y);
          chain.pixels.push_back(cur);
        }
        unwalked[static_cast<std::size_t>(cur.y)] -= stride;
        if (stride > 0) continue;
      }
      Pixel next{-1, -1};
      // A node pixel ends the chain (but not the one it left from, at once).
      for (int k = 0; k < 8 && next.x < 0; ++k) {
        if (!((mask >> k) & 1)) continue;
        const Pixel q{cur.x + kDx[static_cast<std::size_t>(k)], cur.y + kDy[static_cast<std::size_t>(k)]};
        if (node_bits.get(q.x, q.y) && !(chain.pixels.size() == 2 && q == start)) next = q;
      }
      if (next.x >= 0) {
        chain.pixels.push_back(next);
        chain.end_node = node_at(next);
        return;
      }
      for (int k = 0; k < 8 && next.x < 0; ++k)
        if ((mask >> k) & 1) {
          const Pixel q{cur.x + kDx[static_cast<std::size_t>(k)], cur.y + kDy[static_cast<std::size_t>(k)]};
          if (!node_bits.get(q.x, q.y)) next = q;
        }
      if (next.x < 0) {
        // Back at its own start: a loop through one node.
        chain.pixels.push_back(start);
        chain.end_node = chain.start_node;
        return;
      }
      ink.clear(next.x, next.y);
      --unwalked[static_cast<std::size_t>(next.y)];
      chain.pixels.push_back(next);
      cur = next;
    }
  };
  std::size_t i = 0;
  for (std::int32_t y = 1; y + 1 < height; ++y) {
    for (; i < node_pixels.size() && node_pixels[i].y == y; ++i) {
      const Pixel start = node_pixels[i];
      for (int k = 0; k < 8; ++k) {
        const Pixel q{start.x + kDx[static_cast<std::size_t>(k)], start.y + kDy[static_cast<std::size_t>(k)]};
        if (!ink.get(q.x, q.y) || node_bits.get(q.x, q.y)) continue;
        walk_from(start, q);
        if (!take(chain)) return PhaseStatus::Stopped;
      }
    }
    if (!meter.step()) return PhaseStatus::Stopped;
  }
  // What is left are loops without a node.
  for (std::int32_t y = 1; y + 1 < height; ++y) {
    if (!between.keep_going(1 + unwalked[static_cast<std::size_t>(y)])) return PhaseStatus::Stopped;
    for (std::size_t k = 0; k < words && unwalked[static_cast<std::size_t>(y)] > 0; ++k) {
      while (ink.row(y)[k] & ~node_bits.row(y)[k]) {
        const std::uint64_t w = ink.row(y)[k] & ~node_bits.row(y)[k];
        const Pixel start{static_cast<std::int32_t>(k * 64 + static_cast<std::size_t>(std::countr_zero(w))), y};
        chain.pixels.assign({start});
        chain.start_node = chain.end_node = -1;
        ink.clear(start.x, start.y);
        --unwalked[static_cast<std::size_t>(start.y)];
        Pixel cur = start;
        for (;;) {
          const std::uint8_t mask = ink.neighbours(cur.x, cur.y);
          if (mask == 0) break;
          const int dir = std::countr_zero(static_cast<unsigned>(mask));
          cur = {cur.x + kDx[static_cast<std::size_t>(dir)], cur.y + kDy[static_cast<std::size_t>(dir)]};
          ink.clear(cur.x, cur.y);
          --unwalked[static_cast<std::size_t>(cur.y)];
          chain.pixels.push_back(cur);
        }
        if (chain.pixels.size() >= 3 && !take(chain)) return PhaseStatus::Stopped;
      }
    }
  }
  // A blot (a filled area, strokes thicker than the passes thinned) is one big
  // node: its outline is a closed chain of its own, as tracing keeps a solid
  // area's outline.
  std::vector<std::int32_t> blot_start(nodes.size(), -1);
  for (std::size_t k = 0; k < node_pixels.size(); ++k) {
    if (!between.keep_going()) return PhaseStatus::Stopped;
    const auto id = static_cast<std::size_t>(node_of[k]);
    if (nodes[id].pixels >= kBlotPixels && blot_start[id] < 0) blot_start[id] = static_cast<std::int32_t>(k);
  }
  for (const std::int32_t first : blot_start) {
    if (first < 0) continue;
    const auto id = static_cast<std::size_t>(node_of[static_cast<std::size_t>(first)]);
    if (!between.keep_going(nodes[id].pixels)) return PhaseStatus::Stopped;
    trace_outline(node_bits, node_pixels[static_cast<std::size_t>(first)], nodes[id].pixels, chain.pixels);
    chain.start_node = chain.end_node = -1;
    if (chain.pixels.size() >= 8 && !take(chain)) return PhaseStatus::Stopped;
  }
  return PhaseStatus::Finished;
}

}  // namespace vp::cad
