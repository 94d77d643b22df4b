// Line merging: the last phase of special mode.
//
// GetNewLines follows chains of segments joined end to end and stores each chain as
// one line, from its first point to its last, in NewLines; DataConvert then makes
// NewLines the content of LineData. A chain starts from a start point and takes, one
// at a time, the first live record in table order that has an end at the chain's
// last point; it stops at an end point or crossing (a stop point), where no record
// continues it, or where the next segment would bend it beyond the tolerance (AveLine,
// see chain_straightness.h); then the last good point starts the next chain.
//
// Start points come in four stages: every entry of TopPoints in order, every entry
// of CrossPoints in order, then free ends (FoundLine: the first end of the first
// record whose first end no other live record touches; failing that, the second end
// of the last record whose second end is free), then closed loops (FoundLast: the
// first end of the first live record). A stage that has nothing to offer still runs
// one extraction from the previous chain's first point.
//
// The literal way finds "the first record in table order" by scanning the table
// from its first record, and counts the live records by scanning again, which makes
// the phase quadratic in the number of segments. Here the end point index made by
// GetTopZahyou answers every such question at once:
//  - per point, a cursor into its records in table order skips the taken ones
//    (records are only ever taken, so each cursor only moves forward);
//  - a record's end is free when the live ends at its point are its own; since ends
//    only disappear, an end that becomes free stays free, so the free first ends sit
//    in a min-heap and the free second ends in a max-heap, with taken records
//    dropped when they reach the top;
//  - a cursor over the table gives the first live record, a counter the live ones.
// Taken records keep their places; compaction (every 100th start in stages 3 and 4)
// would not change which record any question finds, so CompressData only notes
// when it ran, and the table is left as the compactions would have left it when
// merging stops.
//
// Reports: the literal scans report after every record they pass over; nothing is
// scanned here, so reports come where the literal phase makes them besides: after
// each segment a chain gains, each line stored and each start. GetFirstLine, with
// no record to pass over, gives "no segment" at once when the phase was already
// asked to stop. A stop thus ends merging a little sooner or later than the
// literal phase would; the merged lines are then discarded anyway.
//
// The phase requires the coordinates of the records to be non-negative (as grid
// coordinates are): a taken record is marked with -1 in every field.
#pragma once

#include <cstdint>

#include "raster/phase_meter.h"
#include "raster/progress.h"
#include "vector/junctions.h"
#include "vector/line_data.h"

namespace vp {

// Merges the records of `lines` into `new_lines` (created empty by the caller with
// room for 1024 records). `tolerance` is the setting Ave. After each line stored it
// reports (MergedLines, lines stored, S), then (Merge, records taken, S); after each
// segment a chain gains and each start it repeats that last Merge report. A false
// report stops it. A line that cannot be stored releases `new_lines` and ends the
// phase as out of memory.
PhaseStatus GetNewLines(LineData& lines, LineData& new_lines, SpecialState& state, float tolerance, Progress& progress);

// LineData takes over NewLines' storage, records and capacity (no copy, so nothing
// can fail). `new_lines` is left empty.
void DataConvert(LineData& lines, LineData& new_lines);

}  // namespace vp
