// The conversion with special mode on: the merged table, the special widgets, and
// the run's outcome when special mode is aborted or runs out of memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/conversion.h"
#include "core/messages.h"
#include "core/progress_display.h"
#include "support/recording_host.h"
#include "support/reference_special.h"
#include "support/special_recorder.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

using testing::RecordingHost;

std::vector<int> collapsed(const std::vector<int>& positions) {
  std::vector<int> out;
  for (int p : positions)
    if (out.empty() || out.back() != p) out.push_back(p);
  return out;
}

class SpecialConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("vp_special_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string write(const std::string& name, const InkImage& image) {
    const auto path = (folder_ / name).string();
    const std::vector<std::uint8_t> bytes = encode_bmp(image, {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static ConversionSettings special(std::int32_t ave_tenths = 20) {
    ConversionSettings settings;
    settings.Special = kFlagOn;
    settings.Ave = tenths_to_real(ave_tenths);
    return settings;
  }

  static std::vector<LineRecord> records_of(const Conversion& c) { return {c.records().begin(), c.records().end()}; }

  std::filesystem::path folder_;
};

TEST_F(SpecialConversionTest, MergesTheTracedTableAsTheLiteralPhasesDo) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    DrawingOptions options;
    options.min_thickness = 1;
    options.max_thickness = 1 + static_cast<int>(seed % 4);
    const std::string path = write("drawing.bmp", generate_drawing(220, 160, seed, options));
    const std::int32_t tenths = seed == 3 ? 5 : 20;

    Conversion plain;

    Outcome plain_outcome = Outcome::Done;
    RecordingHost plain_host;
    plain_outcome = plain.ChangeImage(path, 2, plain_host).outcome;
    ASSERT_EQ(plain_outcome, Outcome::Done);
    const std::vector<LineRecord> traced = records_of(plain);
    ASSERT_GT(traced.size(), 50u);

    testing::SpecialRecorder literal_view;
    ProgressDisplay literal_display(literal_view);
    reference::LiteralSpecialMode literal(traced, tenths_to_real(tenths), literal_display);
    literal.GetTopZahyou();
    literal.GetCrossZahyou();
    literal.GetNewLines();
    literal.DataConvert();

    Conversion merged;

    Outcome merged_outcome = Outcome::Done;
    RecordingHost host;
    merged_outcome = merged.ChangeImage(path, 2, host, special(tenths)).outcome;
    ASSERT_EQ(merged_outcome, Outcome::Done);
    EXPECT_EQ(records_of(merged), literal.table());
    EXPECT_EQ(merged.LineCount(), literal.line_count() - 1);
    EXPECT_LT(merged.LineCount(), static_cast<std::int32_t>(traced.size()));
    EXPECT_EQ(merged.lines().capacity(), literal.new_capacity());
    // The end points and crossings outlive special mode, as its lists held them.
    EXPECT_TRUE(merged.special_points().ran);
    EXPECT_EQ(merged.special_points().end_points, literal.top_points());
    EXPECT_EQ(merged.special_points().crossings, literal.cross_points());
    EXPECT_FALSE(merged.special_points().end_points.empty());
    EXPECT_EQ(host.labels.at(ProgressLabel::EndPointCheck), messages::kCheckDone);
    EXPECT_EQ(host.labels.at(ProgressLabel::CrossingCheck), messages::kCheckDone);
    EXPECT_EQ(host.labels.at(ProgressLabel::TracedCount), std::to_string(traced.size()));
    EXPECT_EQ(host.labels.at(ProgressLabel::MergedCount), std::to_string(merged.LineCount()));
    std::vector<int> expected_bar = {0};  // the driver's reset
    for (int p : literal_view.bar_shown()) expected_bar.push_back(p);
    EXPECT_EQ(collapsed(host.bar_history(ProgressBar::Special)), collapsed(expected_bar));
    EXPECT_EQ(host.finished, 1);
  }
}

TEST_F(SpecialConversionTest, AbortInEachPhase) {
  const std::string path = write("drawing.bmp", generate_drawing(240, 170, 7));
  Conversion clean;
  Outcome clean_outcome = Outcome::Done;
  RecordingHost clean_host;
  clean_outcome = clean.ChangeImage(path, 3, clean_host, special()).outcome;
  ASSERT_EQ(clean_outcome, Outcome::Done);
  const std::vector<LineRecord> expected = records_of(clean);
  const std::string traced = clean_host.labels.at(ProgressLabel::TracedCount);
  const SpecialPoints expected_points = clean.special_points();
  ASSERT_TRUE(expected_points.ran);

  struct Case {
    const char* phase;
    std::function<bool(const RecordingHost&)> when;
    std::string end_points, crossings;  // Label7, Label8 afterwards
    bool merged_some;                   // Label10 left above "0"
    bool traced_table_kept;             // no DataConvert: LineData keeps the traced records
  };
  auto label = [](const RecordingHost& h, ProgressLabel l) { return h.labels.at(l); };
  const std::string off(messages::kCheckOff), done(messages::kCheckDone), running(messages::kCheckRunning);
  const std::vector<Case> cases = {
      {"tracing", [](const RecordingHost& h) { return h.last_bar(ProgressBar::Trace) == 60; }, off, off, false, false},
      {"end points", [&](const RecordingHost& h) { return label(h, ProgressLabel::EndPointCheck) == running; }, done,
       off, false, true},
      {"crossings", [&](const RecordingHost& h) { return label(h, ProgressLabel::CrossingCheck) == running; }, done,
       done, false, true},
      {"merging", [&](const RecordingHost& h) { return label(h, ProgressLabel::MergedCount) == "5"; }, done, done, true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    host.abort_when = c.when;
    conversion_outcome = conversion.ChangeImage(path, 3, host, special()).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Aborted);
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.labels.at(ProgressLabel::EndPointCheck), c.end_points);
    EXPECT_EQ(host.labels.at(ProgressLabel::CrossingCheck), c.crossings);
    EXPECT_EQ(host.labels.at(ProgressLabel::MergedCount), c.merged_some ? "5" : "0");
    // A special mode that stopped early leaves no points behind.
    EXPECT_FALSE(conversion.special_points().ran);
    EXPECT_TRUE(conversion.special_points().end_points.empty());
    EXPECT_TRUE(conversion.special_points().crossings.empty());
    if (c.traced_table_kept) {
      EXPECT_EQ(std::to_string(conversion.LineCount()), traced);
    }
    if (std::string(c.phase) == "tracing") {
      EXPECT_EQ(host.bar_history(ProgressBar::Special), std::vector<int>{0});
      EXPECT_EQ(host.labels.at(ProgressLabel::TracedCount), "0");
    }
    // The next run starts afresh and merges everything.
    host.abort_when = nullptr;
    host.aborted = false;
    conversion_outcome = conversion.ChangeImage(path, 3, host, special()).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(records_of(conversion), expected);
    EXPECT_EQ(conversion.special_points().end_points, expected_points.end_points);
    EXPECT_EQ(conversion.special_points().crossings, expected_points.crossings);
  }
}

TEST_F(SpecialConversionTest, NewLinesOutOfMemoryEndsTheRunUnlessTheUserAbortsLater) {
  // 60 rows of 30 two-pixel strokes: 1800 lines that merge into nothing longer,
  // so NewLines must grow past its first 1024 records.
  InkImage image(120, 120);
  for (std::int32_t r = 0; r < 120; r += 2)
    for (std::int32_t c = 0; c < 120; c += 4) image.set(c, r), image.set(c + 1, r);
  const std::string path = write("many.bmp", image);

  struct Case {
    const char* name;
    Conversion::NewLinesFault fault;
    int abort_at_event;  // after the 1024th line was stored; 0: no abort
    Outcome outcome;
    std::string end_points;  // the end point check afterwards
    std::string merged;      // the merged count afterwards
  };
  const std::string off(messages::kCheckOff), done(messages::kCheckDone);
  const std::vector<Case> cases = {
      {"NewLines cannot be created", Conversion::NewLinesFault::Creation, 0, Outcome::OutOfMemory, off, "0"},
      {"NewLines cannot grow", Conversion::NewLinesFault::Growth, 0, Outcome::OutOfMemory, done, "1024"},
      // Events 1 and 2 follow the 1024th line; the 1025th fails to be stored before event 3.
      {"an abort after the failed growth is reported as an abort", Conversion::NewLinesFault::Growth, 3,
       Outcome::Aborted, done, "1024"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    int events_after = 0;
    host.abort_when = [&](const RecordingHost& h) {
      const auto merged = h.labels.find(ProgressLabel::MergedCount);
      return c.abort_at_event > 0 && merged != h.labels.end() && merged->second == "1024" &&
             ++events_after == c.abort_at_event;
    };
    conversion.new_lines_fault_for_testing = c.fault;
    conversion_outcome = conversion.ChangeImage(path, 1, host, special()).outcome;
    EXPECT_EQ(conversion_outcome, c.outcome);
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.labels.at(ProgressLabel::EndPointCheck), c.end_points);
    EXPECT_EQ(host.labels.at(ProgressLabel::MergedCount), c.merged);
    EXPECT_FALSE(conversion.special_points().ran);

    conversion.new_lines_fault_for_testing = Conversion::NewLinesFault::None;
    host.abort_when = nullptr;
    host.aborted = false;
    conversion_outcome = conversion.ChangeImage(path, 1, host, special()).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(conversion.LineCount(), 1800);
    EXPECT_EQ(conversion.lines().capacity(), 2048);
  }
}

TEST_F(SpecialConversionTest, SpecialOffOrAnyOtherValueLeavesTheTracedTable) {
  const std::string path = write("drawing.bmp", generate_drawing(200, 140, 3));
  Conversion plain;
  Outcome plain_outcome = Outcome::Done;
  RecordingHost plain_host;
  plain_outcome = plain.ChangeImage(path, 2, plain_host).outcome;
  ASSERT_EQ(plain_outcome, Outcome::Done);
  for (const std::int32_t value : {kFlagOff, 0, 3}) {
    SCOPED_TRACE(value);
    ConversionSettings settings = special();
    settings.Special = value;  // only 2 switches special mode on
    Conversion conversion;
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost special_host;
    conversion_outcome = conversion.ChangeImage(path, 2, special_host, special()).outcome;
    ASSERT_TRUE(conversion.special_points().ran);
    // The next conversion, without special mode, drops the last one's points.
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(path, 2, host, settings).outcome;
    EXPECT_FALSE(conversion.special_points().ran);
    EXPECT_TRUE(conversion.special_points().end_points.empty());
    EXPECT_EQ(conversion_outcome, Outcome::Done);
    EXPECT_EQ(records_of(conversion), records_of(plain));
    EXPECT_EQ(host.labels.at(ProgressLabel::EndPointCheck), messages::kCheckOff);
    EXPECT_EQ(host.bar_history(ProgressBar::Special), std::vector<int>{0});
  }
}

}  // namespace
}  // namespace vp
