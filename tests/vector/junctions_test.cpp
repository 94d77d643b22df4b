#include "vector/junctions.h"

#include <gtest/gtest.h>

#include "core/progress_display.h"
#include "support/special_recorder.h"
#include "support/special_tables.h"

namespace vp {
namespace {

using testing::SpecialOutcome;
using testing::SpecialRecorder;
using testing::SpecialTable;

// Both implementations, which must agree; the fast one's outcome.
SpecialOutcome special_mode(std::vector<LineRecord> records, float tolerance = 2.0f) {
  const SpecialTable table{"case", std::move(records), tolerance};
  const SpecialOutcome fast = testing::run_fast_special(table);
  const std::string difference = testing::first_difference(fast, testing::run_literal_special(table));
  EXPECT_EQ(difference, "") << testing::to_string(table.records);
  return fast;
}

TEST(EndPointsAndCrossings, DocumentedCases) {
  struct Case {
    const char* name;
    std::vector<LineRecord> records;
    std::vector<GridPoint> end_points, crossings;
  };
  const std::vector<Case> cases = {
      {"no segments", {}, {}, {}},
      {"one segment: first end, then second end", {{2, 2, 5, 2}}, {{2, 2}, {5, 2}}, {}},
      {"a corner is in neither list", {{1, 1, 5, 1}, {1, 1, 1, 4}}, {{5, 1}, {1, 4}}, {}},
      {"two segments continuing each other", {{1, 1, 3, 1}, {3, 1, 6, 1}}, {{1, 1}, {6, 1}}, {}},
      {"a T: the junction once, although found from three records",
       {{1, 3, 3, 3}, {3, 3, 5, 3}, {3, 3, 3, 1}},
       {{1, 3}, {5, 3}, {3, 1}},
       {{3, 3}}},
      {"four at a point",
       {{1, 3, 3, 3}, {3, 3, 5, 3}, {3, 1, 3, 3}, {3, 3, 3, 5}},
       {{1, 3}, {5, 3}, {3, 1}, {3, 5}},
       {{3, 3}}},
      {"a closed ring", {{1, 1, 3, 1}, {3, 1, 3, 3}, {3, 3, 1, 3}, {1, 3, 1, 1}}, {}, {}},
      {"ends one cell apart do not touch", {{1, 1, 3, 1}, {4, 1, 6, 1}}, {{1, 1}, {3, 1}, {4, 1}, {6, 1}}, {}},
      {"an end on the middle of another segment touches nothing",
       {{1, 1, 5, 1}, {3, 1, 3, 4}},
       {{1, 1}, {5, 1}, {3, 1}, {3, 4}},
       {}},
      {"two identical records", {{1, 1, 5, 5}, {1, 1, 5, 5}}, {}, {}},
      {"a lone zero-length record is listed twice", {{2, 2, 2, 2}}, {{2, 2}, {2, 2}}, {}},
      {"crossings in the order first found",
       {{9, 9, 7, 7}, {1, 1, 2, 2}, {1, 1, 0, 2}, {7, 7, 8, 6}, {1, 1, 3, 0}, {7, 7, 5, 5}},
       {{9, 9}, {2, 2}, {0, 2}, {8, 6}, {3, 0}, {5, 5}},
       {{7, 7}, {1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SpecialOutcome outcome = special_mode(c.records);
    EXPECT_EQ(outcome.top_points, c.end_points);
    EXPECT_EQ(outcome.cross_points, c.crossings);
  }
}

TEST(EndPointsAndCrossings, ChecksCountsAndBarMoveRecordByRecord) {
  // No segments: the checks run and end, the count is 0, the bar does not move.
  const SpecialOutcome empty = special_mode({});
  const std::vector<std::string> shown_empty = {"end points running", "traced 0", "end points done",
                                                "crossings running", "crossings done"};
  EXPECT_EQ(empty.shown, shown_empty);
  EXPECT_TRUE(empty.bar.empty());

  // Four collinear pieces: trunc(i / 4 × 100 / 3) for the end points, 33 more for
  // the crossings; the one line is stored while its last record is still live,
  // so the bar ends at trunc((100 − 1/4 × 100) / 3) + 67 = 92, not 100.
  const SpecialOutcome stroke = special_mode({{4, 1, 7, 1}, {1, 1, 3, 1}, {7, 1, 9, 1}, {3, 1, 4, 1}});
  const std::vector<std::string> shown_stroke = {"end points running", "traced 4",       "end points done",
                                                 "crossings running",  "crossings done", "merged 1"};
  EXPECT_EQ(stroke.shown, shown_stroke);
  EXPECT_EQ(stroke.bar, (std::vector<int>{8, 16, 25, 33, 41, 49, 58, 66, 92}));
}

TEST(EndPointsAndCrossings, AbortStopsEachPhaseAfterItsCurrentRecord) {
  const std::vector<LineRecord> records = {{1, 1, 2, 1}, {5, 5, 6, 5}, {8, 8, 9, 8}, {8, 8, 8, 9}, {8, 8, 7, 7}};
  LineData lines;
  ASSERT_TRUE(lines.reset_storage());
  for (const LineRecord& r : records) lines.add(r.x1, r.y1, r.x2, r.y2);

  for (const bool in_crossings : {false, true}) {
    SCOPED_TRACE(in_crossings ? "crossings" : "end points");
    SpecialRecorder host;
    ProgressDisplay display(host);
    SpecialState state;
    if (in_crossings) {
      ASSERT_EQ(GetTopZahyou(lines, state, display), PhaseStatus::Finished);
      ASSERT_EQ(state.TopPoints.size(), 7u);
    }
    const std::int64_t events_before = host.events;
    // The abort button is pressed while the phase lets the user act after record 4.
    host.abort_when = [&](const SpecialRecorder& h) { return h.events == events_before + 4; };
    if (in_crossings) {
      EXPECT_EQ(GetCrossZahyou(lines, state, display), PhaseStatus::Stopped);
      EXPECT_EQ(state.CrossPoints, (std::vector<GridPoint>{{8, 8}}));
      EXPECT_EQ(host.bar_shown().back(), 26 + 33);
    } else {
      EXPECT_EQ(GetTopZahyou(lines, state, display), PhaseStatus::Stopped);
      // Records 1 to 4 only: (7, 7), the far end of record 5, is not reached.
      EXPECT_EQ(state.TopPoints, (std::vector<GridPoint>{{1, 1}, {2, 1}, {5, 5}, {6, 5}, {9, 8}, {8, 9}}));
      EXPECT_EQ(host.bar_shown().back(), 26);  // trunc(4 / 5 × 100 / 3)
    }
    EXPECT_EQ(host.events, events_before + 4);
    EXPECT_EQ(display.outcome(), Outcome::Aborted);
  }
}

}  // namespace
}  // namespace vp
