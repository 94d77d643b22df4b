// The converter's outputs for a few small drawings, byte for byte as they were
// recorded (tests/data/golden): every format and mode, so that any change of the
// bytes a user's CAD program reads shows here first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/converter.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct GoldenCase {
  std::string expected;  // file name in the golden folder, its extension picks the format
  std::string input;
  std::vector<std::string> options;
};

// cases.tsv: expected output, input, options separated by spaces; '#' starts a comment line.
std::vector<GoldenCase> read_cases(const fs::path& table) {
  std::vector<GoldenCase> cases;
  std::istringstream lines(read_file(table));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    GoldenCase c;
    std::getline(fields, c.expected, '\t');
    std::getline(fields, c.input, '\t');
    std::string option_text;
    std::getline(fields, option_text);
    std::istringstream words(option_text);
    for (std::string word; words >> word;) c.options.push_back(word);
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST(GoldenFiles, EveryFormatAndModeKeepsItsBytes) {
  const fs::path golden = fs::path(VP_SOURCE_DIR) / "tests" / "data" / "golden";
  const fs::path header = fs::path(VP_SOURCE_DIR) / "data" / "DXFHED.TXT";
  const std::vector<GoldenCase> cases = read_cases(golden / "cases.tsv");
  ASSERT_GE(cases.size(), 15u);
  const fs::path folder = fs::temp_directory_path() / ("vp_golden_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  for (const GoldenCase& c : cases) {
    const fs::path written = folder / c.expected;
    std::vector<std::string> args = {
        (golden / c.input).string(), "-o", written.string(), "--dxf-header", header.string(), "--quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::ostringstream out, err;
    ASSERT_EQ(run_converter(args, out, err, false), kExitWritten) << c.expected << ": " << err.str();
    const std::string expected = read_file(golden / c.expected);
    ASSERT_FALSE(expected.empty()) << c.expected;
    EXPECT_TRUE(read_file(written) == expected) << c.expected << " differs from its recorded bytes";
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vp::cli
