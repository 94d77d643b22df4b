#include "vector/line_merger.h"

#include <gtest/gtest.h>

#include "core/conversion_settings.h"
#include "core/progress_display.h"
#include "support/special_recorder.h"
#include "support/special_tables.h"

namespace vp {
namespace {

using testing::SpecialOutcome;
using testing::SpecialRecorder;
using testing::SpecialTable;

SpecialOutcome special_mode(std::vector<LineRecord> records, float tolerance) {
  const SpecialTable table{"case", std::move(records), tolerance};
  const SpecialOutcome fast = testing::run_fast_special(table);
  const std::string difference = testing::first_difference(fast, testing::run_literal_special(table));
  EXPECT_EQ(difference, "") << testing::to_string(table.records);
  return fast;
}

TEST(LineMerging, DocumentedCases) {
  struct Case {
    const char* name;
    std::vector<LineRecord> records;
    std::int32_t tolerance_tenths;
    std::vector<LineRecord> merged;
  };
  // The theta: crossings X = (2, 5) and Y = (10, 5) joined by three paths; the last
  // path, X - M - Y, is left for the free-end stage with the free second end X in
  // its first record and the free first end Y in its second.
  const std::vector<LineRecord> theta = {{2, 5, 6, 9}, {6, 9, 10, 5}, {10, 5, 6, 1},
                                         {6, 1, 2, 5}, {6, 5, 2, 5},  {10, 5, 6, 5}};
  const std::vector<LineRecord> staircase = {{1, 1, 2, 1}, {3, 2, 4, 2}, {5, 3, 6, 3}, {7, 4, 8, 4},
                                             {2, 1, 3, 2}, {4, 2, 5, 3}, {6, 3, 7, 4}};
  const std::vector<LineRecord> lollipop = {{1, 1, 3, 3}, {3, 3, 6, 3}, {6, 3, 6, 6}, {6, 6, 3, 3}};
  const std::vector<Case> cases = {
      {"no segments", {}, 20, {}},
      {"one segment", {{2, 2, 5, 2}}, 20, {{2, 2, 5, 2}}},
      {"a straight stroke in pieces, out of order",
       {{4, 1, 7, 1}, {1, 1, 3, 1}, {7, 1, 9, 1}, {3, 1, 4, 1}},
       20,
       {{1, 1, 9, 1}}},
      {"a traced staircase", staircase, 20, {{1, 1, 8, 4}}},
      {"A-C-B with C beyond the tolerance: the chain breaks at C",
       {{1, 1, 5, 6}, {5, 6, 9, 1}},
       20,
       {{1, 1, 5, 6}, {5, 6, 9, 1}}},
      {"an inner point exactly at the tolerance keeps the chain", {{1, 1, 5, 3}, {5, 3, 9, 1}}, 20, {{1, 1, 9, 1}}},
      {"just beyond it breaks the chain", {{1, 1, 5, 3}, {5, 3, 9, 1}}, 19, {{1, 1, 5, 3}, {5, 3, 9, 1}}},
      {"the same, vertical, at the tolerance", {{4, 1, 1, 5}, {1, 5, 4, 9}}, 30, {{4, 1, 4, 9}}},
      {"the same, vertical, beyond it", {{4, 1, 1, 5}, {1, 5, 4, 9}}, 29, {{4, 1, 1, 5}, {1, 5, 4, 9}}},
      {"a T: each first segment ends at the crossing",
       {{1, 3, 3, 3}, {3, 3, 5, 3}, {3, 3, 3, 1}},
       20,
       {{1, 3, 3, 3}, {5, 3, 3, 3}, {3, 1, 3, 3}}},
      {"a straight chain stops at a crossing",
       {{1, 3, 2, 3}, {2, 3, 3, 3}, {3, 3, 5, 3}, {3, 3, 3, 5}},
       20,
       {{1, 3, 3, 3}, {5, 3, 3, 3}, {3, 5, 3, 3}}},
      {"a ring becomes one line of zero length",
       {{1, 1, 2, 1}, {2, 1, 2, 2}, {2, 2, 1, 2}, {1, 2, 1, 1}},
       20,
       {{1, 1, 1, 1}}},
      {"two identical records, far ends: there and back",
       {{1, 1, 5, 1}, {1, 1, 5, 1}},
       20,
       {{1, 1, 5, 1}, {5, 1, 1, 1}}},
      {"two identical records, near ends: zero length", {{1, 1, 2, 1}, {1, 1, 2, 1}}, 20, {{1, 1, 1, 1}}},
      {"one end point and one crossing: a tail and a loop that bends twice",
       lollipop,
       20,
       {{1, 1, 3, 3}, {3, 3, 6, 3}, {6, 3, 6, 6}, {6, 6, 3, 3}}},
      {"the loop within a wide tolerance: zero length at the crossing", lollipop, 100, {{1, 1, 3, 3}, {3, 3, 3, 3}}},
      {"a free second end is replaced by a later free first end",
       theta,
       100,
       {{2, 5, 10, 5}, {10, 5, 2, 5}, {10, 5, 2, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SpecialOutcome outcome = special_mode(c.records, tenths_to_real(c.tolerance_tenths));
    EXPECT_EQ(outcome.new_lines, c.merged);
    // DataConvert: LineData holds the merged lines.
    EXPECT_EQ(outcome.table, c.merged);
    EXPECT_EQ(outcome.line_capacity, 1024);
    EXPECT_EQ(outcome.outcome, Outcome::Done);
  }
}

struct Phases {
  explicit Phases(const std::vector<LineRecord>& records) {
    EXPECT_TRUE(lines.reset_storage());
    for (const LineRecord& r : records) lines.add(r.x1, r.y1, r.x2, r.y2);
    EXPECT_TRUE(new_lines.reset_storage());
  }
  PhaseStatus run(float tolerance) {
    EXPECT_EQ(GetTopZahyou(lines, state, display), PhaseStatus::Finished);
    EXPECT_EQ(GetCrossZahyou(lines, state, display), PhaseStatus::Finished);
    const PhaseStatus merged = GetNewLines(lines, new_lines, state, tolerance, display);
    display.ended(merged);
    return merged;
  }
  SpecialRecorder host;
  ProgressDisplay display{host};
  LineData lines, new_lines;
  SpecialState state;
};

// Isolated two-cell segments, each its own line.
std::vector<LineRecord> separate_segments(std::int32_t n) {
  std::vector<LineRecord> records;
  for (std::int32_t i = 0; i < n; ++i)
    records.push_back({4 * (i % 100), 4 * (i / 100), 4 * (i % 100) + 1, 4 * (i / 100)});
  return records;
}

TEST(LineMerging, StopsWhenAbortedOrWhenNewLinesCannotGrow) {
  struct Case {
    const char* name;
    bool fail_growth;
    PhaseStatus expected_status;
    Outcome expected_outcome;
    std::int32_t lines_stored;
  };
  const std::vector<Case> cases = {
      {"aborted after the 10th line", false, PhaseStatus::Stopped, Outcome::Aborted, 10},
      {"the 1025th line finds no memory", true, PhaseStatus::OutOfMemory, Outcome::OutOfMemory, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Phases phases(separate_segments(1100));
    if (c.fail_growth)
      phases.new_lines.fail_next_growth_for_testing();
    else
      phases.host.abort_when = [](const SpecialRecorder& h) { return h.log.back() == "merged 10"; };
    EXPECT_EQ(phases.run(2.0f), c.expected_status);
    EXPECT_EQ(phases.display.outcome(), c.expected_outcome);
    // The merged count stopped at the last line stored; nothing was shown for the line that failed.
    EXPECT_EQ(phases.host.log.back(), "merged " + std::to_string(c.lines_stored));
    if (c.fail_growth) {
      // The storage is released (capacity 0), so the driver has nothing left to release.
      EXPECT_EQ(phases.new_lines.capacity(), 0);
      EXPECT_EQ(phases.new_lines.data(), nullptr);
    } else {
      EXPECT_EQ(phases.new_lines.size(), c.lines_stored);
    }
  }
}

}  // namespace
}  // namespace vp
