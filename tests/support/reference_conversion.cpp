#include "support/reference_conversion.h"

namespace vp::reference {

ByteGrid ByteGrid::from(const PixelGrid& grid) {
  ByteGrid g(grid.width(), grid.height());
  for (std::int32_t x = 0; x < grid.width(); ++x)
    for (std::int32_t y = 0; y < grid.height(); ++y) g.put(x, y, grid.at(x, y));
  return g;
}

namespace {
bool ink(std::uint8_t c) { return c == 1 || c == 2; }
}  // namespace

void SetOKdata(ByteGrid& g) {
  for (std::int32_t x = 1; x <= g.width() - 1; ++x) {
    for (std::int32_t y = 1; y <= g.height() - 1; ++y) {
      if (ink(g.get(x, y)) && ink(g.get(x + 1, y + 1)) && g.get(x, y + 1) == 0 && g.get(x + 1, y) == 0) {
        g.put(x, y, 2);
        g.put(x + 1, y + 1, 2);
      }
      if (ink(g.get(x, y + 1)) && ink(g.get(x + 1, y)) && g.get(x + 1, y + 1) == 0 && g.get(x, y) == 0) {
        g.put(x, y + 1, 2);
        g.put(x + 1, y, 2);
      }
      if (g.get(x, y) == 1 && g.get(x - 1, y + 1) == 0 && g.get(x + 1, y + 1) == 0 && g.get(x - 1, y - 1) == 0 &&
          g.get(x + 1, y - 1) == 0) {
        const std::uint8_t edges[4] = {g.get(x, y + 1), g.get(x - 1, y), g.get(x + 1, y), g.get(x, y - 1)};
        int ones = 0, zeros = 0;
        for (std::uint8_t e : edges) {
          ones += e == 1;
          zeros += e == 0;
        }
        if (ones == 1 && zeros == 3) g.put(x, y, 2);
      }
    }
  }
}

namespace {
// The marking family: in each line, test the triple (a, b, c) and mark b.
void bevel(ByteGrid& g, bool along_x, std::uint8_t a_code, std::uint8_t c_code) {
  const std::int32_t lines = along_x ? g.height() - 1 : g.width() - 1;
  const std::int32_t cells = along_x ? g.width() - 2 : g.height() - 2;
  for (std::int32_t line = 1; line <= lines; ++line) {
    for (std::int32_t i = 1; i <= cells; ++i) {
      auto at = [&](std::int32_t j) { return along_x ? g.get(j, line) : g.get(line, j); };
      if (at(i) == a_code && at(i + 1) == 1 && at(i + 2) == c_code) {
        if (along_x)
          g.put(i + 1, line, 3);
        else
          g.put(line, i + 1, 3);
      }
    }
  }
}
void replace_all(ByteGrid& g, std::uint8_t from, std::uint8_t to) {
  for (std::int32_t y = 0; y < g.height(); ++y)
    for (std::int32_t x = 0; x < g.width(); ++x)
      if (g.get(x, y) == from) g.put(x, y, to);
}
}  // namespace

void SetBevelX1(ByteGrid& g) { bevel(g, true, 0, 1); }
void SetBevelX2(ByteGrid& g) { bevel(g, true, 1, 0); }
void SetBevelY1(ByteGrid& g) { bevel(g, false, 0, 1); }
void SetBevelY2(ByteGrid& g) { bevel(g, false, 1, 0); }
void ClearBevel(ByteGrid& g) { replace_all(g, 3, 0); }
void BlueToBlack(ByteGrid& g) { replace_all(g, 2, 1); }

void thin(ByteGrid& g, int passes) {
  for (int pass = 0; pass < passes; ++pass) {
    SetOKdata(g), SetBevelX1(g), ClearBevel(g);
    SetOKdata(g), SetBevelX2(g), ClearBevel(g);
    SetOKdata(g), SetBevelY1(g), ClearBevel(g);
    SetOKdata(g), SetBevelY2(g), ClearBevel(g);
  }
  BlueToBlack(g);
}

namespace {

// RV_X (along_x) or RV_Y.
void trace_straight(const ByteGrid& g, bool along_x, std::vector<LineRecord>& out) {
  const std::int32_t lines = along_x ? g.height() - 2 : g.width() - 2;
  const std::int32_t cells = along_x ? g.width() - 2 : g.height() - 2;
  for (std::int32_t line = 1; line <= lines; ++line) {
    // (along, across) -> cell
    auto at = [&](std::int32_t i, std::int32_t l) { return along_x ? g.get(i, l) : g.get(l, i); };
    bool open = false;
    std::int32_t start = 0;
    for (std::int32_t i = 1; i <= cells; ++i) {
      if (!open && at(i, line) == 1) {
        open = true;
        start = i;
      }
      if (open) {
        const bool next_background = at(i + 1, line) == 0;
        const bool solid = at(i, line - 1) == 1 && at(i + 1, line - 1) == 1 && at(i + 1, line) == 1 &&
                           at(i + 1, line + 1) == 1 && at(i, line + 1) == 1;
        if (next_background || solid) {
          if (start != i) out.push_back(along_x ? LineRecord{start, line, i, line} : LineRecord{line, start, line, i});
          open = false;
        }
      }
    }
  }
}

// One diagonal member: lines s = 1..count starting at start(s), stepping (+1, dy).
template <class Start>
void trace_diagonal(const ByteGrid& g, std::int32_t count, int dy, Start start, std::vector<LineRecord>& out) {
  for (std::int32_t s = 1; s <= count; ++s) {
    auto [x, y] = start(s);
    bool open = false;
    LineRecord run{};
    while (x + 1 <= g.width() - 2 && (dy > 0 ? y + 1 <= g.height() - 2 : y - 1 >= 1)) {
      const bool clean = g.get(x, y) == 1 && g.get(x + 1, y + dy) == 1 && g.get(x + 1, y) == 0 && g.get(x, y + dy) == 0;
      if (clean) {
        if (!open) {
          open = true;
          run.x1 = x;
          run.y1 = y;
        }
        run.x2 = x + 1;
        run.y2 = y + dy;
      } else if (open) {
        out.push_back(run);
        open = false;
      }
      ++x;
      y += dy;
    }
    if (open) out.push_back(run);
  }
}

}  // namespace

std::vector<LineRecord> trace(const ByteGrid& g) {
  std::vector<LineRecord> out;
  using P = std::pair<std::int32_t, std::int32_t>;
  const std::int32_t w = g.width(), h = g.height();
  trace_straight(g, true, out);
  trace_straight(g, false, out);
  trace_diagonal(
      g, w - 2, +1,
      [](std::int32_t s) {
        return P{s, 1};
      },
      out);
  trace_diagonal(
      g, w - 2, -1,
      [&](std::int32_t s) {
        return P{s, h - 2};
      },
      out);
  trace_diagonal(
      g, h - 2, +1,
      [](std::int32_t s) {
        return P{1, s};
      },
      out);
  trace_diagonal(
      g, h - 2, -1,
      [](std::int32_t s) {
        return P{1, s};
      },
      out);
  return out;
}

}  // namespace vp::reference
