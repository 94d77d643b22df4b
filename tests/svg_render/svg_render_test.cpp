// The SVG writer read by a real consumer: rsvg-convert renders the file to PNG,
// libpng decodes the picture, and the ink must lie where the segments are.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "export/save_file.h"
#include "export/svg_writer.h"
#include "raster/thinning.h"
#include "support/grid_builders.h"
#include "support/written_bytes.h"
#include "testkit/synthetic_drawing.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"
#include "vector/run_tracer.h"

namespace vp {
namespace {

constexpr double kPixelsPerMm = 10;  // rendered at 254 dpi

struct Picture {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  const std::uint8_t* at(std::int32_t x, std::int32_t y) const {
    return &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4];
  }
};

Picture read_png(const std::filesystem::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGBA;
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) return {};
  picture.width = static_cast<std::int32_t>(image.width);
  picture.height = static_cast<std::int32_t>(image.height);
  return picture;
}

class SvgRender : public testing::ScratchFolder {
 protected:
  // Writes the SVG, renders it with rsvg-convert on a transparent background and decodes it.
  // `decimals` and `split` as the DXF choices give them.
  Picture render(std::string_view rate, std::span<const LineRecord> records, int decimals, bool split) {
    ExportOptions options;
    options.dxf_decimals = decimals;
    options.dxf_layers.split = split;
    testing::RecordingSaveHost host;
    const std::filesystem::path svg = folder_ / "drawing.svg";
    EXPECT_TRUE(save_file(testing::format_named("svg"), svg, records, *parse_rate(rate), options, host).written());
    return rendered(svg);
  }
  // The same for the fitted drawing (--cad).
  Picture render(float rate, const cad::CadDrawing& drawing, int decimals) {
    ExportOptions options;
    options.dxf_decimals = decimals;
    testing::RecordingSaveHost host;
    const std::filesystem::path svg = folder_ / "drawing.svg";
    EXPECT_TRUE(save_file(testing::format_named("svg"), svg, drawing, rate, options, host).written());
    return rendered(svg);
  }
  Picture rendered(const std::filesystem::path& svg) {
    const std::filesystem::path png = folder_ / "drawing.png";
    const std::string command = "rsvg-convert --dpi-x 254 --dpi-y 254 -f png -o '" + png.string() + "' '" +
                                svg.string() + "' 2>'" + (folder_ / "stderr.txt").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << read_bytes(folder_ / "stderr.txt");
    return read_png(png);
  }
  void SetUp() override {
    ScratchFolder::SetUp();
    // Not skipped when it is missing: the package list installs it.
    ASSERT_EQ(std::system("command -v rsvg-convert >/dev/null 2>&1"), 0)
        << "rsvg-convert is missing (Debian package librsvg2-bin)";
  }
};

// The page's left and top edges in millimetres, read back from the file.
struct PageEdges {
  double left, top, width, height;
};
PageEdges page_of(std::span<const LineRecord> records, float rate, int decimals) {
  const SvgPage page = svg_page(records, rate, decimals);
  return {std::stod(page.left), std::stod(page.top), std::stod(page.width), std::stod(page.height)};
}

double distance_to_segment(double px, double py, const LineRecord& r) {
  const double dx = r.x2 - r.x1, dy = r.y2 - r.y1;
  const double len2 = dx * dx + dy * dy;
  const double u = len2 == 0 ? 0 : std::clamp(((px - r.x1) * dx + (py - r.y1) * dy) / len2, 0.0, 1.0);
  return std::hypot(r.x1 + u * dx - px, r.y1 + u * dy - py);
}

// A traced drawing: every pixel with ink is within half a stroke (half a grid
// unit) and one pixel of some segment, and every segment's midpoint is inked.
TEST_F(SvgRender, InkLiesOnTheTracedSegments) {
  DrawingOptions options;
  options.min_thickness = options.max_thickness = 3;
  const InkImage image = generate_drawing(320, 240, 4, options);
  PixelGrid grid;
  ASSERT_TRUE(grid.reset(image.width, image.height));
  for (std::int32_t r = 0; r < image.height; ++r) grid.set_image_row(r, image.row(r));
  NoProgress quiet;
  run_thinning(grid, 1, quiet);
  LineData lines;
  ASSERT_TRUE(lines.reset_storage());
  run_tracing(grid, lines, quiet);
  const std::span<const LineRecord> records = lines.records();
  ASSERT_GT(records.size(), 100u);

  const float rate = 0.5f;  // 5 pixels per grid unit
  const Picture picture = render("0.5", records, 4, true);
  const PageEdges page = page_of(records, rate, 4);
  ASSERT_GT(picture.width, 0);
  // True size: the picture is the page's size in millimetres at 10 pixels per millimetre.
  EXPECT_NEAR(picture.width, page.width * kPixelsPerMm, 1);
  EXPECT_NEAR(picture.height, page.height * kPixelsPerMm, 1);

  // Where ink may be: within half a grid unit (the stroke) and a pixel (the edge's
  // smoothing) of a segment, marked segment by segment in grid units.
  const double reach = 0.5 + 1 / (kPixelsPerMm * rate);
  auto grid_x = [&](std::int32_t px) { return (page.left + (px + 0.5) / kPixelsPerMm) / rate; };
  auto grid_y = [&](std::int32_t py) { return (page.top - (py + 0.5) / kPixelsPerMm) / rate; };
  auto pixel_x = [&](double gx) {
    return static_cast<std::int32_t>(std::floor((gx * rate - page.left) * kPixelsPerMm));
  };
  auto pixel_y = [&](double gy) {
    return static_cast<std::int32_t>(std::floor((page.top - gy * rate) * kPixelsPerMm));
  };
  std::vector<bool> allowed(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
  for (const LineRecord& r : records) {
    const std::int32_t x0 = std::max(0, pixel_x(std::min(r.x1, r.x2) - reach) - 1);
    const std::int32_t x1 = std::min(picture.width - 1, pixel_x(std::max(r.x1, r.x2) + reach) + 1);
    const std::int32_t y0 = std::max(0, pixel_y(std::max(r.y1, r.y2) + reach) - 1);
    const std::int32_t y1 = std::min(picture.height - 1, pixel_y(std::min(r.y1, r.y2) - reach) + 1);
    for (std::int32_t py = y0; py <= y1; ++py)
      for (std::int32_t px = x0; px <= x1; ++px)
        if (distance_to_segment(grid_x(px), grid_y(py), r) <= reach)
          allowed[static_cast<std::size_t>(py) * static_cast<std::size_t>(picture.width) +
                  static_cast<std::size_t>(px)] = true;
  }
  std::int64_t ink = 0, stray = 0;
  for (std::int32_t py = 0; py < picture.height; ++py) {
    for (std::int32_t px = 0; px < picture.width; ++px) {
      if (picture.at(px, py)[3] < 128) continue;
      ++ink;
      if (!allowed[static_cast<std::size_t>(py) * static_cast<std::size_t>(picture.width) +
                   static_cast<std::size_t>(px)]) {
        if (++stray <= 5)
          ADD_FAILURE() << "ink at pixel (" << px << ", " << py << "), grid (" << grid_x(px) << ", " << grid_y(py)
                        << ")";
      }
    }
  }
  EXPECT_EQ(stray, 0) << "of " << ink << " inked pixels";
  std::int64_t bare = 0;
  for (const LineRecord& r : records) {
    const std::int32_t px = pixel_x((r.x1 + r.x2) / 2.0), py = pixel_y((r.y1 + r.y2) / 2.0);
    if (picture.at(px, py)[3] < 200 && ++bare <= 5) {
      ADD_FAILURE() << "no ink at the midpoint of (" << r.x1 << ", " << r.y1 << ") - (" << r.x2 << ", " << r.y2 << ")";
    }
  }
  EXPECT_EQ(bare, 0);
}

// Which way up, how large and in which colour: a horizontal segment at the
// bottom of the drawing, a vertical one at its left, an oblique one, with the
// layer split on. A negative magnification turns the page by half a turn.
TEST_F(SvgRender, UprightTrueSizeAndLayerColours) {
  const std::vector<LineRecord> records = {{10, 10, 50, 10}, {10, 12, 10, 40}, {20, 40, 50, 20}};
  struct Case {
    const char* rate;
    bool turned;
  };
  for (const Case& c : {Case{"0.5", false}, Case{"1", false}, Case{"-0.5", true}}) {
    SCOPED_TRACE(::testing::Message() << "magnification " << c.rate);
    const Picture picture = render(c.rate, records, 2, true);
    // Cells 9..51 by 9..41: 42 x 32 grid units.
    const double mm = std::fabs(std::stod(c.rate));
    ASSERT_NEAR(picture.width, 42 * mm * kPixelsPerMm, 1);
    ASSERT_NEAR(picture.height, 32 * mm * kPixelsPerMm, 1);
    // Pixel of grid point (gx, gy), from the page's left (x 9) and top (y 41) edges.
    const double scale = mm * kPixelsPerMm;
    auto pixel = [&](double gx, double gy) {
      std::int32_t px = static_cast<std::int32_t>((gx - 9 + 0.5 / scale) * scale);
      std::int32_t py = static_cast<std::int32_t>((41 - gy + 0.5 / scale) * scale);
      if (c.turned) {
        px = picture.width - 1 - px;
        py = picture.height - 1 - py;
      }
      return picture.at(std::clamp(px, 0, picture.width - 1), std::clamp(py, 0, picture.height - 1));
    };
    auto is = [](const std::uint8_t* p, std::uint32_t rgb) {
      return p[3] > 200 && p[0] == (rgb >> 16) && p[1] == ((rgb >> 8) & 0xFF) && p[2] == (rgb & 0xFF);
    };
    EXPECT_TRUE(is(pixel(30, 10), 0xFF0000)) << "Horizon, near the bottom";
    EXPECT_TRUE(is(pixel(10, 26), 0x0000FF)) << "Vertical, at the left";
    EXPECT_TRUE(is(pixel(35, 30), 0x008000)) << "Oblique";
    // Nothing where a picture upside down would have the horizontal segment.
    EXPECT_EQ(pixel(30, 40)[3], 0);
    EXPECT_EQ(pixel(45, 38)[3], 0);
  }
}

// Arcs drawn counter-clockwise in the grid frame render where they are, the
// short way or the long way round as drawn, and circles as rings.
TEST_F(SvgRender, ArcsAndCirclesWhereTheyAre) {
  constexpr double kPi = std::numbers::pi;
  cad::CadDrawing drawing;
  drawing.arcs.push_back({{20, 20}, 10, kPi / 6, 2 * kPi / 3});  // over the top, 30° to 150°
  drawing.arcs.push_back({{60, 20}, 8, 0, 3 * kPi / 2});         // three quarters, 0° to 270°
  drawing.circles.push_back({{95, 20}, 6});
  const float rate = 0.5f;
  const Picture picture = render(rate, drawing, 4);
  ASSERT_GT(picture.width, 0);
  const SvgPage page = svg_page(drawing, rate, 4);
  const double left = std::stod(page.left), top = std::stod(page.top);
  const auto inked = [&](double gx, double gy) {
    const auto px = static_cast<std::int32_t>(std::floor((gx * rate - left) * kPixelsPerMm));
    const auto py = static_cast<std::int32_t>(std::floor((top - gy * rate) * kPixelsPerMm));
    return picture.at(std::clamp(px, 0, picture.width - 1), std::clamp(py, 0, picture.height - 1))[3] > 200;
  };
  struct Spot {
    double x, y;
    bool ink;
    const char* what;
  };
  const Spot spots[] = {
      {20, 30, true, "the first arc's top"},
      {20 + 10 * std::cos(kPi / 6), 25, true, "its start"},
      {20, 10, false, "below its centre, where the arc is not"},
      {20, 20, false, "its centre"},
      {52, 20, true, "the second arc at 180°"},
      {60, 12, true, "its end at 270°"},
      {60 + 8 * std::cos(kPi / 4), 20 - 8 * std::sin(kPi / 4), false, "its gap at 315°"},
      {101, 20, true, "the circle's right"},
      {95, 14, true, "the circle's bottom"},
      {95, 20, false, "the circle's centre"},
  };
  for (const Spot& s : spots) EXPECT_EQ(inked(s.x, s.y), s.ink) << s.what;
}

}  // namespace
}  // namespace vp
