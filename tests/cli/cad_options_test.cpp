// --cad and --keep-skew: how they are read, what reaches the conversion (also
// through a batch), and what the converter says of the fitted drawing and its skew.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/batch.h"
#include "cli/cad_report.h"
#include "cli/converter.h"
#include "cli/options.h"
#include "cli/single_conversion.h"
#include "core/conversion.h"
#include "core/scale.h"
#include "imageio/image_formats.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "tests/cli/converter_fixture.h"
#include "tests/support/written_bytes.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

class CadOptionsTest : public ConverterFixture {
 protected:
  void SetUp() override {
    ConverterFixture::SetUp();
    for (int i = 0; i < 2; ++i) {
      const auto bytes = encode_bmp(generate_drawing(200 + 40 * i, 150, static_cast<std::uint32_t>(31 + i)), {});
      inputs_.push_back(path("drawing" + std::to_string(i) + ".bmp"));
      std::ofstream(inputs_.back(), std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
  }

  // The drawing the conversion itself fits, to hold the converter's words against.
  static cad::CadDrawing fitted(const std::string& input, bool keep_skew, std::int32_t passes = 3) {
    struct Quiet : ConversionHost {
      void conversion_started() override {}
      void conversion_finished() override {}
      bool serve_events() override { return true; }
      void set_bar(ProgressBar, int) override {}
      void set_label(ProgressLabel, std::string_view) override {}
    } host;
    ConversionSettings settings;
    settings.Cad = kFlagOn;
    settings.CadKeepSkew = flag_value(keep_skew);
    Conversion conversion(any_image_reader_factory());
    EXPECT_TRUE(conversion.ChangeImage(input, passes, host, settings).cad);
    return conversion.cad_drawing();
  }

  std::vector<std::string> inputs_;
};

TEST_F(CadOptionsTest, OptionsReachTheSettingsOrAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::int32_t cad, keep_skew;  // 0: a usage error
  };
  const std::vector<Case> cases = {
      {{}, kFlagOff, kFlagOff},          {{"--cad"}, kFlagOn, kFlagOff}, {{"--keep-skew", "--cad"}, kFlagOn, kFlagOn},
      {{"--keep-skew"}, 0, 0},           {{"--cad=yes"}, 0, 0},          {{"--cad", "--keep-skew=1"}, 0, 0},
      {{"--info", "--keep-skew"}, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {inputs_[0], "-o", path("out.dxf")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParseResult parsed = parse_options(args);
    const std::string named = c.args.empty() ? "" : c.args.back();
    if (c.cad == 0) {
      EXPECT_FALSE(parsed.options) << named;
      EXPECT_EQ(run(args), kExitUsage) << named;
      EXPECT_NE(err_.str().find(named.substr(0, named.find('='))), std::string::npos) << err_.str();
      continue;
    }
    ASSERT_TRUE(parsed.options) << parsed.error;
    const ConversionSettings settings = conversion_settings_of(*parsed.options);
    EXPECT_EQ(settings.Cad, c.cad) << named;
    EXPECT_EQ(settings.CadKeepSkew, c.keep_skew) << named;
  }
}

// A single conversion and every file of a batch count and save what the fit
// made, and a batch's outputs are the single conversions'.
TEST_F(CadOptionsTest, ConversionsAndBatchesSayWhatTheFitMade) {
  for (const bool keep : {false, true}) {
    std::vector<std::string> options = {"--cad", "--rate", "0.5"};
    if (keep) options.push_back("--keep-skew");
    std::vector<std::string> batch = inputs_;
    batch.insert(batch.end(), {"--to", "txt", "--out-dir", path("batch"), "-j", "2"});
    batch.insert(batch.end(), options.begin(), options.end());
    ASSERT_EQ(run(batch), kExitWritten) << err_.str();
    const std::string batch_said = out_.str();
    for (const std::string& input : inputs_) {
      const cad::CadDrawing expected = fitted(input, keep);
      const std::string count = std::to_string(expected.entity_count()) + "本のデータがあるよ。";
      const std::string output = batch_output_path(*parse_options(batch).options, input);
      EXPECT_NE(batch_said.find(input + " -> " + output + ": " + count), std::string::npos) << batch_said;

      std::vector<std::string> single = {input, "-o", path("single.txt")};
      single.insert(single.end(), options.begin(), options.end());
      ASSERT_EQ(run(single), kExitWritten) << err_.str();
      std::istringstream said(out_.str());
      std::string first, second;
      std::getline(said, first);
      std::getline(said, second);
      EXPECT_EQ(first, count);
      EXPECT_EQ(second, cad_summary_text(expected, keep));
      EXPECT_EQ(read(path("single.txt")), testing::written_cad_bytes("text", expected, 0.5f)) << input;
      EXPECT_EQ(read(output), read(path("single.txt"))) << input;
    }
  }
}

TEST_F(CadOptionsTest, SkewIsSaidWithWhatBecameOfIt) {
  struct Case {
    double skew;
    bool straightened, keep_skew, converted;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0.37, true, false, true, "0.37°: straightened"},
      {-1.254, true, false, true, "-1.25°: straightened"},
      {0.37, false, true, true, "0.37°: kept (--keep-skew)"},
      {0.37, false, false, false, "0.37°: --cad would straighten it"},
      {-4.99, false, true, false, "-4.99°: --keep-skew would keep it"},
      {0.04, false, false, true, "0.04°: under 0.05°, left as it is"},
      {-0.001, false, false, true, "0.00°: under 0.05°, left as it is"},
      {0.05, false, false, false, "0.05°: --cad would straighten it"},
      {5.0, false, false, false, "5.00°: --cad would straighten it"},
      {-5.01, false, false, false, "-5.01°: over 5.00°, taken as drawn"},
      {12.0, false, true, true, "12.00°: over 5.00°, taken as drawn"},
  };
  for (const Case& c : cases) {
    cad::CadDrawing drawing;
    drawing.skew_degrees = c.skew;
    drawing.straightened = c.straightened;
    EXPECT_EQ(skew_text(drawing, c.keep_skew, c.converted), c.expected) << c.skew;
  }
  cad::CadDrawing counted;
  counted.lines.resize(3);
  counted.arcs.resize(1);
  EXPECT_EQ(cad_summary_text(counted, false), "cad: 3 lines, 1 arc, 0 circles; skew 0.00°: under 0.05°, left as it is");
}

// --info --cad measures the skew on a conversion with the passes given; without
// --cad it converts nothing. --suggest-passes takes --cad alongside.
TEST_F(CadOptionsTest, InfoMeasuresTheSkewOnlyWithCad) {
  ASSERT_EQ(run({"--info", inputs_[1]}), kExitWritten) << err_.str();
  const std::string plain = out_.str();
  EXPECT_EQ(plain.find("skew"), std::string::npos);
  ASSERT_EQ(run({"--info", "--cad", "--passes", "2", inputs_[1]}), kExitWritten) << err_.str();
  const cad::CadDrawing expected = fitted(inputs_[1], false, 2);
  EXPECT_EQ(out_.str(), plain + "skew: " + skew_text(expected, false, false) + " (with 2 passes)\n");
  EXPECT_EQ(run({"--info", "--cad", path("missing.bmp")}), kExitUnreadable);

  ASSERT_EQ(run({"--suggest-passes", inputs_[0]}), kExitWritten);
  const std::string advice = out_.str();
  EXPECT_EQ(run({"--suggest-passes", "--cad", inputs_[0]}), kExitWritten) << err_.str();
  EXPECT_EQ(out_.str(), advice);
  EXPECT_EQ(run({inputs_[0], "-o", path("auto.dxf"), "--cad", "--passes", "auto"}), kExitWritten) << err_.str();
  EXPECT_NE(out_.str().find("--passes auto: "), std::string::npos);
}

}  // namespace
}  // namespace vp::cli
