// The converter's DXF and jw_cad outputs: their options, a jw_cad file taken
// apart field by field, and DXF files opened by real DXF readers (ezdxf and
// GDAL's ogrinfo, from Debian's packages python3-ezdxf and gdal-bin, which the
// test command installs; missing tools fail these tests).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "cli/options.h"
#include "core/conversion_settings.h"
#include "core/export_settings.h"
#include "export/dxf_header.h"
#include "export/dxf_writer.h"
#include "export/jwc_writer.h"
#include "support/written_bytes.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "tests/cli/converter_fixture.h"
#include "tests/export/jwc_reader.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

const std::string kPython = "/usr/bin/python3";  // Debian's, where python3-ezdxf installs
const std::string kOgrinfo = "/usr/bin/ogrinfo";

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command; its standard output and exit status.
std::pair<std::string, int> capture(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", -1};
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  const int raw = ::pclose(pipe);
  return {output, WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

class DxfJwcOutput : public ConverterFixture {
 protected:
  void SetUp() override {
    ConverterFixture::SetUp();
    // A drawing with horizontal, vertical and oblique strokes of many lengths.
    DrawingOptions drawing;
    drawing.text = false;
    drawing.min_thickness = 1;
    drawing.max_thickness = 3;
    drawing_ = folder_ / "drawing.bmp";
    ASSERT_TRUE(write_bmp_file(drawing_.string(), generate_drawing(360, 240, 11, drawing), {}));
    // The segments in grid units, through the coordinate text output.
    ASSERT_EQ(run({drawing_.string(), "-o", path("segments.txt"), "--decimals", "0", "--quiet"}), kExitWritten)
        << err_.str();
    std::istringstream lines(read_file(path("segments.txt")));
    LineRecord r{};
    while (lines >> r.x1 >> r.y1 >> r.x2 >> r.y2) segments_.push_back(r);
    ASSERT_GT(segments_.size(), 50u);
  }

  fs::path drawing_;
  std::vector<LineRecord> segments_;
};

TEST(DxfJwcOptions, DefaultsAreTheSettingsDefaults) {
  const ParseResult parsed = parse_options({"in.bmp", "-o", "out.DXF"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const Options& o = *parsed.options;
  const ConversionSettings s;
  EXPECT_EQ(o.format->name, "dxf");
  EXPECT_TRUE(o.dxf_header.empty());
  EXPECT_EQ(o.exports, export_options(s));
  EXPECT_EQ(parse_options({"in.bmp", "-o", "a.jwc"}).options->format->name, "jwc");
}

TEST(DxfJwcOptions, ValuesReachTheSettings) {
  struct Case {
    std::vector<std::string> args;
    std::function<bool(const Options&)> check;
  };
  const std::vector<Case> cases = {
      {{"--dxf-decimals", "0"}, [](const Options& o) { return o.exports.dxf_decimals == 0; }},
      {{"--dxf-decimals=5"}, [](const Options& o) { return o.exports.dxf_decimals == 8; }},
      {{"--dxf-short", "50"},
       [](const Options& o) {
         return o.exports.dxf_layers == SegmentOptions{false, true, 50};
       }},
      {{"--dxf-short=0"},
       [](const Options& o) {
         return o.exports.dxf_layers == SegmentOptions{false, true, 0};
       }},
      {{"--dxf-split"},
       [](const Options& o) {
         return o.exports.dxf_layers == SegmentOptions{true, false, 100};
       }},
      {{"--dxf-header", "my head.txt"}, [](const Options& o) { return o.dxf_header == "my head.txt"; }},
      {{"--jwc-group", "15", "--jwc-layer", "10", "--jwc-color", "5", "--jwc-type", "8"},
       [](const Options& o) {
         return o.exports.jwc.group == 15 && o.exports.jwc.layer == 10 && o.exports.jwc.colour == 5 &&
                o.exports.jwc.line_type == 8;
       }},
      {{"--jwc-short", "99:7"},
       [](const Options& o) {
         return o.exports.jwc.layers == SegmentOptions{false, true, 99} && o.exports.jwc.short_layer == 7;
       }},
      {{"--jwc-split=4,5,0"},
       [](const Options& o) {
         return o.exports.jwc.layers == SegmentOptions{true, false, 100} && o.exports.jwc.horizontal_layer == 4 &&
                o.exports.jwc.vertical_layer == 5 && o.exports.jwc.oblique_layer == 0;
       }},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"in.bmp", "-o", "out.jwc"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParseResult parsed = parse_options(args);
    ASSERT_TRUE(parsed.options) << c.args[0] << ": " << parsed.error;
    EXPECT_TRUE(c.check(*parsed.options)) << c.args[0];
  }
}

TEST(DxfJwcOptions, BadValuesAreUsageErrorsNamingTheOption) {
  const std::vector<std::vector<std::string>> cases = {
      {"--dxf-decimals", "6"},   {"--dxf-decimals", "-1"},   {"--dxf-decimals", "x"},   {"--dxf-short", "-1"},
      {"--dxf-short", "1.5"},    {"--dxf-short", ""},        {"--dxf-split=yes"},       {"--dxf-header", ""},
      {"--dxf-header"},          {"--jwc-group", "16"},      {"--jwc-layer", "-1"},     {"--jwc-color", "6"},
      {"--jwc-type", "9"},       {"--jwc-type", "a"},        {"--jwc-short", "100"},    {"--jwc-short", "100:16"},
      {"--jwc-short", ":3"},     {"--jwc-short", "5:"},      {"--jwc-short", "-5:3"},   {"--jwc-short", "5:3:1"},
      {"--jwc-split", "1,2"},    {"--jwc-split", "1,2,3,4"}, {"--jwc-split", "1,2,16"}, {"--jwc-split", "16,1,2"},
      {"--jwc-split", "1,-1,2"}, {"--jwc-split", "1;2;3"},   {"--jwc-split"},
  };
  for (const auto& option : cases) {
    std::vector<std::string> args = {"in.bmp", "-o", "out.dxf"};
    args.insert(args.end(), option.begin(), option.end());
    std::ostringstream out, err;
    EXPECT_EQ(run_converter(args, out, err, false), kExitUsage) << option[0];
    const std::string name = option[0].substr(0, option[0].find('='));
    EXPECT_NE(err.str().find(name), std::string::npos) << err.str();
  }
  std::ostringstream out, err;
  ASSERT_EQ(run_converter({"--help"}, out, err, false), kExitWritten);
  for (const char* option : {".dxf", ".jwc", "--dxf-header", "--dxf-decimals", "--dxf-short", "--dxf-split",
                             "--jwc-group", "--jwc-layer", "--jwc-color", "--jwc-type", "--jwc-short", "--jwc-split"}) {
    EXPECT_NE(out.str().find(option), std::string::npos) << option;
  }
}

TEST_F(DxfJwcOutput, JwcFileHoldsTheSegmentsAndSettings) {
  const std::string file = path("plan.jwc");
  ASSERT_EQ(run({drawing_.string(), "-o", file, "--quiet", "--rate", "0.254", "--jwc-group", "3", "--jwc-color", "2",
                 "--jwc-type", "4", "--jwc-layer", "12", "--jwc-split", "4,5,6", "--jwc-short", "3:9"}),
            kExitWritten)
      << err_.str();
  testing::JwcFileFields fields;
  ASSERT_EQ(testing::read_jwc(read_file(file), fields), "");
  ASSERT_EQ(fields.records.size(), segments_.size());
  EXPECT_EQ(fields.texts[1].substr(0, fields.texts[1].find(',')), std::to_string(segments_.size()));

  const float rate = 0.254f;
  std::map<int, int> layers;
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    const LineRecord& s = segments_[i];
    const testing::JwcRecordFields& r = fields.records[i];
    auto scaled = [&](std::int32_t c) { return static_cast<float>(c * static_cast<double>(rate) / JwcDivisor); };
    EXPECT_EQ(r.x1, scaled(s.x1));
    EXPECT_EQ(r.y1, scaled(s.y1));
    EXPECT_EQ(r.x2, scaled(s.x2));
    EXPECT_EQ(r.y2, scaled(s.y2));
    EXPECT_EQ(r.type, 5);
    EXPECT_EQ(r.color, 3);
    EXPECT_EQ(r.group, 3);
    // Short first (under 3 mm), then the split; layer 12 never applies.
    int layer = s.x1 == s.x2 ? 5 : s.y1 == s.y2 ? 4 : 6;
    const double dx = (s.x2 - s.x1) * static_cast<double>(rate);
    const double dy = (s.y2 - s.y1) * static_cast<double>(rate);
    if (static_cast<float>(std::sqrt(dx * dx + dy * dy)) < 3.0f) layer = 9;
    EXPECT_EQ(r.layer, layer) << s.x1 << "," << s.y1 << " " << s.x2 << "," << s.y2;
    ++layers[r.layer];
    if (HasFailure()) break;
  }
  // The drawing exercises every layer rule.
  for (int layer : {4, 5, 6, 9}) EXPECT_GT(layers[layer], 0) << layer;
}

TEST_F(DxfJwcOutput, JwcFailureShowsBothMessages) {
  EXPECT_EQ(run({drawing_.string(), "-o", path("no/such/plan.jwc")}), kExitNotWritten);
  const std::string err = err_.str();
  const auto own = err.find("保存ができませんでした。");
  const auto command = err.find("保存できませんでした。");
  ASSERT_NE(own, std::string::npos) << err;
  ASSERT_NE(command, std::string::npos) << err;
  EXPECT_LT(own, command);
}

TEST_F(DxfJwcOutput, DxfHeaderOption) {
  const std::string file = path("plan.dxf");
  std::ofstream(path("head.txt"), std::ios::binary) << "H1\nH2\r\n";
  ASSERT_EQ(run({drawing_.string(), "-o", file, "--quiet", "--dxf-header", path("head.txt")}), kExitWritten)
      << err_.str();
  const std::string written = read_file(file);
  const std::string head = "H1\r\nH2\r\n  0\r\nLINE\r\n  8\r\n";
  const std::string tail = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
  ASSERT_GT(written.size(), head.size() + tail.size());
  EXPECT_EQ(written.substr(0, head.size()), head);
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);

  // A template named but not there, or not readable: the message, no file, the earlier one kept.
  fs::create_directories(path("folder.txt"));
  for (const std::string& header : {path("missing.txt"), path("folder.txt")}) {
    EXPECT_EQ(run({drawing_.string(), "-o", file, "--dxf-header", header}), kExitNotWritten);
    EXPECT_NE(err_.str().find("ファイル " + header + " は開けません"), std::string::npos) << err_.str();
    EXPECT_EQ(err_.str().find("保存できませんでした。"), std::string::npos) << err_.str();
    EXPECT_EQ(read_file(file), written);
  }
}

// The template the build puts beside the program: our own file, CR LF lines,
// group codes right-aligned in three characters, units and the five layers
// declared, and the ENTITIES section opened at its end.
TEST(DefaultDxfHeader, BesideTheProgramAndComplete) {
  const fs::path beside = fs::path(VP_BINARY_DIR) / "cli" / "DXFHED.TXT";
  const fs::path source = fs::path(VP_SOURCE_DIR) / "data" / "DXFHED.TXT";
  const std::string bytes = read_file(beside);
  ASSERT_FALSE(bytes.empty()) << beside;
  EXPECT_EQ(bytes, read_file(source));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
    }
    if (bytes[i] == '\r') {
      ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  const std::vector<std::string> lines = DxfHeaderTemplate::from_bytes(bytes).lines();
  ASSERT_EQ(lines.size() % 2, 0u);
  std::map<std::string, std::string> variables;
  std::set<std::string> layers;
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    const std::string& code = lines[i];
    ASSERT_EQ(code.size(), 3u) << "line " << i + 1;
    const auto digits = code.find_first_not_of(' ');
    ASSERT_NE(digits, std::string::npos) << "line " << i + 1;
    EXPECT_EQ(code.find_first_not_of("0123456789", digits), std::string::npos) << "line " << i + 1;
    if (code == "  9" && i + 3 < lines.size()) {
      const std::string& value = lines[i + 3];
      variables[lines[i + 1]] = value.substr(value.find_first_not_of(' '));
    }
    if (code == "  0" && lines[i + 1] == "LAYER" && i + 3 < lines.size() && lines[i + 2] == "  2") {
      layers.insert(lines[i + 3]);
    }
  }
  EXPECT_EQ(variables["$ACADVER"], "AC1009");
  EXPECT_EQ(variables["$INSUNITS"], "4");
  EXPECT_EQ(variables["$MEASUREMENT"], "1");
  for (const char* layer : {"Velorin", "Horizon", "Vertical", "Oblique", "Short"})
    EXPECT_TRUE(layers.count(layer)) << layer;
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"  0", "SECTION", "  2", "ENTITIES"}));
}

// The template the real program picks when none is named: the user's own copy,
// the desktop program's, the one beside the program, then the installed one found
// from the program's folder (a copied program and share/ folder stand in for an
// installation), each only when the ones before it are missing.
TEST_F(DxfJwcOutput, TemplateLookupOrder) {
  const fs::path program = fs::path(folder_) / "prefix" / "bin" / "vpconvert";
  fs::create_directories(program.parent_path());
  fs::copy_file(fs::path(VP_BINARY_DIR) / "cli" / "vpconvert", program);
  const fs::path data = folder_ / "data", home = folder_ / "home";
  const std::map<std::string, fs::path> place = {{"user", data / "velorin-pelkin"},
                                                 {"desktop", data / "Quillet" / "VelorinPelkin"},
                                                 {"home", home / ".local" / "share" / "velorin-pelkin"},
                                                 {"beside", program.parent_path()},
                                                 {"installed", folder_ / "prefix" / "share" / "velorin-pelkin"}};
  struct Case {
    std::vector<std::string> present;
    std::string xdg_data_home;  // "-": unset
    std::string expected;       // whose template begins the file; "" none
  };
  const Case cases[] = {
      {{"user", "desktop", "home", "beside", "installed"}, data.string(), "user"},
      {{"desktop", "home", "beside", "installed"}, data.string(), "desktop"},
      {{"home", "beside", "installed"}, data.string(), "beside"},
      {{"user", "home", "beside"}, "-", "home"},
      {{"user", "home", "beside"}, "relative/data", "home"},  // a relative XDG_DATA_HOME is ignored
      {{"installed"}, data.string(), "installed"},
      {{}, data.string(), ""},
      {{"user?", "installed"}, data.string(), "installed"},  // "?": a link to nowhere, passed over
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected + " with " + std::to_string(c.present.size()) + " present");
    for (const auto& [name, folder] : place) fs::remove(folder / "DXFHED.TXT");
    for (const std::string& name : c.present) {
      if (name.ends_with('?')) {
        fs::create_directories(place.at(name.substr(0, name.size() - 1)));
        fs::create_symlink(folder_ / "nowhere", place.at(name.substr(0, name.size() - 1)) / "DXFHED.TXT");
        continue;
      }
      fs::create_directories(place.at(name));
      std::ofstream(place.at(name) / "DXFHED.TXT", std::ios::binary) << "999\r\n" << name << "\r\n";
    }
    const fs::path output = folder_ / "lookup.dxf";
    const std::string xdg =
        c.xdg_data_home == "-" ? "-u XDG_DATA_HOME" : "XDG_DATA_HOME=" + quoted(fs::path(c.xdg_data_home));
    ASSERT_EQ(capture("env " + xdg + " HOME=" + quoted(home) + " " + quoted(program) + " " + quoted(drawing_) + " -o " +
                      quoted(output) + " --quiet")
                  .second,
              0);
    const std::string header = c.expected.empty() ? "" : "999\r\n" + c.expected + "\r\n";
    const std::string dxf = read_file(output);
    EXPECT_EQ(dxf.substr(0, dxf.find("  0\r\nLINE")), header);
  }
  const auto [version, status] = capture(quoted(program) + " --version");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(version.starts_with("vpconvert ") && version.size() > 15 && version.ends_with("\n")) << version;
}

// The real program with the template beside it, read back by ezdxf and ogrinfo.
TEST_F(DxfJwcOutput, RealDxfReadersOpenTheFile) {
  ASSERT_TRUE(fs::exists(kPython)) << kPython << " is missing: install python3-ezdxf (scripts/test.sh does)";
  ASSERT_EQ(capture(kPython + " -c 'import ezdxf' 2>&1").second, 0) << "python3-ezdxf is not installed";
  ASSERT_TRUE(fs::exists(kOgrinfo)) << kOgrinfo << " is missing: install gdal-bin (scripts/test.sh does)";

  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  const fs::path file = folder_ / "plan.dxf";
  const auto [converter_output, status] =
      capture(program + " " + quoted(drawing_) + " -o " + quoted(file) +
              " --quiet --rate 0.254 --dxf-decimals 5 --dxf-split --dxf-short 2 2>&1");
  ASSERT_EQ(status, 0) << converter_output;
  const std::string written = read_file(file);
  const std::string header = read_file(fs::path(VP_BINARY_DIR) / "cli" / "DXFHED.TXT");
  ASSERT_FALSE(header.empty());
  EXPECT_EQ(written.substr(0, header.size()), header);

  const fs::path script = folder_ / "read.py";
  std::ofstream(script) << "import sys, ezdxf\n"
                           "doc = ezdxf.readfile(sys.argv[1])\n"
                           "print('units', doc.header.get('$INSUNITS', -1))\n"
                           "print('layers', ' '.join(sorted(layer.dxf.name for layer in doc.layers)))\n"
                           "for e in doc.modelspace():\n"
                           "    if e.dxftype() != 'LINE':\n"
                           "        print('other', e.dxftype())\n"
                           "        continue\n"
                           "    s, t = e.dxf.start, e.dxf.end\n"
                           "    print('line', e.dxf.layer, repr(s.x), repr(s.y), repr(t.x), repr(t.y), repr(s.z),\n"
                           "          repr(t.z), e.dxf.color, e.dxf.linetype)\n";
  const auto [report, read_status] = capture(kPython + " " + quoted(script) + " " + quoted(file) + " 2>&1");
  ASSERT_EQ(read_status, 0) << report;

  std::istringstream lines(report);
  std::vector<std::string> entity_lines;
  std::string units_line, layers_line;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("line ", 0) == 0)
      entity_lines.push_back(line);
    else if (line.rfind("units ", 0) == 0)
      units_line = line;
    else if (line.rfind("layers ", 0) == 0)
      layers_line = line;
    else
      ADD_FAILURE() << "unexpected: " << line;
  }
  EXPECT_EQ(units_line, "units 4");
  for (const char* layer : {" Horizon", " Oblique", " Short", " Velorin", " Vertical"}) {
    EXPECT_NE(layers_line.find(layer), std::string::npos) << layers_line;
  }
  ASSERT_EQ(entity_lines.size(), segments_.size());
  const float rate = 0.254f;
  const SegmentOptions classes{true, true, 2};
  std::set<std::string> seen;
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    const LineRecord& s = segments_[i];
    std::istringstream fields(entity_lines[i]);
    std::string tag, layer, x1, y1, x2, y2, z1, z2, color, linetype;
    fields >> tag >> layer >> x1 >> y1 >> x2 >> y2 >> z1 >> z2 >> color >> linetype;
    EXPECT_EQ(layer, dxf_layer_name(classify_segment(s, rate, classes))) << entity_lines[i];
    // What was written, to the last of its eight decimals, as the reader parsed it.
    auto value = [&](std::int32_t c) { return std::strtod(CoordinateText(c, rate, 8).c_str(), nullptr); };
    EXPECT_EQ(std::strtod(x1.c_str(), nullptr), value(s.x1)) << entity_lines[i];
    EXPECT_EQ(std::strtod(y1.c_str(), nullptr), value(s.y1)) << entity_lines[i];
    EXPECT_EQ(std::strtod(x2.c_str(), nullptr), value(s.x2)) << entity_lines[i];
    EXPECT_EQ(std::strtod(y2.c_str(), nullptr), value(s.y2)) << entity_lines[i];
    EXPECT_EQ(z1 + z2, "0.00.0");
    EXPECT_EQ(color, "1");
    EXPECT_EQ(linetype, "CONTINUOUS");
    seen.insert(layer);
    if (HasFailure()) break;
  }
  EXPECT_EQ(seen, (std::set<std::string>{"Horizon", "Oblique", "Short", "Vertical"}));

  const auto [ogr, ogr_status] = capture(kOgrinfo + " -ro -al -so " + quoted(file) + " 2>&1");
  ASSERT_EQ(ogr_status, 0) << ogr;
  EXPECT_NE(ogr.find("Feature Count: " + std::to_string(segments_.size()) + "\n"), std::string::npos) << ogr;
}

// The fitted drawing's ARC and CIRCLE entities (--cad) as ezdxf and ogrinfo read
// them: centre, radius and angles, and the arc running counter-clockwise from
// its start (ezdxf's point halfway along it; every point of GDAL's polyline for
// it within its sweep), in each quadrant and across 0°.
class CadDxfReaders : public ConverterFixture {};

TEST_F(CadDxfReaders, ArcsAndCirclesReadBack) {
  ASSERT_EQ(capture(kPython + " -c 'import ezdxf' 2>&1").second, 0) << "python3-ezdxf is not installed";
  ASSERT_TRUE(fs::exists(kOgrinfo)) << kOgrinfo << " is missing: install gdal-bin (scripts/test.sh does)";
  constexpr double kPi = std::numbers::pi;
  cad::CadDrawing drawing;
  drawing.lines.push_back({{0, 0}, {30, 40}});
  const double arcs[][2] = {{20, 50}, {110, 50}, {200, 50}, {290, 50}, {330, 60}, {45, 270}, {350, 350}};
  for (std::size_t i = 0; i < std::size(arcs); ++i) {
    const double k = static_cast<double>(i);
    drawing.arcs.push_back({{100 + 50 * k, 80 - 7 * k}, 10 + 3 * k, arcs[i][0] * kPi / 180, arcs[i][1] * kPi / 180});
  }
  drawing.circles = {{{-20, 15.5}, 12.25}, {{300, -40}, 3}};
  const float rate = 0.5f;
  ExportOptions options;
  options.dxf_decimals = 8;
  options.dxf_layers = {true, true, 6};
  const std::string header = read_file(fs::path(VP_SOURCE_DIR) / "data" / "DXFHED.TXT");
  options.dxf_header = header;
  const fs::path file = folder_ / "fitted.dxf";
  std::ofstream(file, std::ios::binary) << testing::written_cad_bytes("dxf", drawing, rate, options);

  const fs::path script = folder_ / "read.py";
  std::ofstream(script) << "import sys, ezdxf\n"
                           "for e in ezdxf.readfile(sys.argv[1]).modelspace():\n"
                           "    c = e.dxf.center if e.dxftype() in ('ARC', 'CIRCLE') else None\n"
                           "    if e.dxftype() == 'ARC':\n"
                           "        s, m, t = e.vertices(list(e.angles(3)))\n"
                           "        print('ARC', e.dxf.layer, c.x, c.y, e.dxf.radius, e.dxf.start_angle,\n"
                           "              e.dxf.end_angle, s.x, s.y, m.x, m.y, t.x, t.y)\n"
                           "    elif e.dxftype() == 'CIRCLE':\n"
                           "        print('CIRCLE', e.dxf.layer, c.x, c.y, e.dxf.radius)\n"
                           "    else:\n"
                           "        print(e.dxftype(), e.dxf.layer)\n";
  const auto [report, status] = capture(kPython + " " + quoted(script) + " " + quoted(file) + " 2>&1");
  ASSERT_EQ(status, 0) << report;
  std::istringstream lines(report);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "LINE Oblique");
  const auto layer_of = [&](double length) { return length * rate < 6 ? "Short" : "Oblique"; };
  for (const cad::Arc& arc : drawing.arcs) {
    ASSERT_TRUE(std::getline(lines, line));
    SCOPED_TRACE(line);
    std::istringstream f(line);
    std::string kind, layer;
    double cx, cy, r, start, end, sx, sy, mx, my, tx, ty;
    f >> kind >> layer >> cx >> cy >> r >> start >> end >> sx >> sy >> mx >> my >> tx >> ty;
    EXPECT_EQ(kind, "ARC");
    EXPECT_EQ(layer, layer_of(cad::arc_length(arc)));
    EXPECT_NEAR(cx, arc.centre.x * rate, 1e-8);
    EXPECT_NEAR(cy, arc.centre.y * rate, 1e-8);
    EXPECT_NEAR(r, arc.radius * rate, 1e-8);
    EXPECT_NEAR(start, std::fmod(arc.start * 180 / kPi, 360), 1e-7);
    EXPECT_NEAR(end, std::fmod((arc.start + arc.sweep) * 180 / kPi, 360), 1e-7);
    const cad::Point points[] = {cad::arc_start_point(arc), cad::point_on_arc(arc, arc.start + arc.sweep / 2),
                                 cad::arc_end_point(arc)};
    const double read[][2] = {{sx, sy}, {mx, my}, {tx, ty}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(read[i][0], points[i].x * rate, 1e-6) << "point " << i;
      EXPECT_NEAR(read[i][1], points[i].y * rate, 1e-6) << "point " << i;
    }
  }
  for (const cad::Circle& circle : drawing.circles) {
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream f(line);
    std::string kind, layer;
    double cx, cy, r;
    f >> kind >> layer >> cx >> cy >> r;
    EXPECT_EQ(kind + " " + layer, std::string("CIRCLE ") + layer_of(cad::circle_length(circle))) << line;
    EXPECT_NEAR(cx, circle.centre.x * rate, 1e-8) << line;
    EXPECT_NEAR(cy, circle.centre.y * rate, 1e-8) << line;
    EXPECT_NEAR(r, circle.radius * rate, 1e-8) << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;

  // GDAL draws each curve as a polyline; its order of points is its own.
  const auto [ogr, ogr_status] = capture(kOgrinfo + " -ro -al " + quoted(file) + " 2>&1");
  ASSERT_EQ(ogr_status, 0) << ogr;
  std::vector<std::vector<std::pair<double, double>>> features;
  std::vector<std::string> layers;
  std::istringstream ogr_lines(ogr);
  for (std::string l; std::getline(ogr_lines, l);) {
    if (const auto at = l.find("Layer (String) = "); at != std::string::npos) layers.push_back(l.substr(at + 17));
    const auto at = l.find("LINESTRING (");
    if (at == std::string::npos) continue;
    std::string coordinates = l.substr(at + 12);
    for (char& c : coordinates)
      if (c == ',' || c == ')') c = ' ';
    std::istringstream in(coordinates);
    features.emplace_back();
    for (double x, y; in >> x >> y;) features.back().push_back({x, y});
  }
  ASSERT_EQ(features.size(), drawing.entity_count()) << ogr;
  ASSERT_EQ(layers.size(), drawing.entity_count()) << ogr;
  for (std::size_t i = 0; i < drawing.arcs.size(); ++i) {
    const cad::Arc& arc = drawing.arcs[i];
    const auto& points = features[1 + i];
    SCOPED_TRACE("arc " + std::to_string(i));
    EXPECT_EQ(layers[1 + i], layer_of(cad::arc_length(arc)));
    ASSERT_GE(points.size(), 3u);
    for (const auto& [x, y] : points) {
      const double dx = x - arc.centre.x * rate, dy = y - arc.centre.y * rate;
      EXPECT_NEAR(std::hypot(dx, dy), arc.radius * rate, 1e-6);
      const double along = std::fmod(std::atan2(dy, dx) - arc.start + 4 * kPi, 2 * kPi);
      EXPECT_TRUE(along <= arc.sweep + 1e-6 || along >= 2 * kPi - 1e-6) << x << " " << y << " outside the sweep";
    }
    const cad::Point from = cad::arc_start_point(arc), to = cad::arc_end_point(arc);
    const auto near = [&](std::pair<double, double> p, cad::Point q) {
      return std::hypot(p.first - q.x * rate, p.second - q.y * rate) < 1e-6;
    };
    EXPECT_TRUE((near(points.front(), from) && near(points.back(), to)) ||
                (near(points.front(), to) && near(points.back(), from)));
  }
  for (std::size_t i = 0; i < drawing.circles.size(); ++i) {
    const cad::Circle& circle = drawing.circles[i];
    for (const auto& [x, y] : features[1 + drawing.arcs.size() + i])
      EXPECT_NEAR(std::hypot(x - circle.centre.x * rate, y - circle.centre.y * rate), circle.radius * rate, 1e-6);
  }
}

}  // namespace
}  // namespace vp::cli
