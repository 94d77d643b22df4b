#include "core/conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/messages.h"
#include "support/live_threads.h"
#include "support/recording_host.h"
#include "support/reference_conversion.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

using testing::RecordingHost;

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("vp_conversion_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string write(const std::string& name, const InkImage& image, const BmpWriteOptions& options = {}) {
    const auto path = (folder_ / name).string();
    const std::vector<std::uint8_t> bytes = encode_bmp(image, options);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static std::vector<LineRecord> records_of(const Conversion& c) { return {c.records().begin(), c.records().end()}; }

  // What the literal steps make of the same image.
  static std::vector<LineRecord> reference_records(const InkImage& image, int passes) {
    reference::ByteGrid grid(image.width + 2, image.height + 2);
    for (std::int32_t r = 0; r < image.height; ++r)
      for (std::int32_t c = 0; c < image.width; ++c)
        if (image.get(c, r)) grid.put(c + 1, image.height - r, 1);
    reference::thin(grid, passes);
    return reference::trace(grid);
  }

  std::filesystem::path folder_;
};

InkImage picture(const std::vector<std::string>& rows) {
  InkImage image(static_cast<std::int32_t>(rows[0].size()), static_cast<std::int32_t>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c)
      if (rows[r][c] == '#') image.set(static_cast<std::int32_t>(c), static_cast<std::int32_t>(r));
  return image;
}

TEST_F(ConversionTest, BlankAndSingleSegmentDrawings) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::vector<LineRecord> expected;
  };
  const std::vector<Case> cases = {
      {"no ink", {"......", "......", "......"}, {}},
      {"one horizontal stroke", {"........", "..####..", "........"}, {{3, 2, 6, 2}}},
      {"a stroke two pixels thick keeps one row", {"........", ".######.", ".######.", "........"}, {{3, 3, 6, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(write("case.bmp", picture(c.rows)), 1, host).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(conversion.LineCount(), static_cast<std::int32_t>(c.expected.size()));
    EXPECT_EQ(records_of(conversion), c.expected);
    EXPECT_EQ(host.started, 1);
    EXPECT_EQ(host.finished, 1);
  }
}

TEST_F(ConversionTest, MatchesTheLiteralPipelineOnGeneratedDrawings) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    DrawingOptions options;
    options.min_thickness = 1;
    options.max_thickness = 1 + static_cast<int>(seed % 5);
    const InkImage image = generate_drawing(150 + static_cast<std::int32_t>(seed) * 7, 110, seed, options);
    const int passes = 1 + static_cast<int>(seed % 4);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(write("drawing.bmp", image), passes, host).outcome;
    ASSERT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(records_of(conversion), reference_records(image, passes)) << "seed " << seed;
  }
}

TEST_F(ConversionTest, EveryBitmapVariantOfOneDrawingGivesTheSameSegments) {
  const InkImage image = generate_drawing(203, 157, 99);
  std::vector<BmpWriteOptions> variants(7);
  variants[1].black_first = true;
  variants[2].bits_per_pixel = 8;
  variants[3].bits_per_pixel = 8, variants[3].rle8 = true;
  variants[4].bits_per_pixel = 24, variants[4].near_black_noise = 0.02;
  variants[5].bits_per_pixel = 24, variants[5].top_down = true;
  variants[6].header = BmpHeaderKind::Core;
  std::vector<LineRecord> first;
  for (std::size_t i = 0; i < variants.size(); ++i) {
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome =
        conversion.ChangeImage(write("variant" + std::to_string(i) + ".bmp", image, variants[i]), 3, host).outcome;
    ASSERT_EQ(conversion_outcome, Outcome::Done) << "variant " << i;
    if (i == 0) {
      first = records_of(conversion);
      EXPECT_GT(first.size(), 20u);
    } else {
      EXPECT_EQ(records_of(conversion), first) << "variant " << i;
    }
  }
}

TEST_F(ConversionTest, UnreadableAndUnsupportedFiles) {
  const std::string missing = (folder_ / "missing.bmp").string();
  const std::string not_a_bitmap = (folder_ / "text.bmp").string();
  std::ofstream(not_a_bitmap) << "this is not a bitmap";
  // A 4-bit bitmap: header of a 2 x 1 image with a 16-entry palette.
  std::vector<std::uint8_t> four_bit = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 118, 0, 0, 0, 40, 0, 0, 0,
                                        2,   0,   0, 0, 1, 0, 0, 0, 1, 0, 4,   0, 0, 0, 0,  0, 0, 0,
                                        0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0, 0, 0,  0, 0, 0};
  four_bit.resize(118 + 4, 0);
  const std::string four_bit_path = (folder_ / "four.bmp").string();
  std::ofstream(four_bit_path, std::ios::binary)
      .write(reinterpret_cast<const char*>(four_bit.data()), static_cast<std::streamsize>(four_bit.size()));
  struct Case {
    std::string path;
    Outcome outcome;
  };
  for (const Case& c : {Case{missing, Outcome::Unreadable}, Case{not_a_bitmap, Outcome::Unreadable},
                        Case{four_bit_path, Outcome::Unsupported}}) {
    SCOPED_TRACE(c.path);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(c.path, 3, host).outcome;
    EXPECT_EQ(conversion_outcome, c.outcome);
    EXPECT_EQ(conversion.LineCount(), 0);
    EXPECT_EQ(host.finished, 1);  // the dialog is hidden again
  }
}

TEST_F(ConversionTest, ProgressBarsMoveOnePercentAtATime) {
  const std::string path = write("drawing.bmp", generate_drawing(300, 200, 5));
  Conversion conversion;
  Outcome conversion_outcome = Outcome::Done;
  RecordingHost host;
  conversion_outcome = conversion.ChangeImage(path, 2, host).outcome;
  ASSERT_EQ(conversion_outcome, Outcome::Done);
  for (ProgressBar bar : {ProgressBar::Thin, ProgressBar::Trace}) {
    std::vector<int> expected(101);
    for (int i = 0; i <= 100; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(host.bar_history(bar), expected);
  }
  EXPECT_EQ(host.last_bar(ProgressBar::Load), 100);
  EXPECT_EQ(host.bar_history(ProgressBar::Special), std::vector<int>{0});
  EXPECT_EQ(host.labels.at(ProgressLabel::EndPointCheck), "OFF");
  EXPECT_EQ(host.labels.at(ProgressLabel::TracedCount), "0");

  // Fewer than 100 units: the first unit jumps more than one percent, and the bar stays put.
  Conversion tiny;
  Outcome tiny_outcome = Outcome::Done;
  RecordingHost tiny_host;
  tiny_outcome = tiny.ChangeImage(write("tiny.bmp", picture({"#"})), 1, tiny_host).outcome;
  EXPECT_EQ(tiny_outcome, Outcome::Done);
  EXPECT_EQ(tiny_host.bar_history(ProgressBar::Thin), std::vector<int>{0});
}

TEST_F(ConversionTest, AbortInEachPhaseAndAFreshStartAfterwards) {
  const InkImage image = generate_drawing(260, 180, 11);
  const std::string path = write("drawing.bmp", image);
  Conversion clean;
  Outcome clean_outcome = Outcome::Done;
  RecordingHost clean_host;
  clean_outcome = clean.ChangeImage(path, 3, clean_host).outcome;
  ASSERT_EQ(clean_outcome, Outcome::Done);
  const auto expected = records_of(clean);

  struct Case {
    const char* phase;
    std::function<bool(const RecordingHost&)> when;
  };
  const std::vector<Case> cases = {
      {"loading", [](const RecordingHost& h) { return h.events == 20; }},
      {"thinning", [](const RecordingHost& h) { return h.last_bar(ProgressBar::Thin) == 40; }},
      {"tracing", [](const RecordingHost& h) { return h.last_bar(ProgressBar::Trace) == 60; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    host.abort_when = c.when;
    conversion_outcome = conversion.ChangeImage(path, 3, host).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Aborted);
    EXPECT_EQ(host.finished, 1);
    if (std::string(c.phase) == "loading") {
      EXPECT_EQ(conversion.LineCount(), 0);
      EXPECT_EQ(host.last_bar(ProgressBar::Load), 100);
      EXPECT_EQ(host.bar_history(ProgressBar::Thin), std::vector<int>{0});
    }
    if (std::string(c.phase) == "tracing") {
      EXPECT_GT(conversion.LineCount(), 0);
      EXPECT_LT(conversion.LineCount(), static_cast<std::int32_t>(expected.size()));
      EXPECT_EQ(host.last_bar(ProgressBar::Trace), 60);
    }
    // The same object converts again as if nothing had happened.
    host.abort_when = nullptr;
    host.aborted = false;
    conversion_outcome = conversion.ChangeImage(path, 3, host).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(records_of(conversion), expected);
  }
}

TEST_F(ConversionTest, ATableOfMoreThanOneBlockIsKeptWhole) {
  // 40 x 120 pixels of short horizontal strokes: far more than 1024 segments.
  InkImage image(120, 120);
  for (std::int32_t r = 0; r < 120; r += 2)
    for (std::int32_t c = 0; c < 120; c += 4) image.set(c, r), image.set(c + 1, r);
  Conversion conversion;
  Outcome conversion_outcome = Outcome::Done;
  RecordingHost host;
  conversion_outcome = conversion.ChangeImage(write("many.bmp", image), 1, host).outcome;
  ASSERT_EQ(conversion_outcome, Outcome::Done);
  EXPECT_EQ(conversion.LineCount(), 60 * 30);
  EXPECT_GE(conversion.lines().capacity(), 2048);
  EXPECT_EQ(records_of(conversion), reference_records(image, 1));
}

}  // namespace
}  // namespace vp

namespace vp {
namespace {

// A grey image's rows are decoded on a second thread: stopped while it loads, the
// conversion ends aborted with that thread gone, under every rule that reads grey rows.
TEST_F(ConversionTest, AbortWhileGreyRowsLoadLeavesNoThread) {
  const InkImage image = generate_drawing(1500, 1200, 5);
  BmpWriteOptions grey;
  grey.bits_per_pixel = 8;
  grey.background_indices = {180, 200, 220, 240, 255};  // paper noise: many levels
  const std::string path = write("grey.bmp", image, grey);
  const std::size_t threads_before = testing::live_threads_before_work();
  for (const std::int32_t rule : {2, 3, 4, 5}) {  // auto, otsu, adaptive, a level
    SCOPED_TRACE(rule);
    ConversionSettings settings;
    settings.ScanThreshold = rule;
    Conversion done;
    RecordingHost done_host;
    EXPECT_EQ(done.ChangeImage(path, 3, done_host, settings).outcome, Outcome::Done);
    for (const std::int64_t at : {1, 40, 600}) {
      Conversion conversion;
      RecordingHost host;
      host.abort_when = [at](const RecordingHost& h) { return h.events == at; };
      EXPECT_EQ(conversion.ChangeImage(path, 3, host, settings).outcome, Outcome::Aborted);
      EXPECT_EQ(conversion.records().size(), 0u);
      EXPECT_EQ(testing::live_threads_settled(threads_before), threads_before);
    }
  }
}

}  // namespace
}  // namespace vp
