// End point and crossing detection: the first two phases of special mode.
//
// They classify the ends of the traced segments (records 1 to S of LineData, S =
// LineCount - 1; (x1, y1) is a record's first end, (x2, y2) its second end; ends
// touch when both coordinates are equal):
//  - an end point is an end that no end of another record touches; TopPoints lists
//    them by record, first end before second end, with no duplicate test (a lone
//    zero-length record is listed twice);
//  - a crossing is an end that at least two ends of other records touch; CrossPoints
//    lists each such point once, in the order it was first found.
// Both phases read LineData only. Where a literal search would compare every end
// with every other, the end point index answers "how many other ends are here" at
// once, so each phase is linear in S. The bar and the checks move as they would
// under the record-by-record search: one step per record.
#pragma once

#include <cstdint>
#include <vector>

#include "vector/end_point_index.h"
#include "vector/line_data.h"
#include "vector/special_view.h"

namespace vp {

// What special mode carries from phase to phase; created by GetTopZahyou.
struct SpecialState {
  std::vector<GridPoint> TopPoints;  // entry k (counted from 1) at [k - 1]; TopCount = size()
  std::vector<GridPoint> CrossPoints;
  std::vector<std::int32_t> top_ids, cross_ids;  // the same points as ids of `index`
  std::int32_t StartLineCount = 0;
  std::int32_t CompressCounter = 0;
  EndPointIndex index;
  // Per point id: 1 end point, 2 crossing (both bits are possible).
  std::vector<std::uint8_t> stop_kind;
  SpecialBar bar;

  bool is_stop(std::int32_t id) const { return id >= 0 && stop_kind[static_cast<std::size_t>(id)] != 0; }
};

// Creates the working state, sets StartLineCount and CompressCounter, fills
// TopPoints. Label7 shows "running", then "done" (also after an abort); Label12
// shows S; the bar runs from 0 to 33. Out of memory for the working state: code 2.
void GetTopZahyou(const LineData& lines, SpecialState& state, SpecialControl& control);

// Fills CrossPoints (needs the state GetTopZahyou made). Label8 shows "running",
// then "done"; the bar runs from 33 to 66.
void GetCrossZahyou(const LineData& lines, SpecialState& state, SpecialControl& control);

}  // namespace vp
