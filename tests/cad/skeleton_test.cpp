// The skeleton walk against a literal one: a byte per cell, every neighbour
// looked up, every pixel stepped over, on many generated drawings; and a blot's
// outline.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>
#include <vector>

#include "cad/skeleton.h"
#include "raster/thinning.h"
#include "testkit/splitmix.h"
#include "testkit/synthetic_drawing.h"

namespace vp::cad {
namespace {

constexpr std::array<int, 8> kDx = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kDy = {0, 1, 1, 1, 0, -1, -1, -1};

struct Walked {
  std::vector<Chain> chains;
  std::vector<SkeletonNode> nodes;
};

Walked literal_walk(const PixelGrid& grid) {
  const std::int32_t w = grid.width(), h = grid.height();
  std::vector<std::uint8_t> ink(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const auto at = [&](std::int32_t x, std::int32_t y) -> std::uint8_t& {
    return ink[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
  };
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) at(x, y) = grid.at(x, y) != 0;
  const auto mask = [&](std::int32_t x, std::int32_t y) {
    std::uint8_t m = 0;
    for (int k = 0; k < 8; ++k)
      if (at(x + kDx[static_cast<std::size_t>(k)], y + kDy[static_cast<std::size_t>(k)]))
        m |= static_cast<std::uint8_t>(1 << k);
    return m;
  };
  const auto count = [](std::uint8_t m) { return __builtin_popcount(m); };
  for (std::int32_t y = 1; y + 1 < h; ++y)
    for (std::int32_t x = 1; x + 1 < w; ++x)
      if (at(x, y) && (count(mask(x, y)) == 2 || count(mask(x, y)) == 3) && connectivity_number(mask(x, y)) == 1)
        at(x, y) = 0;
  // Nodes: other than two neighbours; numbered as flooding them in raster order finds them.
  std::vector<std::int32_t> node(ink.size(), -1);
  const auto node_of = [&](std::int32_t x, std::int32_t y) -> std::int32_t& {
    return node[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
  };
  std::vector<bool> is_node(ink.size());
  for (std::int32_t y = 1; y + 1 < h; ++y)
    for (std::int32_t x = 1; x + 1 < w; ++x)
      is_node[static_cast<std::size_t>(y * w + x)] = at(x, y) && count(mask(x, y)) != 2;
  Walked out;
  for (std::int32_t y = 1; y + 1 < h; ++y)
    for (std::int32_t x = 1; x + 1 < w; ++x) {
      if (!is_node[static_cast<std::size_t>(y * w + x)] || node_of(x, y) >= 0) continue;
      const auto id = static_cast<std::int32_t>(out.nodes.size());
      out.nodes.push_back({});
      std::vector<Pixel> todo{{x, y}};
      node_of(x, y) = id;
      while (!todo.empty()) {
        const Pixel p = todo.back();
        todo.pop_back();
        for (int k = 0; k < 8; ++k) {
          const Pixel q{p.x + kDx[static_cast<std::size_t>(k)], p.y + kDy[static_cast<std::size_t>(k)]};
          if (is_node[static_cast<std::size_t>(q.y * w + q.x)] && node_of(q.x, q.y) < 0) {
            node_of(q.x, q.y) = id;
            todo.push_back(q);
          }
        }
      }
    }
  // Chains from each node pixel in raster order, then loops.
  for (std::int32_t y = 1; y + 1 < h; ++y)
    for (std::int32_t x = 1; x + 1 < w; ++x) {
      if (!is_node[static_cast<std::size_t>(y * w + x)]) continue;
      for (int k = 0; k < 8; ++k) {
        Pixel cur{x + kDx[static_cast<std::size_t>(k)], y + kDy[static_cast<std::size_t>(k)]};
        if (!at(cur.x, cur.y) || is_node[static_cast<std::size_t>(cur.y * w + cur.x)]) continue;
        Chain c;
        c.pixels = {{x, y}, cur};
        c.start_node = node_of(x, y);
        at(cur.x, cur.y) = 0;
        for (;;) {
          Pixel next{-1, -1};
          for (int d = 0; d < 8 && next.x < 0; ++d) {
            const Pixel q{cur.x + kDx[static_cast<std::size_t>(d)], cur.y + kDy[static_cast<std::size_t>(d)]};
            if (at(q.x, q.y) && is_node[static_cast<std::size_t>(q.y * w + q.x)] &&
                !(c.pixels.size() == 2 && q == c.pixels[0]))
              next = q;
          }
          if (next.x >= 0) {
            c.pixels.push_back(next);
            c.end_node = node_of(next.x, next.y);
            break;
          }
          for (int d = 0; d < 8 && next.x < 0; ++d) {
            const Pixel q{cur.x + kDx[static_cast<std::size_t>(d)], cur.y + kDy[static_cast<std::size_t>(d)]};
            if (at(q.x, q.y) && !is_node[static_cast<std::size_t>(q.y * w + q.x)]) next = q;
          }
          if (next.x < 0) {
            c.pixels.push_back(c.pixels[0]);
            c.end_node = c.start_node;
            break;
          }
          at(next.x, next.y) = 0;
          c.pixels.push_back(cur = next);
        }
        out.chains.push_back(std::move(c));
      }
    }
  for (std::int32_t y = 1; y + 1 < h; ++y)
    for (std::int32_t x = 1; x + 1 < w; ++x) {
      if (!at(x, y) || is_node[static_cast<std::size_t>(y * w + x)]) continue;
      Chain c;
      Pixel cur{x, y};
      c.pixels = {cur};
      at(x, y) = 0;
      for (;;) {
        int d = 0;
        while (d < 8 && !at(cur.x + kDx[static_cast<std::size_t>(d)], cur.y + kDy[static_cast<std::size_t>(d)])) ++d;
        if (d == 8) break;
        cur = {cur.x + kDx[static_cast<std::size_t>(d)], cur.y + kDy[static_cast<std::size_t>(d)]};
        at(cur.x, cur.y) = 0;
        c.pixels.push_back(cur);
      }
      if (c.pixels.size() >= 3) out.chains.push_back(std::move(c));
    }
  return out;
}

TEST(SkeletonWalk, TakesTheSameChainsAsTheLiteralWalk) {
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    DrawingOptions options;
    options.min_thickness = 1;
    options.max_thickness = 1 + static_cast<int>(seed % 5);
    options.coverage = 0.03 + 0.01 * (seed % 4);
    const InkImage image = generate_drawing(300 + 17 * static_cast<std::int32_t>(seed),
                                            200 + 13 * static_cast<std::int32_t>(seed), seed, options);
    PixelGrid grid;
    grid.reset(image.width, image.height);
    for (std::int32_t r = 0; r < image.height; ++r) grid.set_image_row(r, image.row(r));
    NoProgress quiet;
    run_thinning(grid, 1 + static_cast<std::int32_t>(seed % 3), quiet);
    const Walked literal = literal_walk(grid);
    Walked fast;
    walk_skeleton(
        grid, fast.nodes, [](std::int64_t) {},
        [&](Chain& c) {
          fast.chains.push_back(c);
          return true;
        },
        quiet, 0, 1);
    ASSERT_EQ(fast.nodes.size(), literal.nodes.size()) << "seed " << seed;
    // Blots' outlines come last; the literal walk has none.
    ASSERT_GE(fast.chains.size(), literal.chains.size()) << "seed " << seed;
    for (std::size_t i = literal.chains.size(); i < fast.chains.size(); ++i) EXPECT_TRUE(fast.chains[i].closed());
    for (std::size_t i = 0; i < literal.chains.size(); ++i) {
      EXPECT_EQ(fast.chains[i].pixels, literal.chains[i].pixels) << "seed " << seed << " chain " << i;
      EXPECT_EQ(fast.chains[i].start_node, literal.chains[i].start_node);
      EXPECT_EQ(fast.chains[i].end_node, literal.chains[i].end_node);
    }
  }
}

std::vector<Chain> walk_image(const InkImage& image) {
  PixelGrid grid;
  grid.reset(image.width, image.height);
  for (std::int32_t r = 0; r < image.height; ++r) grid.set_image_row(r, image.row(r));
  std::vector<SkeletonNode> nodes;
  std::vector<Chain> chains;
  NoProgress quiet;
  walk_skeleton(
      grid, nodes, [](std::int64_t) {},
      [&](Chain& c) {
        chains.push_back(c);
        return true;
      },
      quiet, 0, 1);
  return chains;
}

TEST(SkeletonWalk, BlotsAreOutlinedOnceRound) {
  // Rough blots of two or three overlapping discs: each outline goes round once,
  // cell to neighbouring cell, passing a cell twice at most (out along a spike
  // and back).
  SplitMix64 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    InkImage image(80, 80);
    for (int d = 0; d < 2 + trial % 2; ++d) {
      const double cx = rng.range(25, 55), cy = rng.range(25, 55), r = rng.range(5, 14);
      for (std::int32_t y = 0; y < 80; ++y)
        for (std::int32_t x = 0; x < 80; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) image.set(x, y);
    }
    // A rough edge, as a scan's blot has: cells flipped at random round it.
    for (int k = 0; k < 300; ++k) image.set(rng.integer(10, 70), rng.integer(10, 70), rng.chance(0.5));
    for (const Chain& c : walk_image(image)) {
      if (!c.closed()) continue;  // the specks' own strokes
      std::map<std::pair<std::int32_t, std::int32_t>, int> passes;
      for (std::size_t i = 0; i < c.pixels.size(); ++i) {
        const Pixel a = c.pixels[i], b = c.pixels[(i + 1) % c.pixels.size()];
        EXPECT_TRUE(std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1) << trial;
        EXPECT_LE(++passes[std::make_pair(a.x, a.y)], 2) << "trial " << trial;
      }
    }
  }
}

TEST(SkeletonWalk, ABlotIsOutlined) {
  // A filled 20 × 12 block: one node; its outline runs round it once.
  InkImage image(40, 30);
  for (std::int32_t r = 10; r < 22; ++r) image.fill_span(r, 10, 29);
  const std::vector<Chain> chains = walk_image(image);
  ASSERT_EQ(chains.size(), 1u);
  EXPECT_TRUE(chains[0].closed());
  // Its border cells, less the four corner cells the 8-thinning takes off.
  EXPECT_EQ(chains[0].pixels.size(), 2u * (20 + 12) - 4 - 4);
}

}  // namespace
}  // namespace vp::cad
