#include "cli/converter.h"
#include "tests/cli/converter_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "cli/options.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::cli {
namespace {

class ConverterTest : public ConverterFixture {
 protected:
  void SetUp() override {
    ConverterFixture::SetUp();
    drawing_ = path("drawing.bmp");
    InkImage image(12, 6);
    for (std::int32_t c = 2; c < 10; ++c) image.set(c, 2);  // one stroke: grid (3, 4) to (10, 4)
    const auto bytes = encode_bmp(image, {});
    std::ofstream(drawing_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  std::string drawing_;
};

TEST_F(ConverterTest, WritesCoordinateTextAndReportsTheCount) {
  struct Case {
    std::vector<std::string> options;
    std::string file;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{}, "a.txt", "3.0000 4.0000 10.0000 4.0000\r\n"},
      {{"--rate", "0.5", "--decimals", "0"}, "b.csv", "2 2 5 2\r\n"},
      {{"--rate=0.1", "--decimals=5", "--separator=comma"},
       "c.text",
       "0.30000000,0.40000001,1.00000001,0.40000001\r\n"},
      {{"--rate", "-1", "--separator", "minus", "--decimals", "1"}, "d.TXT", "-3.0--4.0--10.0--4.0\r\n"},
      {{"--passes", "100", "--separator", "slash"}, "e.txt", "3.0000/4.0000/10.0000/4.0000\r\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {drawing_, "-o", path(c.file)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(run(args), kExitWritten) << err_.str();
    EXPECT_EQ(read(path(c.file)), c.expected) << c.file;
    EXPECT_EQ(out_.str().substr(0, out_.str().find('\n')), "1本のデータがあるよ。");
  }
}

TEST_F(ConverterTest, UsageErrorsNameTheOption) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no input"},
      {{drawing_}, "no output"},
      {{drawing_, "-o"}, "-o"},
      {{drawing_, "-o", path("x.txt"), "--passes", "0"}, "--passes"},
      {{drawing_, "-o", path("x.txt"), "--passes", "101"}, "--passes"},
      {{drawing_, "-o", path("x.txt"), "--passes", "3x"}, "--passes"},
      {{drawing_, "-o", path("x.txt"), "--decimals", "6"}, "--decimals"},
      {{drawing_, "-o", path("x.txt"), "--separator", "tab"}, "--separator"},
      {{drawing_, "-o", path("x.txt"), "--colour", "red"}, "--colour"},
      {{drawing_, "-o", path("x.png")}, "x.png"},
      {{drawing_, "-o", path("x.dwg")}, "x.dwg"},
      {{drawing_, drawing_, "-o", path("x.txt")}, "-o names a single output"},
  };
  for (const auto& [args, named] : cases) {
    EXPECT_EQ(run(args), kExitUsage) << named;
    EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(path("x.txt")));
  }
  EXPECT_EQ(run({"--help"}), kExitWritten);
  for (const char* option : {"--passes", "--rate", "--separator", "--decimals", "--thinned", "--quiet", "-o"})
    EXPECT_NE(out_.str().find(option), std::string::npos) << option;
}

TEST_F(ConverterTest, FailuresLeaveNoFileAndKeepAnEarlierOne) {
  const std::string earlier = path("keep.txt");
  std::ofstream(earlier, std::ios::binary) << "earlier contents\r\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      // Options are checked before the conversion; the thinned image goes only with a written output.
      {{drawing_, "-o", earlier, "--rate", "1,5", "--thinned", path("t.pbm")}, kExitUsage, "--rate"},
      {{drawing_, "-o", earlier, "--rate", ""}, kExitUsage, "--rate"},
      {{drawing_, "-o", path("no/such/folder/x.txt"), "--thinned", path("t.pbm")},
       kExitNotWritten,
       "保存できませんでした。"},
      {{path("missing.bmp"), "-o", earlier}, kExitUnreadable, "画像ファイルを読込めませんでした。"},
      {{drawing_, "-o", path("no/such/folder/x.txt")}, kExitNotWritten, "保存できませんでした。"},
      {{drawing_, "-o", folder_.string() + "/"}, kExitUsage, "output format"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.args), c.status) << c.message;
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
    EXPECT_EQ(read(earlier), "earlier contents\r\n");
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"drawing.bmp", "keep.txt"}));
}

TEST_F(ConverterTest, ThinnedImageShowsWhatThePassesLeft) {
  InkImage thick(10, 5);
  for (std::int32_t r = 1; r <= 3; ++r)
    for (std::int32_t c = 1; c <= 8; ++c) thick.set(c, r);
  const auto bytes = encode_bmp(thick, {});
  std::ofstream(path("thick.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_EQ(run({path("thick.bmp"), "-o", path("t.txt"), "--thinned", path("t.pbm"), "--quiet"}), kExitWritten);
  EXPECT_TRUE(out_.str().empty());
  // A bar 8 x 3 keeps its middle row shortened by one cell at each end: pixels 2..7 of row 2.
  const std::string expected =
      std::string("P4\n10 5\n") + std::string("\0\0\0\0", 4) + std::string("\x3f\0", 2) + std::string("\0\0\0\0", 4);
  EXPECT_EQ(read(path("t.pbm")), expected);
}

TEST_F(ConverterTest, TheProgramsExitStatusIsTheOutcome) {
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  auto status_of = [](const std::string& command) {
    const int raw = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(status_of(program + " " + drawing_ + " -o " + path("ok.txt")), 0);
  EXPECT_EQ(status_of(program + " " + drawing_ + " -o " + path("bad.txt") + " --rate x"), 64);
  EXPECT_EQ(status_of(program + " " + path("none.bmp") + " -o " + path("bad.txt")), 3);
  EXPECT_EQ(status_of(program + " --passes 0"), 64);
}

}  // namespace
}  // namespace vp::cli
