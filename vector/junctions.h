// End point and crossing detection: the first two phases of special mode.
//
// They classify the ends of the traced segments (the S records of LineData;
// (x1, y1) is a record's first end, (x2, y2) its second end; ends
// touch when both coordinates are equal):
//  - an end point is an end that no end of another record touches; TopPoints lists
//    them by record, first end before second end, with no duplicate test (a lone
//    zero-length record is listed twice);
//  - a crossing is an end that at least two ends of other records touch; CrossPoints
//    lists each such point once, in the order it was first found.
// Both phases read LineData only. Where a literal search would compare every end
// with every other, the end point index answers "how many other ends are here" at
// once, so each phase is linear in S. They report as the record-by-record search
// would: one unit per record.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/phase_meter.h"
#include "raster/progress.h"
#include "vector/end_point_index.h"
#include "vector/line_data.h"

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

  bool is_stop(std::int32_t id) const { return id >= 0 && stop_kind[static_cast<std::size_t>(id)] != 0; }
};

// Creates the working state, sets StartLineCount and CompressCounter, fills
// TopPoints. Once the state exists it reports (EndPoints, 0, S), then one unit per
// record; a false report stops it after that record.
PhaseStatus GetTopZahyou(const LineData& lines, SpecialState& state, Progress& progress);

// Fills CrossPoints (needs the state GetTopZahyou made), reporting Phase::Crossings
// one unit per record.
PhaseStatus GetCrossZahyou(const LineData& lines, SpecialState& state, Progress& progress);

}  // namespace vp
