// The converter's SVG output, --suggest-passes and --passes auto.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <random>
#include <sstream>

#include "cli/converter.h"
#include "core/conversion.h"
#include "export/svg_writer.h"
#include "scan/pass_advisor.h"
#include "support/recording_host.h"
#include "support/written_bytes.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "tests/cli/converter_fixture.h"

namespace vp::cli {
namespace {

class SvgAndPasses : public ConverterFixture {
 protected:
  std::string drawing(const std::string& name, int thickness, const InkImage** image_out = nullptr) {
    DrawingOptions options;
    options.min_thickness = options.max_thickness = thickness;
    images_.push_back(generate_drawing(360, 260, static_cast<std::uint32_t>(thickness), options));
    if (image_out != nullptr) *image_out = &images_.back();
    EXPECT_TRUE(write_bmp_file(path(name), images_.back(), {}));
    return path(name);
  }
  std::list<InkImage> images_;
};

// The options reach the SVG writer: the file is the one the SVG writer writes for the
// same conversion with the same magnification and DXF options.
TEST_F(SvgAndPasses, SvgOutputUsesTheDxfOptions) {
  const std::string bmp = drawing("a.bmp", 3);
  struct Case {
    std::vector<std::string> args;
    float rate;
    int decimals;
    SegmentOptions layers;
  };
  const std::vector<Case> cases = {
      {{}, 1.0f, 4, {}},
      {{"--rate", "0.3", "--dxf-decimals", "2", "--dxf-split"}, 0.3f, 2, {true, false, 100}},
      {{"--rate=-2", "--dxf-short", "7", "--dxf-decimals=0"}, -2.0f, 0, {false, true, 7}},
  };
  Conversion conversion;
  Outcome conversion_outcome = Outcome::Done;
  testing::RecordingHost conversion_host;
  conversion_outcome = conversion.ChangeImage(bmp, 1, conversion_host).outcome;
  ASSERT_EQ(conversion_outcome, Outcome::Done);
  for (const Case& c : cases) {
    std::vector<std::string> args = {bmp, "-o", path("a.SVG"), "--passes", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(run(args), kExitWritten) << err_.str();
    ExportOptions options;
    options.dxf_decimals = c.decimals;
    options.dxf_layers = c.layers;
    EXPECT_EQ(read(path("a.SVG")), testing::written_bytes("svg", conversion.records(), c.rate, options)) << c.rate;
  }
  // A batch in SVG.
  const std::string other = drawing("b.bmp", 2);
  ASSERT_EQ(run({bmp, other, "--to", "svg", "--out-dir", path("out"), "--jobs", "2"}), kExitWritten) << out_.str();
  EXPECT_TRUE(read(path("out/a.svg")).starts_with("<?xml"));
  EXPECT_TRUE(read(path("out/b.svg")).starts_with("<?xml"));
}

TEST_F(SvgAndPasses, SuggestPassesAndPassesAuto) {
  for (const int t : {1, 4, 9}) {
    SCOPED_TRACE(::testing::Message() << "strokes " << t << " pixels wide");
    const InkImage* image = nullptr;
    const std::string bmp = drawing("t" + std::to_string(t) + ".bmp", t, &image);
    PixelGrid grid;
    ASSERT_TRUE(grid.reset(image->width, image->height));
    for (std::int32_t r = 0; r < image->height; ++r) grid.set_image_row(r, image->row(r));
    const PassAdvice advice = advise_passes(grid);
    const std::string count = std::to_string(advice.passes);

    ASSERT_EQ(run({"--suggest-passes", bmp}), kExitWritten) << err_.str();
    EXPECT_TRUE(out_.str().starts_with(count + (advice.passes == 1 ? " pass: " : " passes: "))) << out_.str();
    EXPECT_NE(out_.str().find("the typical stroke is "), std::string::npos) << out_.str();

    ASSERT_EQ(run({bmp, "-o", path("auto.txt"), "--passes", "auto"}), kExitWritten) << err_.str();
    EXPECT_TRUE(out_.str().starts_with("--passes auto: " + count + " pass")) << out_.str();
    ASSERT_EQ(run({bmp, "-o", path("fixed.txt"), "--passes", count}), kExitWritten) << err_.str();
    EXPECT_EQ(read(path("auto.txt")), read(path("fixed.txt")));
  }
  struct Failure {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const std::vector<Failure> failures = {
      {{"--suggest-passes", path("missing.bmp")}, kExitUnreadable, "画像ファイルを読込めませんでした。"},
      {{path("missing.bmp"), "-o", path("x.txt"), "--passes", "auto"},
       kExitUnreadable,
       "画像ファイルを読込めませんでした。"},
      {{"--suggest-passes", path("t1.bmp"), path("t4.bmp")}, kExitUsage, "--suggest-passes"},
      {{path("t1.bmp"), "-o", path("x.txt"), "--passes", "automatic"}, kExitUsage, "--passes"},
  };
  for (const Failure& f : failures) {
    EXPECT_EQ(run(f.args), f.status) << f.args.front();
    EXPECT_NE(err_.str().find(f.says), std::string::npos) << err_.str();
  }
}

}  // namespace
}  // namespace vp::cli
