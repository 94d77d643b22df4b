#include "vector/run_tracer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "raster/bit_rows.h"
#include "raster/grid_rows.h"
#include "raster/memory_budget.h"

namespace vp {
namespace {

using bits::left_of;
using bits::right_of;
using bits::Word;

// A bit plane with one zero row of padding below and above, rows of `words` words.
// Zeroed by calloc, so that its blank parts are never touched.
class Plane {
 public:
  Plane(std::int32_t rows, std::size_t words)
      : words_(words),
        data_(static_cast<Word*>(std::calloc((static_cast<std::size_t>(rows) + 2) * words, sizeof(Word)))) {
    if (data_ == nullptr) throw std::bad_alloc();
  }
  Word* row(std::int32_t r) { return data_.get() + (static_cast<std::size_t>(r) + 1) * words_; }
  const Word* row(std::int32_t r) const { return data_.get() + (static_cast<std::size_t>(r) + 1) * words_; }
  std::size_t words() const { return words_; }

 private:
  struct Free {
    void operator()(Word* p) const { std::free(p); }
  };
  std::size_t words_;
  std::unique_ptr<Word, Free> data_;
};

// Columns `from` to `to` of the grid's ink as rows: row x - from, bit y;
// inked[g] tells whether rows 64g to 64g + 63 hold any ink.
Plane transpose_ink(const PixelGrid& grid, std::int32_t from, std::int32_t to, std::vector<bool>& inked) {
  inked.assign((static_cast<std::size_t>(to - from) + 64) / 64, false);
  const std::int32_t height = grid.height();
  const std::size_t out_words = (static_cast<std::size_t>(height) + 63) / 64;
  Plane columns(to - from + 1, out_words);
  Word block[64];
  for (std::size_t ky = 0; ky < out_words; ++ky) {
    for (std::size_t kx = static_cast<std::size_t>(from) / 64; kx <= static_cast<std::size_t>(to) / 64; ++kx) {
      Word any = 0;
      for (int i = 0; i < 64; ++i) {
        const std::int64_t y = static_cast<std::int64_t>(ky) * 64 + i;
        block[i] = y < height ? grid.ink_row(static_cast<std::int32_t>(y))[kx] : 0;
        any |= block[i];
      }
      if (any == 0) continue;
      bits::transpose64(block);
      for (int j = 0; j < 64; ++j) {
        const std::int64_t x = static_cast<std::int64_t>(kx) * 64 + j;
        if (x < from || x > to || block[j] == 0) continue;
        columns.row(static_cast<std::int32_t>(x - from))[ky] = block[j];
        inked[static_cast<std::size_t>(x - from) / 64] = true;
      }
    }
  }
  return columns;
}

// Columns transposed at a time: a band of about this many bytes (at least 64
// columns), so that a sheet far wider than it is high (a word per column however
// few its rows) never holds all its columns as rows at once.
constexpr std::size_t kColumnBandBytes = std::size_t{16} << 20;

// The straight runs of one line of a plane (`here`, with the lines on either side),
// in scan order, as (first, last) positions along the line; runs of one cell are
// not reported. Returns false as soon as `emit` does.
template <class Emit>
bool straight_runs(const Word* below, const Word* here, const Word* above, std::size_t n, Emit&& emit) {
  Word previous_end = 0;
  std::int64_t open = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = here[k];
    if (c == 0) {
      previous_end = 0;
      continue;
    }
    const Word next = right_of(here, k, n);
    const Word solid = below[k] & right_of(below, k, n) & next & right_of(above, k, n) & above[k];
    const Word end = c & (~next | solid);
    const Word start = c & (~left_of(here, k) | (end << 1) | (previous_end >> 63));
    previous_end = end;
    for (Word todo = start | end; todo != 0; todo &= todo - 1) {
      const int b = std::countr_zero(todo);
      const std::int64_t x = static_cast<std::int64_t>(k) * 64 + b;
      if ((start >> b) & 1) open = x;
      if (((end >> b) & 1) && open != x) {
        if (!emit(static_cast<std::int32_t>(open), static_cast<std::int32_t>(x))) return false;
      }
    }
  }
  return true;
}

struct DiagonalRun {
  // x - y + height of a rising run, x + y of a falling one: below width + height,
  // which is below 2^32 for grids of 31-bit dimensions.
  std::uint32_t key;
  std::int32_t first;  // x of the run's first position
  std::int32_t last;   // x of its last position (the segment ends one cell further)
};

// The four diagonal members, each the diagonals on one side of a corner diagonal.
enum class DiagonalMember {
  FromBottom,   // rising, x >= y
  FromTop,      // falling, x + y >= height - 1
  RisingLeft,   // rising, x <= y
  FallingLeft,  // falling, x + y <= height - 1
};

// Runs of clean diagonal steps of one member, grouped by diagonal, each diagonal's
// runs in order of x. A clean step at (x, y) joins it to (x + 1, y ± 1) with both
// cells off the diagonal background. Built for one member at a time, so that at
// most one member's runs are held while the segments pile up.
class DiagonalRuns {
 public:
  DiagonalRuns(const PixelGrid& grid, DiagonalMember member)
      : rising_(member == DiagonalMember::FromBottom || member == DiagonalMember::RisingLeft),
        key_base_(grid.height()) {
    const std::int32_t width = grid.width(), height = grid.height();
    GridRows ink(grid);
    const std::size_t n = ink.words();
    // The member's cells of row y: from x = lo to x = hi.
    const auto span_of = [&](std::int32_t y) -> std::pair<std::int64_t, std::int64_t> {
      switch (member) {
        case DiagonalMember::FromBottom:
          return {y, width - 1};
        case DiagonalMember::RisingLeft:
          return {0, y};
        case DiagonalMember::FromTop:
          return {std::int64_t{height} - 1 - y, width - 1};
        case DiagonalMember::FallingLeft:
          break;
      }
      return {0, std::int64_t{height} - 1 - y};
    };
    // Rows of step masks for y - 1, y, y + 1, in scan order: words `from` to `to`
    // (excluded) hold the member's cells of the row, every other word is zero.
    struct StepRow {
      Word* words;
      std::size_t from = 0, to = 0;
    };
    std::vector<Word> rows(3 * n, 0);
    auto steps_of = [&](std::int32_t y, StepRow& out) {
      std::fill(out.words + out.from, out.words + out.to, 0);
      out.from = out.to = 0;
      if (y < 1 || y > height - 2) return;
      const auto [lo, hi] = span_of(y);
      if (lo > hi || lo >= width || hi < 0) return;
      const Word* c = ink.ink_row(y);
      const Word* toward = ink.ink_row(rising_ ? y + 1 : y - 1);
      out.from = static_cast<std::size_t>(std::max<std::int64_t>(lo, 0) / 64);
      out.to = static_cast<std::size_t>(std::min<std::int64_t>(hi, width - 1) / 64) + 1;
      for (std::size_t k = out.from; k < out.to; ++k) {
        if (c[k] == 0) continue;
        Word w = c[k] & right_of(toward, k, n) & ~right_of(c, k, n) & ~toward[k];
        const auto word_x = static_cast<std::int64_t>(k) * 64;
        if (lo > word_x) w &= ~Word{0} << (lo - word_x);
        if (hi < word_x + 63) w &= ~Word{0} >> (word_x + 63 - hi);
        out.words[k] = w;
      }
    };
    // Rising diagonals are followed upwards and falling ones downwards, so that
    // along every diagonal the positions come in order of x.
    const std::int32_t first = rising_ ? 1 : height - 2;
    const std::int32_t step = rising_ ? 1 : -1;
    StepRow behind{rows.data()}, here{rows.data() + n}, ahead{rows.data() + 2 * n};
    steps_of(first - step, behind);
    steps_of(first, here);
    // Where each open run began, in order of x. A run open after one row goes on
    // in the next one cell further right, so the steps of a row that are not
    // starts meet the runs open before it one for one and in the same order: the
    // list costs a few bytes per step of one row, however many columns or
    // diagonals the sheet has.
    std::vector<std::int32_t> open, still_open;
    for (std::int32_t y = first; y >= 1 && y <= height - 2; y += step) {
      steps_of(y + step, ahead);
      std::size_t next_open = 0;
      for (std::size_t k = here.from; k < here.to; ++k) {
        const Word s = here.words[k];
        if (s == 0) continue;
        const Word start = s & ~left_of(behind.words, k);
        const Word end = s & ~right_of(ahead.words, k, n);
        for (Word todo = s; todo != 0; todo &= todo - 1) {
          const int b = std::countr_zero(todo);
          const auto x = static_cast<std::int32_t>(k * 64 + static_cast<std::size_t>(b));
          const std::int32_t begun = ((start >> b) & 1) != 0 ? x : open[next_open++];
          if ((end >> b) & 1)
            runs_.push_back({static_cast<std::uint32_t>(key_of(x, y)), begun, x});
          else
            still_open.push_back(begun);
        }
      }
      open.swap(still_open);
      still_open.clear();
      std::swap(behind, here);
      std::swap(here, ahead);
    }
    // Group by diagonal, keeping the order of x within each; only diagonals with
    // runs take room.
    std::stable_sort(runs_.begin(), runs_.end(),
                     [](const DiagonalRun& a, const DiagonalRun& b) { return a.key < b.key; });
  }

  std::int64_t key_at(std::int32_t x, std::int32_t y) const { return key_of(x, y); }

  // Calls visit(key) once for every diagonal that holds runs, in order.
  template <class Visit>
  void for_each_key(Visit&& visit) const {
    for (std::size_t i = 0; i < runs_.size(); ++i)
      if (i == 0 || runs_[i].key != runs_[i - 1].key) visit(std::int64_t{runs_[i].key});
  }

  // Adds the runs of the diagonal through (x, y) to `lines`; false when a record
  // could not be stored.
  bool add_diagonal(std::int32_t x, std::int32_t y, LineData& lines) const {
    const std::int64_t key = key_of(x, y);
    const auto first =
        std::partition_point(runs_.begin(), runs_.end(), [key](const DiagonalRun& run) { return run.key < key; });
    for (auto at = first; at != runs_.end() && at->key == key; ++at) {
      const DiagonalRun& run = *at;
      const std::int32_t y1 = y_on(run.first, key);
      const std::int32_t y2 = y_on(run.last, key) + (rising_ ? 1 : -1);
      if (!lines.add(run.first, y1, run.last + 1, y2)) return false;
    }
    return true;
  }

 private:
  std::int64_t key_of(std::int64_t x, std::int64_t y) const { return rising_ ? x - y + key_base_ : x + y; }
  std::int32_t y_on(std::int64_t x, std::int64_t key) const {
    return static_cast<std::int32_t>(rising_ ? x - (key - key_base_) : key - x);
  }

  bool rising_;
  std::int64_t key_base_;
  std::vector<DiagonalRun> runs_;  // in order of key, each key's in order of x
};

// A view of the grid's stored ink rows with the interface of Plane.
struct InkRows {
  const PixelGrid& grid;
  const Word* row(std::int32_t r) const { return grid.ink_row(r); }
  std::size_t words() const { return grid.words_per_row(); }
};

// The same of a grid stored on its side, whose rows come transposed.
struct UprightInkRows {
  mutable GridRows rows;
  const Word* row(std::int32_t r) const { return rows.ink_row(r); }
  std::size_t words() const { return rows.words(); }
};

// RV_X and RV_Y: lines `first_line` to `last_line`, each a line's runs, then the stop test,
// then the count. False once the phase has stopped.
template <class Rows, class Record>
bool trace_straight_rows(const Rows& plane, std::int32_t first_line, std::int32_t last_line, PhaseMeter& meter,
                         Record&& record) {
  for (std::int32_t line = first_line; line <= last_line; ++line) {
    const bool stored = straight_runs(plane.row(line - 1), plane.row(line), plane.row(line + 1), plane.words(),
                                      [&](std::int32_t first, std::int32_t last) { return record(line, first, last); });
    if (!stored) meter.out_of_memory();
    if (meter.stopped()) return false;
    meter.unit_done();
  }
  return true;
}

void RV_X(const PixelGrid& grid, LineData& lines, PhaseMeter& meter) {
  const auto record = [&](std::int32_t y, std::int32_t x1, std::int32_t x2) { return lines.add(x1, y, x2, y); };
  if (grid.on_its_side())
    trace_straight_rows(UprightInkRows{GridRows(grid)}, 1, grid.height() - 2, meter, record);
  else
    trace_straight_rows(InkRows{grid}, 1, grid.height() - 2, meter, record);
}

void RV_Y(const PixelGrid& grid, LineData& lines, PhaseMeter& meter) {
  if (grid.on_its_side()) {
    // The stored rows are the columns already.
    trace_straight_rows(InkRows{grid}, 1, grid.width() - 2, meter,
                        [&](std::int32_t x, std::int32_t y1, std::int32_t y2) { return lines.add(x, y1, x, y2); });
    return;
  }
  const std::size_t column_bytes = (static_cast<std::size_t>(grid.height()) + 63) / 64 * sizeof(Word);
  const auto band = static_cast<std::int32_t>(
      std::clamp<std::size_t>(kColumnBandBytes / column_bytes / 64 * 64, 64, std::size_t{1} << 30));
  const std::int32_t last_line = grid.width() - 2;
  for (std::int32_t first = 1; first <= last_line; first += std::min(band, last_line - first + 1)) {
    const std::int32_t last = first + std::min(band, last_line - first + 1) - 1;
    // The band's columns and one on either side: plane row r is column first - 1 + r.
    std::vector<bool> inked;
    const Plane columns = transpose_ink(grid, first - 1, last + 1, inked);
    const auto blank = [&](std::int64_t r) { return r < 0 || !inked[static_cast<std::size_t>(r) / 64]; };
    for (std::int32_t x = first; x <= last;) {
      const std::int64_t r = x - (first - 1);
      if (blank(r - 1) && blank(r) && blank(r + 1)) {
        // No ink beside these columns: no runs, only the count, up to the next group's edge.
        const auto next = static_cast<std::int32_t>(
            std::min<std::int64_t>(last + 1, std::max<std::int64_t>(x + 1, first - 1 + (r + 1) / 64 * 64 + 63)));
        if (!meter.units_done(next - x)) return;
        x = next;
        continue;
      }
      const bool stored =
          straight_runs(columns.row(static_cast<std::int32_t>(r - 1)), columns.row(static_cast<std::int32_t>(r)),
                        columns.row(static_cast<std::int32_t>(r + 1)), columns.words(),
                        [&](std::int32_t y1, std::int32_t y2) { return lines.add(x, y1, x, y2); });
      if (!stored) meter.out_of_memory();
      if (meter.stopped()) return;
      meter.unit_done();
      ++x;
    }
  }
}

// One diagonal member: `lines_count` lines, line s starting at start(s). Only the
// lines whose diagonal holds runs are visited; the others, all of them on a blank
// sheet billions of cells wide, are counted in one go.
template <class Start>
void trace_diagonals(const DiagonalRuns& runs, std::int32_t lines_count, LineData& lines, PhaseMeter& meter,
                     Start&& start) {
  // A member's lines follow its diagonals one by one, up or down.
  const auto [x1, y1] = start(1);
  const auto [x2, y2] = start(2);
  const std::int64_t key1 = runs.key_at(x1, y1), step = runs.key_at(x2, y2) - key1;
  std::vector<std::int32_t> busy;
  runs.for_each_key([&](std::int64_t key) {
    const std::int64_t s = 1 + (key - key1) * step;
    if (s >= 1 && s <= lines_count) busy.push_back(static_cast<std::int32_t>(s));
  });
  std::sort(busy.begin(), busy.end());
  std::int32_t counted = 0;
  for (const std::int32_t s : busy) {
    if (s - 1 > counted && !meter.units_done(s - 1 - counted)) return;
    const auto [x, y] = start(s);
    if (!runs.add_diagonal(x, y, lines)) meter.out_of_memory();
    counted = s;
    // The unit is counted even after a failed store: the user may still abort here.
    if (!meter.unit_done()) return;
  }
  if (lines_count > counted) meter.units_done(lines_count - counted);
}

}  // namespace

std::int64_t tracing_work_total(std::int32_t grid_width, std::int32_t grid_height) {
  return 3 * (std::int64_t{grid_width} - 2) + 3 * (std::int64_t{grid_height} - 2);
}

PhaseStatus run_tracing(const PixelGrid& grid, LineData& lines, Progress& progress) {
  const std::int32_t width = grid.width(), height = grid.height();
  PhaseMeter meter(progress, Phase::Trace, tracing_work_total(width, height));
  RV_X(grid, lines, meter);
  if (!meter.stopped()) RV_Y(grid, lines, meter);
  if (meter.stopped()) return meter.status();
  using Point = std::pair<std::int32_t, std::int32_t>;
  // RV_NX1, RV_NX2, RV_NY1, RV_NY2, each member's runs gone before the next's are found.
  const auto member = [&](DiagonalMember which, std::int32_t lines_count, auto start) {
    if (meter.stopped()) return;
    const DiagonalRuns runs(grid, which);
    trace_diagonals(runs, lines_count, lines, meter, start);
  };
  member(DiagonalMember::FromBottom, width - 2, [](std::int32_t s) { return Point{s, 1}; });
  member(DiagonalMember::FromTop, width - 2, [&](std::int32_t s) { return Point{s, height - 2}; });
  member(DiagonalMember::RisingLeft, height - 2, [](std::int32_t s) { return Point{1, s}; });
  member(DiagonalMember::FallingLeft, height - 2, [](std::int32_t s) { return Point{1, s}; });
  return meter.status();
}

}  // namespace vp
