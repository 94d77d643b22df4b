#include "support/special_tables.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "core/conversion_settings.h"
#include "core/progress_display.h"
#include "raster/pixel_grid.h"
#include "raster/thinning.h"
#include "support/reference_special.h"
#include "support/special_recorder.h"
#include "testkit/splitmix.h"
#include "testkit/synthetic_drawing.h"
#include "vector/junctions.h"
#include "vector/line_merger.h"
#include "vector/run_tracer.h"

namespace vp::testing {
namespace {

using Rng = SplitMix64;

using Records = std::vector<LineRecord>;

GridPoint operator+(GridPoint a, GridPoint b) { return {a.x + b.x, a.y + b.y}; }
GridPoint scaled(GridPoint a, std::int32_t k) { return {a.x * k, a.y * k}; }

void add(Records& out, GridPoint a, GridPoint b) { out.push_back(LineRecord{a.x, a.y, b.x, b.y}); }
void add_either_way(Rng& rng, Records& out, GridPoint a, GridPoint b) {
  if (rng.chance(0.5)) std::swap(a, b);
  add(out, a, b);
}

void shuffle(Rng& rng, Records& records) {
  for (std::size_t i = records.size(); i > 1; --i)
    std::swap(records[i - 1], records[static_cast<std::size_t>(rng.integer(0, static_cast<std::int32_t>(i) - 1))]);
}

float pick_tolerance(Rng& rng) {
  static const std::vector<std::int32_t> tenths = {1, 3, 5, 7, 10, 14, 15, 20, 20, 20, 21, 25, 30, 40, 50, 100};
  return tenths_to_real(rng.pick(tenths));
}

GridPoint lattice_point(Rng& rng, std::int32_t w, std::int32_t h) { return {rng.integer(0, w), rng.integer(0, h)}; }

Records random_lattice(Rng& rng, std::int32_t max_records) {
  const std::int32_t w = rng.integer(1, 9), h = rng.integer(1, 9);
  Records out;
  const std::int32_t s = rng.integer(0, max_records);
  for (std::int32_t i = 0; i < s; ++i) {
    const GridPoint a = lattice_point(rng, w, h);
    add(out, a, rng.chance(0.1) ? a : lattice_point(rng, w, h));
  }
  return out;
}

// Copies of records (as they are or turned round) and zero-length records at their ends.
void add_duplicates(Rng& rng, Records& records) {
  if (records.empty()) return;
  const std::int32_t extra = rng.integer(1, 6);
  for (std::int32_t i = 0; i < extra; ++i) {
    const LineRecord r =
        records[static_cast<std::size_t>(rng.integer(0, static_cast<std::int32_t>(records.size()) - 1))];
    LineRecord copy = r;
    switch (rng.integer(0, 3)) {
      case 0:
      case 1:
        break;
      case 2:
        copy = LineRecord{r.x2, r.y2, r.x1, r.y1};
        break;
      default:
        copy = rng.chance(0.5) ? LineRecord{r.x1, r.y1, r.x1, r.y1} : LineRecord{r.x2, r.y2, r.x2, r.y2};
        break;
    }
    const auto at = static_cast<std::ptrdiff_t>(rng.integer(0, static_cast<std::int32_t>(records.size())));
    records.insert(records.begin() + at, copy);
  }
}

void add_ring(Rng& rng, Records& out, GridPoint centre) {
  // Vertices on a circle, rounded to the lattice; consecutive repeats dropped.
  const std::int32_t m = rng.integer(3, 14);
  const double radius = rng.integer(1, 9);
  const double turn = rng.integer(0, 359) * 3.14159265358979 / 180;
  std::vector<GridPoint> ring;
  for (std::int32_t i = 0; i < m; ++i) {
    const double angle = turn + 2 * 3.14159265358979 * i / m;
    const GridPoint p = centre + GridPoint{static_cast<std::int32_t>(std::lround(radius * std::cos(angle))),
                                           static_cast<std::int32_t>(std::lround(radius * std::sin(angle)))};
    if (ring.empty() || !(ring.back() == p)) ring.push_back(p);
  }
  while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
  if (ring.size() < 2) return;
  const bool one_way = rng.chance(0.5);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const GridPoint a = ring[i], b = ring[(i + 1) % ring.size()];
    if (one_way)
      add(out, a, b);
    else
      add_either_way(rng, out, a, b);
  }
  if (rng.chance(0.4)) {  // a branch off the ring
    const GridPoint from = rng.pick(ring);
    add_either_way(rng, out, from, from + GridPoint{rng.integer(-4, 4), rng.integer(-4, 4)});
  }
}

void add_star(Rng& rng, Records& out, GridPoint centre) {
  const std::int32_t spokes = rng.integer(1, 14);
  for (std::int32_t i = 0; i < spokes; ++i)
    add_either_way(rng, out, centre, centre + GridPoint{rng.integer(-5, 5), rng.integer(-5, 5)});
}

const std::vector<GridPoint>& directions() {
  static const std::vector<GridPoint> d = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {2, 1},  {1, 2}, {3, 4},
                                           {4, 3}, {3, 1}, {5, 2}, {1, 3},  {-1, 2}, {7, 1}, {1, -5}};
  return d;
}

void add_collinear_chain(Rng& rng, Records& out, GridPoint origin) {
  const GridPoint dir = scaled(rng.pick(directions()), rng.integer(1, 3));
  const std::int32_t k = rng.integer(2, 120);
  const bool jitter = rng.chance(0.4);
  std::vector<GridPoint> points;
  for (std::int32_t i = 0; i <= k; ++i) {
    GridPoint p = origin + scaled(dir, i);
    if (jitter && i > 0 && i < k && rng.chance(0.2)) p = p + GridPoint{rng.integer(-1, 1), rng.integer(-1, 1)};
    points.push_back(p);
  }
  Records chain;
  const bool one_way = rng.chance(0.6);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    if (one_way)
      add(chain, points[i], points[i + 1]);
    else
      add_either_way(rng, chain, points[i], points[i + 1]);
  }
  switch (rng.integer(0, 2)) {
    case 0:
      break;
    case 1:
      std::reverse(chain.begin(), chain.end());
      break;
    default:
      shuffle(rng, chain);
      break;
  }
  out.insert(out.end(), chain.begin(), chain.end());
}

// A digital line as run tracing records it: the horizontal runs of two or more
// cells, then the diagonal runs linking them; turned and mirrored at random.
void add_staircase(Rng& rng, Records& out, GridPoint origin) {
  const std::int32_t pieces = rng.chance(0.3) ? rng.integer(2, 4) : 1;
  Records horizontal, diagonal;
  GridPoint start{0, 0};
  const bool transpose = rng.chance(0.5), mirror = rng.chance(0.5), bent_chain = rng.chance(0.2);
  for (std::int32_t piece = 0; piece < pieces; ++piece) {
    const std::int32_t q = rng.integer(2, 12), p = rng.integer(1, q - 1), length = rng.integer(3, 150);
    std::vector<GridPoint> cells;
    for (std::int32_t x = 0; x <= length; ++x) {
      std::int32_t y = (2 * x * p + q) / (2 * q);
      if (bent_chain && x > length / 2) y += (x - length / 2) / 3;
      cells.push_back(start + GridPoint{x, y});
    }
    start = cells.back();
    for (std::size_t i = 0; i < cells.size();) {
      std::size_t j = i;
      while (j + 1 < cells.size() && cells[j + 1].y == cells[i].y) ++j;
      if (j > i) add(horizontal, cells[i], cells[j]);
      i = j + 1;
    }
    for (std::size_t i = 0; i + 1 < cells.size();) {
      if (cells[i + 1].x == cells[i].x + 1 && cells[i + 1].y == cells[i].y + 1) {
        std::size_t j = i + 1;
        while (j + 1 < cells.size() && cells[j + 1].x == cells[j].x + 1 && cells[j + 1].y == cells[j].y + 1) ++j;
        add(diagonal, cells[i], cells[j]);
        i = j;
      } else {
        ++i;
      }
    }
  }
  Records all = horizontal;
  all.insert(all.end(), diagonal.begin(), diagonal.end());
  for (LineRecord& r : all) {
    if (transpose) r = LineRecord{r.y1, r.x1, r.y2, r.x2};
    if (mirror) r = LineRecord{-r.x1, r.y1, -r.x2, r.y2};
    r = LineRecord{r.x1 + origin.x, r.y1 + origin.y, r.x2 + origin.x, r.y2 + origin.y};
  }
  if (rng.chance(0.2)) shuffle(rng, all);
  out.insert(out.end(), all.begin(), all.end());
}

// Chains whose inner points lie exactly at, just inside or just beyond a distance
// that is also the tolerance: axis-parallel lines with whole-cell offsets, and
// lines along Pythagorean directions, where lattice points lie at distances that are
// multiples of 1/5, 1/13 or 1/17 of a cell.
void add_boundary_chain(Rng& rng, Records& out, GridPoint origin, float& tolerance) {
  struct Direction {
    GridPoint along;
    std::vector<std::pair<GridPoint, std::int32_t>> offsets;  // offset, tenths of its distance when exact
  };
  static const std::vector<Direction> dirs = {
      {{1, 0}, {{{0, 1}, 10}, {{0, 2}, 20}, {{0, -2}, 20}, {{0, 3}, 30}, {{0, 1}, 10}}},
      {{0, 1}, {{{1, 0}, 10}, {{2, 0}, 20}, {{-2, 0}, 20}, {{-3, 0}, 30}}},
      {{3, 4}, {{{1, -2}, 20}, {{-1, 2}, 20}, {{2, -1}, 22}, {{1, -1}, 14}, {{0, -1}, 6}, {{4, -3}, 50}}},
      {{4, 3}, {{{-2, 1}, 20}, {{2, -1}, 20}, {{-1, 2}, 22}, {{-1, 1}, 14}, {{-1, 0}, 6}}},
      {{8, 6}, {{{-2, 1}, 20}, {{2, -1}, 20}, {{-1, 1}, 14}}},
  };
  const Direction& dir = rng.pick(dirs);
  const auto& [offset, distance_tenths] = rng.pick(dir.offsets);
  // The tolerance is the offset's distance, or a tenth on either side of it.
  tolerance = tenths_to_real(std::max(1, distance_tenths + rng.integer(-1, 1) * (rng.chance(0.5) ? 1 : 0)));
  const std::int32_t k = rng.integer(3, 40);
  std::vector<GridPoint> points;
  for (std::int32_t i = 0; i <= k; ++i) {
    GridPoint p = origin + scaled(dir.along, i);
    if (i > 0 && i < k && rng.chance(0.35)) p = p + (rng.chance(0.8) ? offset : scaled(offset, 2));
    points.push_back(p);
  }
  for (std::size_t i = 0; i + 1 < points.size(); ++i) add(out, points[i], points[i + 1]);
}

Records traced_drawing(Rng& rng, std::uint64_t seed) {
  DrawingOptions options;
  options.min_thickness = 1;
  options.max_thickness = rng.integer(1, 4);
  options.coverage = 0.03 + 0.01 * rng.integer(0, 10);
  const std::int32_t w = rng.integer(30, 100), h = rng.integer(24, 70);
  const InkImage image = generate_drawing(w, h, static_cast<std::uint32_t>(seed), options);
  PixelGrid grid;
  if (!grid.reset(w, h)) return {};
  for (std::int32_t r = 0; r < h; ++r) grid.set_image_row(r, image.row(r));
  NoProgress quiet;
  run_thinning(grid, rng.integer(1, 3), quiet);
  LineData lines;
  if (!lines.reset_storage()) return {};
  run_tracing(grid, lines, quiet);
  const auto held = lines.records();
  return {held.begin(), held.end()};
}

// Moves everything to non-negative coordinates (as grid coordinates are),
// sometimes right against the axes so that (0, 0) can be an end.
void to_first_quadrant(Rng& rng, Records& records) {
  if (records.empty()) return;
  std::int32_t min_x = records[0].x1, min_y = records[0].y1;
  for (const LineRecord& r : records) {
    min_x = std::min({min_x, r.x1, r.x2});
    min_y = std::min({min_y, r.y1, r.y2});
  }
  const std::int32_t dx = -min_x + rng.integer(0, 2), dy = -min_y + rng.integer(0, 2);
  for (LineRecord& r : records) r = LineRecord{r.x1 + dx, r.y1 + dy, r.x2 + dx, r.y2 + dy};
}

}  // namespace

SpecialTable generated_special_table(std::uint64_t n) {
  Rng rng(n * 0x2545F4914F6CDD1Dull + 17);
  SpecialTable table;
  table.tolerance = pick_tolerance(rng);
  Records& records = table.records;
  auto somewhere = [&] { return GridPoint{rng.integer(0, 12), rng.integer(0, 12)}; };
  switch (static_cast<int>(n % kSpecialTableKinds)) {
    case 0:
      table.kind = "random lattice";
      records = random_lattice(rng, 40);
      break;
    case 1:
      table.kind = "duplicated and zero-length records";
      records = random_lattice(rng, 20);
      add_duplicates(rng, records);
      break;
    case 2:
      table.kind = "rings";
      for (std::int32_t i = rng.integer(1, 3); i > 0; --i) add_ring(rng, records, somewhere());
      if (rng.chance(0.3)) add_duplicates(rng, records);
      break;
    case 3:
      table.kind = "stars";
      for (std::int32_t i = rng.integer(1, 2); i > 0; --i) add_star(rng, records, somewhere());
      if (rng.chance(0.5)) {
        Records more = random_lattice(rng, 10);
        records.insert(records.end(), more.begin(), more.end());
      }
      break;
    case 4:
      table.kind = "collinear chains";
      for (std::int32_t i = rng.integer(1, 2); i > 0; --i) add_collinear_chain(rng, records, somewhere());
      break;
    case 5:
      table.kind = "staircases";
      for (std::int32_t i = rng.integer(1, 2); i > 0; --i) add_staircase(rng, records, somewhere());
      break;
    case 6:
      table.kind = "boundary chains";
      add_boundary_chain(rng, records, somewhere(), table.tolerance);
      if (rng.chance(0.3)) add_boundary_chain(rng, records, somewhere(), table.tolerance);
      break;
    case 7: {
      table.kind = "mixture";
      for (std::int32_t i = rng.integer(2, 4); i > 0; --i) {
        switch (rng.integer(0, 4)) {
          case 0:
            add_ring(rng, records, somewhere());
            break;
          case 1:
            add_star(rng, records, somewhere());
            break;
          case 2:
            add_collinear_chain(rng, records, somewhere());
            break;
          case 3:
            add_staircase(rng, records, somewhere());
            break;
          default: {
            Records more = random_lattice(rng, 15);
            records.insert(records.end(), more.begin(), more.end());
          }
        }
      }
      if (rng.chance(0.3)) add_duplicates(rng, records);
      if (rng.chance(0.3)) shuffle(rng, records);
      break;
    }
    default:
      table.kind = "traced drawing";
      records = traced_drawing(rng, n);
      break;
  }
  to_first_quadrant(rng, records);
  return table;
}

namespace {

void fill_shown(SpecialOutcome& out, const SpecialRecorder& host, const ProgressDisplay& display) {
  out.shown = host.log;
  out.bar = host.bar_shown();
  out.outcome = display.outcome();
}

// A check's label around its phase, as the driver shows them.
void checked(ProgressDisplay& display, ProgressLabel check, const std::function<PhaseStatus()>& phase) {
  display.check(check, true);
  display.ended(phase());
  display.check(check, false);
}

}  // namespace

SpecialOutcome run_fast_special(const SpecialTable& table,
                                const std::function<bool(const SpecialRecorder&)>& abort_when) {
  SpecialOutcome out;
  SpecialRecorder host;
  host.abort_when = abort_when;
  ProgressDisplay display(host);
  display.start_special();
  LineData lines, new_lines;
  lines.reset_storage();
  for (const LineRecord& r : table.records) lines.add(r.x1, r.y1, r.x2, r.y2);
  new_lines.reset_storage();
  SpecialState state;
  checked(display, ProgressLabel::EndPointCheck, [&] { return GetTopZahyou(lines, state, display); });
  if (!display.stopped())
    checked(display, ProgressLabel::CrossingCheck, [&] { return GetCrossZahyou(lines, state, display); });
  out.top_points = state.TopPoints;
  out.cross_points = state.CrossPoints;
  if (!display.stopped()) display.ended(GetNewLines(lines, new_lines, state, table.tolerance, display));
  const auto after = lines.records();
  out.table_after_merging.assign(after.begin(), after.end());
  const auto merged = new_lines.records();
  out.new_lines.assign(merged.begin(), merged.end());
  out.new_capacity = new_lines.capacity();
  if (!display.stopped()) DataConvert(lines, new_lines);
  const auto held = lines.records();
  out.table.assign(held.begin(), held.end());
  out.line_capacity = lines.capacity();
  fill_shown(out, host, display);
  return out;
}

// The literal phases count records one more than they hold (LineCount, NewCount).
SpecialOutcome run_literal_special(const SpecialTable& table,
                                   const std::function<bool(const SpecialRecorder&)>& abort_when) {
  SpecialOutcome out;
  SpecialRecorder host;
  host.abort_when = abort_when;
  ProgressDisplay display(host);
  display.start_special();
  reference::LiteralSpecialMode literal(table.records, table.tolerance, display);
  const auto status = [&] { return literal.stopped() ? PhaseStatus::Stopped : PhaseStatus::Finished; };
  checked(display, ProgressLabel::EndPointCheck, [&] {
    literal.GetTopZahyou();
    return status();
  });
  if (!display.stopped()) {
    checked(display, ProgressLabel::CrossingCheck, [&] {
      literal.GetCrossZahyou();
      return status();
    });
  }
  out.top_points = literal.top_points();
  out.cross_points = literal.cross_points();
  if (!display.stopped()) literal.GetNewLines();
  out.table_after_merging = literal.table();
  EXPECT_EQ(literal.line_count() - 1, static_cast<std::int32_t>(out.table_after_merging.size()));
  out.new_lines = literal.new_lines();
  EXPECT_EQ(literal.new_count() - 1, static_cast<std::int32_t>(out.new_lines.size()));
  out.new_capacity = literal.new_capacity();
  if (!display.stopped()) literal.DataConvert();
  out.table = literal.table();
  out.line_capacity = literal.line_capacity();
  fill_shown(out, host, display);
  return out;
}

std::string to_string(const std::vector<LineRecord>& records) {
  std::ostringstream s;
  for (const LineRecord& r : records) s << '(' << r.x1 << ',' << r.y1 << ',' << r.x2 << ',' << r.y2 << ')';
  return s.str();
}

namespace {

std::string points(const std::vector<GridPoint>& list) {
  std::ostringstream s;
  for (const GridPoint& p : list) s << '(' << p.x << ',' << p.y << ')';
  return s.str();
}

template <class T>
std::string joined(const std::vector<T>& items) {
  std::ostringstream s;
  for (const T& item : items) s << item << "; ";
  return s.str();
}

}  // namespace

std::string first_difference(const SpecialOutcome& fast, const SpecialOutcome& literal) {
  auto differ = [](const char* what, const std::string& f, const std::string& l) {
    return std::string(what) + "\n  fast:    " + f + "\n  literal: " + l;
  };
  if (fast.top_points != literal.top_points)
    return differ("TopPoints", points(fast.top_points), points(literal.top_points));
  if (fast.cross_points != literal.cross_points)
    return differ("CrossPoints", points(fast.cross_points), points(literal.cross_points));
  if (fast.new_lines != literal.new_lines)
    return differ("NewLines", to_string(fast.new_lines), to_string(literal.new_lines));
  if (fast.new_capacity != literal.new_capacity)
    return differ("NewCapacity", std::to_string(fast.new_capacity), std::to_string(literal.new_capacity));
  if (fast.table_after_merging != literal.table_after_merging)
    return differ("LineData after merging", to_string(fast.table_after_merging),
                  to_string(literal.table_after_merging));
  if (fast.table != literal.table || fast.line_capacity != literal.line_capacity)
    return differ("LineData after DataConvert", std::to_string(fast.line_capacity) + ": " + to_string(fast.table),
                  std::to_string(literal.line_capacity) + ": " + to_string(literal.table));
  if (fast.outcome != literal.outcome)
    return differ("outcome", std::to_string(static_cast<int>(fast.outcome)),
                  std::to_string(static_cast<int>(literal.outcome)));
  if (fast.shown != literal.shown) return differ("labels", joined(fast.shown), joined(literal.shown));
  if (fast.bar != literal.bar) return differ("bar", joined(fast.bar), joined(literal.bar));
  return {};
}

}  // namespace vp::testing
