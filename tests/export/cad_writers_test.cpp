// The writers of the fitted drawing (--cad): real-number text, DXF ARC and
// CIRCLE entities, SVG arc paths, and the chords of the formats without arcs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "export/dxf_writer.h"
#include "export/jwc_writer.h"
#include "export/save_file.h"
#include "export/svg_writer.h"
#include "support/written_bytes.h"
#include "tests/export/jwc_reader.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

constexpr double kPi = std::numbers::pi;
double radians(double degrees) { return degrees * kPi / 180; }

std::vector<std::string> crlf_lines(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(file.substr(start, end - start));
  return lines;
}

TEST(RealText, RoundingAndSign) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  };
  const Case cases[] = {
      {0, 4, "0.0000"},
      {-0.0, 2, "0.00"},
      {-0.004, 2, "0.00"},  // prints as zero: no sign
      {-0.006, 2, "-0.01"},
      {0.125, 2, "0.12"},  // an exact tie goes to even
      {0.375, 2, "0.38"},
      {1.005, 2, "1.00"},  // 1.00499999999999989...
      {2.5, 0, "2"},
      {-2.5, 0, "-2"},
      {-0.4, 0, "0"},
      {123456.789, 1, "123456.8"},
      {1e21, 0, "1000000000000000000000"},
      {0.1, 20, "0.100000000000000"},  // decimals clamped to 15
      {0.1, -3, "0"},
      {std::numeric_limits<double>::infinity(), 2, "inf"},
      {-std::numeric_limits<double>::infinity(), 2, "-inf"},
      {-std::numeric_limits<double>::quiet_NaN(), 2, "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(RealText(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
  // The longest text fits the formatter's room.
  EXPECT_LE(RealText(-std::numeric_limits<double>::max(), 15).size(), RealFormatter::kMaxChars);
  // Coordinates are c × rate in double.
  EXPECT_EQ(RealFormatter(0.1f, 12).scaled_text(3), RealText(3 * static_cast<double>(0.1f), 12));
}

cad::CadDrawing one_arc(double start_degrees, double sweep_degrees, double radius = 2) {
  cad::CadDrawing d;
  d.arcs.push_back({{4, 6}, radius, radians(start_degrees), radians(sweep_degrees)});
  return d;
}

TEST(CadDxf, EntitiesAsWritten) {
  cad::CadDrawing d;
  d.lines.push_back({{0, 0}, {10, 0}});
  d.arcs.push_back({{10, 20}, 4, radians(270), kPi});
  d.circles.push_back({{-3, 7.5}, 3});
  ExportOptions options;
  options.dxf_decimals = 2;
  options.dxf_header = "HEAD\r\n";
  const std::vector<std::string> expected = {
      "HEAD",   "  0",      "LINE",    "  8",     "Velorin",    "  6",       "CONTINUOUS", " 62",      "  1",
      " 10",    "   0.00",  " 20",     "   0.00", " 11",        "   5.00",   " 21",        "   0.00",  "  0",
      "ARC",    "  8",      "Velorin", "  6",     "CONTINUOUS", " 62",       "  1",        " 10",      "   5.00",
      " 20",    "   10.00", " 40",     "   2.00", " 50",        "   270.00", " 51",        "   90.00", "  0",
      "CIRCLE", "  8",      "Velorin", "  6",     "CONTINUOUS", " 62",       "  1",        " 10",      "   -1.50",
      " 20",    "   3.75",  " 40",     "   1.50", "  0",        "ENDSEC",    "  0",        "EOF"};
  const std::string file = testing::written_cad_bytes("dxf", d, 0.5f, options);
  EXPECT_EQ(crlf_lines(file), expected);
  EXPECT_TRUE(file.ends_with("EOF\r\n"));
}

// Start and end angles in degrees, counter-clockwise, in [0, 360); a negative
// magnification turns the drawing by half a turn; the radius stays positive.
TEST(CadDxf, ArcAnglesInEachQuadrantAndAcrossZero) {
  struct Case {
    double start, sweep;
    const char* rate;
    int decimals;
    std::vector<std::string> groups;  // 40, 50, 51
  };
  const Case cases[] = {
      {10, 60, "1", 4, {"2.0000", "10.0000", "70.0000"}},
      {100, 60, "1", 4, {"2.0000", "100.0000", "160.0000"}},
      {190, 60, "1", 4, {"2.0000", "190.0000", "250.0000"}},
      {280, 60, "1", 4, {"2.0000", "280.0000", "340.0000"}},
      {330, 60, "1", 4, {"2.0000", "330.0000", "30.0000"}},  // across 0°: the end below the start
      {45, 270, "1", 4, {"2.0000", "45.0000", "315.0000"}},
      {10, 60, "-1", 4, {"2.0000", "190.0000", "250.0000"}},
      {300, 30, "-2", 1, {"4.0", "120.0", "150.0"}},
      {359.999999, 20, "1", 2, {"2.00", "0.00", "20.00"}},  // 360.00 once rounded is 0
      {340, 19.999999, "1", 2, {"2.00", "340.00", "0.00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.start << " + " << c.sweep << " at " << c.rate);
    ExportOptions options;
    options.dxf_decimals = c.decimals;
    const std::vector<std::string> lines =
        crlf_lines(testing::written_cad_bytes("dxf", one_arc(c.start, c.sweep), *parse_rate(c.rate), options));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[1], "ARC");
    EXPECT_EQ((std::vector<std::string>{lines[12], lines[14], lines[16]}),
              (std::vector<std::string>{" 40", " 50", " 51"}));
    EXPECT_EQ((std::vector<std::string>{lines[13].substr(3), lines[15].substr(3), lines[17].substr(3)}), c.groups);
  }
}

// Arcs and circles take the Oblique layer with the split and Short by their own
// length (radius × sweep, 2πr, times the magnification), not their chords'.
TEST(CadDxf, LayersOfLinesArcsAndCircles) {
  cad::CadDrawing d;
  d.lines = {{{0, 0}, {40, 0}}, {{0, 0}, {0, 40}}, {{0, 0}, {40, 1}}, {{0, 0}, {2, 0}}};
  d.arcs = {{{0, 0}, 2, 0, kPi / 2}, {{0, 0}, 20, 0, kPi / 2}};  // 3.14 and 31.4 long
  d.circles = {{{0, 0}, 1}, {{0, 0}, 10}};                       // 6.28 and 62.8 long
  struct Case {
    SegmentOptions layers;
    std::vector<std::string> names;  // in file order: lines, arcs, circles
  };
  const Case cases[] = {
      {{false, false, 100}, std::vector<std::string>(8, "Velorin")},
      {{true, false, 100}, {"Horizon", "Vertical", "Oblique", "Horizon", "Oblique", "Oblique", "Oblique", "Oblique"}},
      {{false, true, 10}, {"Velorin", "Velorin", "Velorin", "Short", "Short", "Velorin", "Short", "Velorin"}},
      {{true, true, 10}, {"Horizon", "Vertical", "Oblique", "Short", "Short", "Oblique", "Short", "Oblique"}},
      {{true, true, 0}, {"Horizon", "Vertical", "Oblique", "Horizon", "Oblique", "Oblique", "Oblique", "Oblique"}},
  };
  for (const Case& c : cases) {
    ExportOptions options;
    options.dxf_layers = c.layers;
    const std::vector<std::string> lines = crlf_lines(testing::written_cad_bytes("dxf", d, 1, options));
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 3 < lines.size(); ++i)
      if (lines[i] == "  0" && lines[i + 2] == "  8") names.push_back(lines[i + 3]);
    EXPECT_EQ(names, c.names) << c.layers.split << c.layers.short_lines << c.layers.short_limit_mm;
  }
}

// The page holds the arcs themselves (the larger arc's top lies between its
// ends); an arc counter-clockwise in the grid frame has sweep-flag 1 inside
// the flipped group, large-arc 1 beyond half a turn.
TEST(CadSvg, ArcPathsCirclesAndPage) {
  cad::CadDrawing d;
  d.lines.push_back({{10, 5}, {20, 5}});
  d.arcs.push_back({{10, 10}, 5, 0, 3 * kPi / 2});
  d.arcs.push_back({{30, 10}, 7, kPi / 4, kPi / 2});
  d.circles.push_back({{50, 10}, 2});
  ExportOptions options;
  options.dxf_decimals = 2;
  options.dxf_layers.split = true;
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"49.00mm\" height=\"14.00mm\" "
      "viewBox=\"4.00 -18.00 49.00 14.00\">\r\n"
      "<g transform=\"scale(1,-1)\" fill=\"none\" stroke-width=\"1\" stroke-linecap=\"round\" "
      "stroke-linejoin=\"round\">\r\n"
      "<g id=\"Horizon\" stroke=\"#FF0000\">\r\n"
      "<line x1=\"10.00\" y1=\"5.00\" x2=\"20.00\" y2=\"5.00\"/>\r\n"
      "</g>\r\n"
      "<g id=\"Oblique\" stroke=\"#008000\">\r\n"
      "<path d=\"M 15.00 10.00 A 5.00 5.00 0 1 1 10.00 5.00\"/>\r\n"
      "<path d=\"M 34.95 14.95 A 7.00 7.00 0 0 1 25.05 14.95\"/>\r\n"
      "<circle cx=\"50.00\" cy=\"10.00\" r=\"2.00\"/>\r\n"
      "</g>\r\n"
      "</g>\r\n</svg>\r\n";
  EXPECT_EQ(testing::written_cad_bytes("svg", d, 1, options), expected);
  // Half a turn with a negative magnification: the page follows, the radius stays positive.
  const SvgPage turned = svg_page(d, -2, 2);
  EXPECT_EQ((std::vector<std::string>{turned.left, turned.bottom, turned.right, turned.top, turned.width}),
            (std::vector<std::string>{"-106.00", "-36.00", "-8.00", "-8.00", "98.00"}));
  EXPECT_NE(testing::written_cad_bytes("svg", d, -2, options).find("A 14.00 14.00 0 0 1 -50.10 -29.90"),
            std::string::npos);
}

// Coordinate text and jw_cad write a curve as the fewest chords within the
// drawing's tolerance: corners on the curve, from its start counter-clockwise
// to its end, no chord further than the tolerance from it, one fewer chord
// would be; a chord takes its curve's layer.
TEST(CadChords, TextAndJwcStayWithinTheTolerance) {
  cad::CadDrawing d;
  d.tolerance = 0.5;
  d.lines.push_back({{0, 0}, {200, 0}});
  d.arcs.push_back({{100.3, 50.7}, 40, 5.5, 2.0});  // 20 mm at 0.25: not short
  d.arcs.push_back({{10, 10}, 3, 1, 1});            // 0.75 mm: short
  d.circles.push_back({{20, 30}, 25});
  const float rate = 0.25f;
  ExportOptions options;
  options.text_decimals = 8;
  options.jwc.layers = {true, true, 20};

  for (const std::string format : {"text", "jwc"}) {
    SCOPED_TRACE(format);
    const std::string file = testing::written_cad_bytes(format, d, rate, options);
    std::vector<cad::Line> pieces;  // back in grid units
    std::vector<int> layers;
    double slack = 1e-6;
    if (format == "text") {
      for (const std::string& line : crlf_lines(file)) {
        std::istringstream in(line);
        cad::Line l;
        in >> l.a.x >> l.a.y >> l.b.x >> l.b.y;
        pieces.push_back({{l.a.x / rate, l.a.y / rate}, {l.b.x / rate, l.b.y / rate}});
      }
    } else {
      testing::JwcFileFields fields;
      ASSERT_EQ(testing::read_jwc(file, fields), "");
      EXPECT_EQ(fields.texts[1].substr(0, fields.texts[1].find(',')), std::to_string(fields.records.size()));
      const double k = static_cast<double>(JwcDivisor) / rate;
      for (const testing::JwcRecordFields& r : fields.records) {
        pieces.push_back({{r.x1 * k, r.y1 * k}, {r.x2 * k, r.y2 * k}});
        layers.push_back(r.layer);
      }
      slack = 2e-4;  // the floats' precision
    }
    ASSERT_FALSE(pieces.empty());
    EXPECT_LT(std::hypot(pieces[0].b.x - 200, pieces[0].b.y), slack);

    const cad::Arc whole_circle{d.circles[0].centre, d.circles[0].radius, 0, 2 * kPi};
    std::size_t next = 1;
    for (const cad::Arc& arc : {d.arcs[0], d.arcs[1], whole_circle}) {
      const auto on_arc = [&](cad::Point p) { return std::hypot(p.x - arc.centre.x, p.y - arc.centre.y); };
      const cad::Point start = cad::arc_start_point(arc);
      double swept = 0;
      const std::size_t first = next;
      for (cad::Point from = start; swept < arc.sweep - 1e-6; ++next) {
        ASSERT_LT(next, pieces.size());
        const cad::Line& chord = pieces[next];
        EXPECT_LT(std::hypot(chord.a.x - from.x, chord.a.y - from.y), slack) << "chords join";
        EXPECT_NEAR(on_arc(chord.b), arc.radius, slack);
        const cad::Point mid{(chord.a.x + chord.b.x) / 2, (chord.a.y + chord.b.y) / 2};
        EXPECT_LE(arc.radius - on_arc(mid), d.tolerance + slack);
        const double turn = std::remainder(std::atan2(chord.b.y - arc.centre.y, chord.b.x - arc.centre.x) -
                                               std::atan2(chord.a.y - arc.centre.y, chord.a.x - arc.centre.x),
                                           2 * kPi);
        EXPECT_GT(turn, 0) << "counter-clockwise";
        swept += turn > 0 ? turn : turn + 2 * kPi;
        from = chord.b;
      }
      const cad::Point end = cad::arc_end_point(arc);
      EXPECT_LT(std::hypot(pieces[next - 1].b.x - end.x, pieces[next - 1].b.y - end.y), slack);
      EXPECT_NEAR(swept, arc.sweep, 1e-5);
      const double fewer = arc.sweep / static_cast<double>(next - first - 1);
      if (next - first > 1) {
        EXPECT_GT(arc.radius * (1 - std::cos(fewer / 2)), d.tolerance) << "not the fewest";
      }
      if (!layers.empty()) {
        const int layer = arc.radius > 3 ? 3 : 15;  // oblique, or short for the small arc
        for (std::size_t i = first; i < next; ++i) EXPECT_EQ(layers[i], layer);
      }
    }
    EXPECT_EQ(next, pieces.size());
    if (!layers.empty()) {
      EXPECT_EQ(layers[0], 1);  // the horizontal line
    }
  }
}

class CadSave : public testing::ScratchFolder {};

// save_file writes what write_cad writes, the bar moving once per entity; a
// stop asked for ends every writer; jw_cad's floats decide the magnification.
TEST_F(CadSave, EveryFormatThroughSaveFile) {
  cad::CadDrawing d = one_arc(30, 100);
  d.lines.push_back({{0, 0}, {5, 5}});
  d.circles.push_back({{3, 3}, 2});
  struct StopAtFirst final : Progress {
    bool report(Phase, std::int64_t, std::int64_t) override { return false; }
  };
  for (const ExportFormat& format : export_formats()) {
    SCOPED_TRACE(format.name);
    testing::RecordingSaveHost host;
    const auto path = folder_ / ("plan" + std::string(format.extensions[0]));
    ASSERT_TRUE(save_file(format, path, d, 0.5f, {}, host).written());
    EXPECT_EQ(read_bytes(path), testing::written_cad_bytes(format.name, d, 0.5f));
    EXPECT_EQ(host.bars, (std::vector<int>{33, 66, 100}));
    std::ostringstream out;
    StopAtFirst stop;
    EXPECT_FALSE(format.write_cad(out, d, 0.5f, {}, stop));

    const bool floats = format.name == "jwc";
    testing::RecordingSaveHost asked;
    EXPECT_EQ(accept_magnification(format, "3.4e38", one_arc(0, 90, 400), asked).has_value(), true);
    EXPECT_EQ(accept_magnification(format, "3.4e38", one_arc(0, 90, 2000), asked).has_value(), !floats);
    cad::CadDrawing far;
    far.lines.push_back({{0, 0}, {-2000, 1}});
    EXPECT_EQ(accept_magnification(format, "3.4e38", far, asked).has_value(), !floats);
    EXPECT_EQ(asked.calls.size(), floats ? 2u : 0u);
  }
}

}  // namespace
}  // namespace vp
