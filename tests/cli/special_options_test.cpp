// --special and --tolerance: parsing, and the merged output.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "cli/converter.h"
#include "cli/options.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::cli {
namespace {

ParseResult parse(std::vector<std::string> extra) {
  std::vector<std::string> args = {"in.bmp", "-o", "out.txt"};
  args.insert(args.end(), extra.begin(), extra.end());
  return parse_options(args);
}

TEST(SpecialOptions, ToleranceIsATenthFromPointOneToTen) {
  struct Case {
    std::vector<std::string> args;
    bool special;
    std::int32_t tenths;  // -1: a usage error naming --tolerance
  };
  const std::vector<Case> cases = {
      {{}, false, 20},
      {{"--special"}, true, 20},
      {{"--special", "--tolerance", "2.5"}, true, 25},
      {{"--tolerance=0.1", "--special"}, true, 1},
      {{"--tolerance", "10"}, false, 100},
      {{"--tolerance", "10.0"}, false, 100},
      {{"--tolerance", "1.20"}, false, 12},
      {{"--tolerance", "007"}, false, 70},
      {{"--tolerance", "0"}, false, -1},
      {{"--tolerance", "0.0"}, false, -1},
      {{"--tolerance", "0.05"}, false, -1},
      {{"--tolerance", "1.25"}, false, -1},
      {{"--tolerance", "10.1"}, false, -1},
      {{"--tolerance", "11"}, false, -1},
      {{"--tolerance", "-1"}, false, -1},
      {{"--tolerance", ".5"}, false, -1},
      {{"--tolerance", "5."}, false, -1},
      {{"--tolerance", "2,5"}, false, -1},
      {{"--tolerance", "1e1"}, false, -1},
      {{"--tolerance", " 2"}, false, -1},
      {{"--tolerance", "99999999999"}, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParseResult result = parse(c.args);
    if (c.tenths < 0) {
      EXPECT_FALSE(result.options.has_value());
      EXPECT_NE(result.error.find("--tolerance"), std::string::npos) << result.error;
      continue;
    }
    ASSERT_TRUE(result.options.has_value()) << result.error;
    EXPECT_EQ(result.options->special, c.special);
    EXPECT_EQ(result.options->tolerance_tenths, c.tenths);
  }
  EXPECT_NE(parse({"--tolerance"}).error.find("--tolerance"), std::string::npos);
  EXPECT_NE(parse({"--special=yes"}).error.find("--special"), std::string::npos);
}

class SpecialConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("vp_cli_special_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  // The output's lines, or empty when the converter failed.
  std::vector<std::string> convert(const std::string& bmp, std::vector<std::string> options, int& status) {
    const std::string out = path("out.txt");
    std::filesystem::remove(out);
    std::vector<std::string> args = {bmp, "-o", out, "--quiet", "--decimals", "0"};
    args.insert(args.end(), options.begin(), options.end());
    std::ostringstream o, e;
    status = run_converter(args, o, e, false);
    std::ifstream in(out, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path folder_;
};

TEST_F(SpecialConverterTest, SpecialMergesAStaircaseWithinTheTolerance) {
  // A shallow line, one pixel thick, from pixel (1, 8) to pixel (37, 2): a staircase
  // of six runs of six pixels, a last single pixel, and the six diagonal steps
  // between them.
  InkImage image(40, 10);
  for (std::int32_t c = 1; c <= 37; ++c) image.set(c, 8 - (c - 1) / 6);
  const std::string bmp = path("stairs.bmp");
  const auto bytes = encode_bmp(image, {});
  std::ofstream(bmp, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  int status = -1;
  const auto traced = convert(bmp, {"--passes", "1"}, status);
  EXPECT_EQ(status, kExitWritten);
  EXPECT_EQ(traced.size(), 12u);
  // Merged: one line from end to end (grid y = 10 - row).
  const auto merged = convert(bmp, {"--passes", "1", "--special"}, status);
  EXPECT_EQ(status, kExitWritten);
  EXPECT_EQ(merged, std::vector<std::string>{"2 2 38 8\r"});
  // Within a tenth of a pixel no step merges with the next: the same twelve
  // segments, now in chain order from the first end point, each starting where the
  // one before ends.
  const auto tight = convert(bmp, {"--passes", "1", "--special", "--tolerance", "0.1"}, status);
  EXPECT_EQ(status, kExitWritten);
  ASSERT_EQ(tight.size(), 12u);
  EXPECT_EQ(tight.front(), "2 2 7 2\r");
  EXPECT_EQ(tight.back(), "37 7 38 8\r");
  for (std::size_t i = 1; i < tight.size(); ++i) {
    std::istringstream before(tight[i - 1]), here(tight[i]);
    int x1, y1, x2, y2, a, b;
    before >> x1 >> y1 >> x2 >> y2;
    here >> a >> b;
    EXPECT_EQ(a, x2) << i;
    EXPECT_EQ(b, y2) << i;
  }
}

}  // namespace
}  // namespace vp::cli
