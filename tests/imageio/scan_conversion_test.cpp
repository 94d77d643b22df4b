// Grey and colour scans through the converter: the threshold and speck options,
// the ink file, the advice when the default rule finds nothing, --info and
// --suggest-passes on the cleaned ink.
#include <gtest/gtest.h>

#include <bit>
#include <sstream>

#include "cli/converter.h"
#include "image_files.h"
#include "support/degraded_scan.h"

namespace vp::testing_imageio {
namespace {

class ScanConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    const InkImage drawing = testing::scan_drawing(400, 300, 9, false);
    testing::ScanLook look;
    look.dust = 150;
    grey_ = folder_.path("grey.png");
    ASSERT_TRUE(write_png(grey_, raw_from_scan(testing::degrade(drawing, look), PixelKind::Grey), {}));
    look.paper[2] = 190;
    look.ink[0] = 40, look.ink[1] = 60, look.ink[2] = 170;
    colour_ = folder_.path("colour.png");
    ASSERT_TRUE(write_png(colour_, raw_from_scan(testing::degrade(drawing, look), PixelKind::Rgb), {}));
    bmp_ = folder_.path("colour.bmp");
    ASSERT_TRUE(write_scan_bmp(bmp_, testing::degrade(drawing, look), 24));
    bilevel_ = folder_.path("clean.pbm");
    ASSERT_TRUE(write_pbm(bilevel_, drawing, false));
  }
  int run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return cli::run_converter(args, out_, err_, false);
  }
  // Ink pixels of a P4 file written by the converter.
  static std::size_t pbm_ink(const std::string& path) {
    const std::vector<std::uint8_t> bytes = read_bytes(path);
    std::size_t newlines = 0, i = 0;
    while (i < bytes.size() && newlines < 2) newlines += bytes[i++] == '\n';
    std::size_t ink = 0;
    for (; i < bytes.size(); ++i) ink += static_cast<std::size_t>(std::popcount(bytes[i]));
    return ink;
  }

  ScratchFolder folder_;
  std::string grey_, colour_, bmp_, bilevel_;
  std::ostringstream out_, err_;
};

TEST_F(ScanConversion, BadValuesAreUsageErrors) {
  const std::string out = folder_.path("out.txt");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {grey_, "-o", out, "--threshold", "darkest"},
           {grey_, "-o", out, "--threshold", "0"},
           {grey_, "-o", out, "--threshold", "256"},
           {grey_, "-o", out, "--threshold"},
           {grey_, "-o", out, "--despeckle", "-1"},
           {grey_, "-o", out, "--despeckle", "10001"},
           {grey_, "-o", out, "--despeckle", "8px"},
           {grey_, "-o", out, "--ink"},
           {grey_, colour_, "--to", "txt", "--out-dir", folder_.path("d"), "--ink", folder_.path("i.pbm")},
       }) {
    EXPECT_EQ(run(args), cli::kExitUsage) << args[3];
    EXPECT_NE(err_.str().find("vpconvert: "), std::string::npos);
  }
}

TEST_F(ScanConversion, PngAndTiffScansGetAutoByDefaultWhileBmpGetsTheAdvice) {
  const std::string out = folder_.path("out.txt"), by_default = folder_.path("default.pbm"),
                    with_auto = folder_.path("auto.pbm");
  struct Case {
    std::string scan;
    bool advised;  // the default rule found nothing and says so
  };
  for (const Case& c : {Case{grey_, false}, Case{colour_, false}, Case{bmp_, true}}) {
    SCOPED_TRACE(c.scan);
    ASSERT_EQ(run({c.scan, "-o", out, "--ink", by_default}), cli::kExitWritten);
    EXPECT_EQ(std::stoi(out_.str()) == 0, c.advised);
    EXPECT_EQ(err_.str().find("--threshold auto") != std::string::npos, c.advised);
    ASSERT_EQ(run({c.scan, "-o", out, "--threshold", "auto", "--ink", with_auto}), cli::kExitWritten);
    EXPECT_EQ(err_.str(), "");
    EXPECT_GT(std::stoi(out_.str()), 200);
    EXPECT_EQ(read_bytes(by_default) == read_bytes(with_auto), !c.advised);
  }
  // A clean bitmap found ink as ever: nothing to advise.
  ASSERT_EQ(run({bilevel_, "-o", out}), cli::kExitWritten);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(ScanConversion, TheInkFileIsWhatThinningGetsSpecksRemoved) {
  const std::string out = folder_.path("out.txt"), ink = folder_.path("ink.pbm"), thinned = folder_.path("thin.pbm");
  ASSERT_EQ(run({grey_, "-o", out, "--threshold", "auto", "--ink", ink, "--thinned", thinned}), cli::kExitWritten);
  const std::size_t with_dust = pbm_ink(ink);
  EXPECT_GT(with_dust, pbm_ink(thinned));  // taken before the passes
  ASSERT_EQ(run({grey_, "-o", out, "--threshold", "auto", "--despeckle", "12", "--ink", ink}), cli::kExitWritten);
  EXPECT_LT(pbm_ink(ink), with_dust);
  EXPECT_GT(pbm_ink(ink), with_dust * 9 / 10);  // the dust, not the drawing
  // The same file written for a clean bitmap under the default rule: the bitmap itself.
  ASSERT_EQ(run({bilevel_, "-o", out, "--ink", ink}), cli::kExitWritten);
  EXPECT_EQ(pbm_ink(ink), testing::scan_drawing(400, 300, 9, false).ink_count());
}

TEST_F(ScanConversion, InfoSummarisesGreyLevelsAndSuggestPassesMeasuresTheCleanedInk) {
  ASSERT_EQ(run({"--info", grey_}), cli::kExitWritten);
  EXPECT_NE(out_.str().find("grey levels: "), std::string::npos);
  EXPECT_NE(out_.str().find("threshold: auto by format; auto takes levels below "), std::string::npos);
  ASSERT_EQ(run({"--info", bmp_}), cli::kExitWritten);
  EXPECT_NE(out_.str().find("threshold: nearest-black by format; auto takes levels below "), std::string::npos);
  ASSERT_EQ(run({"--info", bilevel_}), cli::kExitWritten);
  EXPECT_EQ(out_.str().find("grey levels"), std::string::npos);

  ASSERT_EQ(run({"--suggest-passes", bmp_}), cli::kExitWritten);
  EXPECT_NE(out_.str().find("no ink"), std::string::npos);
  ASSERT_EQ(run({"--suggest-passes", grey_}), cli::kExitWritten);
  EXPECT_NE(out_.str().find("typical stroke"), std::string::npos);
}

}  // namespace
}  // namespace vp::testing_imageio
