#include "scan/dust_removal.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <new>
#include <thread>
#include <vector>

#include "raster/thread_start.h"

namespace vp::scan {
namespace {

// The grid is swept in two halves, the lower one on a helper thread, when it
// has at least this many words and the seam's sweep takes no more than this
// share of its rows (one in kLeastSeamShare).
constexpr std::size_t kLeastSplitWords = std::size_t{1} << 14;
constexpr std::int64_t kLeastSeamShare = 8;

struct Run {
  std::int32_t x0, x1;  // inclusive
  std::int32_t group;
};

struct Piece {
  std::int32_t y, x0, x1;
};

struct Group {
  std::int32_t parent = 0;
  std::int64_t size = 0;
  bool large = false;         // more than the speck size: kept
  bool at_edge = false;       // reaches a row where the sweep's rows meet another sweep's: judged there
  std::int32_t touched = -1;  // the last row with a run of this group
  Piece seed{};               // one of its runs, from which a speck is found again to clear it
};

void runs_of(const std::uint64_t* row, std::size_t words, std::vector<Run>& out) {
  out.clear();
  std::int32_t start = -1;
  for (std::size_t k = 0; k < words; ++k) {
    const std::uint64_t w = row[k];
    if ((start < 0 && w == 0) || (start >= 0 && w == ~std::uint64_t{0})) continue;
    int bit = 0;
    while (bit < 64) {
      const auto base = static_cast<std::int32_t>(k * 64);
      if (start < 0) {
        const std::uint64_t rest = w >> bit;
        if (rest == 0) break;
        bit += std::countr_zero(rest);
        start = base + bit;
      } else {
        const std::uint64_t rest = ~w >> bit;
        if (rest == 0) break;
        bit += std::countr_zero(rest);
        out.push_back({start, base + bit - 1, -1});
        start = -1;
      }
    }
  }
  if (start >= 0) out.push_back({start, static_cast<std::int32_t>(words * 64) - 1, -1});
}

void clear_cells(std::uint64_t* row, std::int32_t x0, std::int32_t x1) {
  for (std::int32_t x = x0; x <= x1;) {
    const int bit = x % 64;
    const int n = std::min(64 - bit, x1 - x + 1);
    const std::uint64_t mask = n == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << n) - 1) << bit;
    row[x / 64] &= ~mask;
    x += n;
  }
}

class Specks {
 public:
  Specks(PixelGrid& grid, std::int32_t limit) : grid_(grid), limit_(limit) {}

  // Rows top .. end - 1; the groups that reach row `top` (when `open_top`) or
  // row end - 1 (when `open_end`) may go on beyond them, so they are left as they are.
  std::int64_t run(std::int32_t top, std::int32_t end, bool open_top, bool open_end,
                   const std::function<bool()>& keep_going) {
    constexpr std::int32_t kRowsBetweenChecks = 64;
    edge_top_ = open_top ? top : -1;
    edge_end_ = open_end ? end - 1 : -1;
    std::vector<Run> below, here;
    for (std::int32_t y = top; y < end; ++y) {
      if (keep_going && (y - top) % kRowsBetweenChecks == 0 && !keep_going()) {
        stopped_ = true;
        return cleared_;
      }
      runs_of(grid_.ink_row(y), grid_.words_per_row(), here);
      join(below, here, y);
      settle(below, y);
      for (Run& r : here) r.group = find(r.group);
      for (std::int32_t g : merged_) free_.push_back(g);
      merged_.clear();
      std::swap(below, here);
    }
    settle(below, end);
    return cleared_;
  }
  bool stopped() const { return stopped_; }

 private:
  std::int32_t find(std::int32_t g) {
    while (groups_[static_cast<std::size_t>(g)].parent != g) {
      Group& group = groups_[static_cast<std::size_t>(g)];
      group.parent = groups_[static_cast<std::size_t>(group.parent)].parent;
      g = group.parent;
    }
    return g;
  }

  std::int32_t fresh() {
    std::int32_t g;
    if (!free_.empty()) {
      g = free_.back();
      free_.pop_back();
    } else {
      g = static_cast<std::int32_t>(groups_.size());
      groups_.emplace_back();
    }
    Group& group = groups_[static_cast<std::size_t>(g)];
    group.parent = g;
    group.size = 0;
    group.large = false;
    group.at_edge = false;
    group.touched = -1;
    return g;
  }

  void grow(Group& group, std::int64_t cells) {
    group.size += cells;
    if (group.size > limit_) group.large = true;
  }

  void add(std::int32_t g, const Run& r, std::int32_t y) {
    Group& group = groups_[static_cast<std::size_t>(g)];
    if (group.touched < 0) group.seed = {y, r.x0, r.x1};
    group.touched = y;
    group.at_edge = group.at_edge || y == edge_top_ || y == edge_end_;
    grow(group, r.x1 - r.x0 + 1);
  }

  void unite(std::int32_t a, std::int32_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (groups_[static_cast<std::size_t>(a)].size < groups_[static_cast<std::size_t>(b)].size) std::swap(a, b);
    Group& keep = groups_[static_cast<std::size_t>(a)];
    Group& gone = groups_[static_cast<std::size_t>(b)];
    gone.parent = a;
    keep.large = keep.large || gone.large;
    keep.at_edge = keep.at_edge || gone.at_edge;
    keep.touched = std::max(keep.touched, gone.touched);
    grow(keep, gone.size);
    merged_.push_back(b);
  }

  bool ink_at(const std::uint64_t* row, std::int32_t x) const {
    return x >= 0 && x < grid_.stored_width() && ((row[x / 64] >> (x % 64)) & 1) != 0;
  }

  // Clears the complete speck that holds `seed`: its cells are found again on the
  // grid, run by run through the rows above and below, rather than remembered as
  // the sweep met them (a sheet of fine hatching has millions of such runs open).
  void clear_speck(const Piece& seed) {
    pending_.assign(1, seed);
    clear_cells(grid_.ink_row(seed.y), seed.x0, seed.x1);
    while (!pending_.empty()) {
      const Piece p = pending_.back();
      pending_.pop_back();
      for (const std::int32_t y : {p.y - 1, p.y + 1}) {
        if (y < 0 || y >= grid_.stored_height()) continue;
        std::uint64_t* row = grid_.ink_row(y);
        for (std::int32_t x = p.x0 - 1; x <= p.x1 + 1; ++x) {
          if (!ink_at(row, x)) continue;
          std::int32_t x0 = x, x1 = x;
          while (ink_at(row, x0 - 1)) --x0;
          while (ink_at(row, x1 + 1)) ++x1;
          clear_cells(row, x0, x1);
          pending_.push_back({y, x0, x1});
          x = x1 + 1;
        }
      }
    }
  }

  // Each run of `here` joins the groups of the runs of `below` it touches, the
  // diagonal neighbours included.
  void join(const std::vector<Run>& below, std::vector<Run>& here, std::int32_t y) {
    std::size_t first = 0;
    for (Run& r : here) {
      while (first < below.size() && below[first].x1 + 1 < r.x0) ++first;
      for (std::size_t i = first; i < below.size() && below[i].x0 <= r.x1 + 1; ++i) {
        if (r.group < 0) {
          r.group = find(below[i].group);
          add(r.group, r, y);
        } else {
          unite(r.group, below[i].group);
        }
      }
      if (r.group < 0) {
        r.group = fresh();
        add(r.group, r, y);
      }
    }
  }

  // Groups of `below` that no run of row y touched are complete.
  void settle(const std::vector<Run>& below, std::int32_t y) {
    for (const Run& r : below) {
      const std::int32_t g = find(r.group);
      Group& group = groups_[static_cast<std::size_t>(g)];
      if (group.touched >= y) continue;  // goes on, or already settled on this row
      group.touched = y;
      if (!group.large && !group.at_edge) {
        clear_speck(group.seed);
        cleared_ += group.size;
      }
      free_.push_back(g);
    }
  }

  PixelGrid& grid_;
  std::int64_t limit_;
  std::vector<Group> groups_;
  std::vector<std::int32_t> free_, merged_;
  std::vector<Piece> pending_;  // runs of the speck being cleared whose neighbours are still to look at
  std::int64_t cleared_ = 0;
  std::int32_t edge_top_ = -1, edge_end_ = -1;
  bool stopped_ = false;
};

}  // namespace

std::int64_t remove_specks(PixelGrid& grid, std::int32_t max_pixels, const std::function<bool()>& keep_going) {
  if (max_pixels <= 0 || grid.width() == 0) return 0;
  // The specks are the same whichever way the grid is stored: the stored rows are swept.
  const std::int32_t height = grid.stored_height();
  // A speck that reaches the rows where the halves meet lies within max_pixels
  // rows of them: the seam's sweep, a row wider each way, judges those.
  const std::int32_t seam = height / 2, seam_top = std::max(0, seam - max_pixels - 1),
                     seam_end = std::min(height, seam + max_pixels + 1);
  std::thread started;
  std::int64_t helper_cleared = 0;
  std::atomic<bool> stop{false};
  if (std::int64_t{seam_end - seam_top} * kLeastSeamShare <= height &&
      grid.words_per_row() * static_cast<std::size_t>(height) >= kLeastSplitWords) {
    started = try_start_thread([&grid, max_pixels, seam, height, &helper_cleared, &stop] {
      try {
        helper_cleared = Specks(grid, max_pixels).run(seam, height, true, false, [&stop] { return !stop; });
      } catch (const std::bad_alloc&) {
        helper_cleared = -1;
      }
    });
  }
  JoinedThread helper(std::move(started), [&stop] { stop = true; });
  if (!helper.running()) return Specks(grid, max_pixels).run(0, height, false, false, keep_going);
  Specks upper(grid, max_pixels);
  std::int64_t cleared = upper.run(0, seam, false, true, keep_going);
  const bool stopped = upper.stopped();
  if (stopped) stop = true;
  helper.join();
  if (helper_cleared < 0) throw std::bad_alloc();
  cleared += helper_cleared;
  if (stopped) return cleared;  // the grid partly cleaned
  return cleared + Specks(grid, max_pixels).run(seam_top, seam_end, seam_top > 0, seam_end < height, keep_going);
}

}  // namespace vp::scan
