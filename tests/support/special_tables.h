// Generated segment tables for special mode, and a side-by-side run of the fast
// phases and the literal ones on a table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "support/special_recorder.h"
#include "vector/end_point_index.h"
#include "vector/line_data.h"

namespace vp::testing {

struct SpecialTable {
  std::string kind;
  std::vector<LineRecord> records;
  float tolerance = 2.0f;  // the setting Ave: a multiple of 0.1 from 0.1 to 10.0
};

// The n-th table of the generated family; the same n always gives the same table.
// The kinds take turns: random segments on a small lattice (so that ends coincide
// often, (0, 0) included), duplicated and zero-length records, closed rings (some
// with branches), stars, long collinear chains, traced-style staircases, chains
// with points exactly at the tolerance, mixtures of these, and the tables that
// thinning and run tracing make from small generated drawings.
SpecialTable generated_special_table(std::uint64_t n);
inline constexpr int kSpecialTableKinds = 9;

// Everything the phases leave behind and show.
struct SpecialOutcome {
  std::vector<GridPoint> top_points, cross_points;
  std::vector<LineRecord> table_after_merging;  // LineData after GetNewLines
  std::vector<LineRecord> new_lines;            // NewLines held before DataConvert
  std::int32_t new_capacity = 0;
  std::vector<LineRecord> table;  // LineData after DataConvert
  std::int32_t line_capacity = 0;
  Outcome outcome = Outcome::Done;
  std::vector<std::string> shown;  // checks and counts, in order
  std::vector<int> bar;            // the bar's positions, repeats collapsed
};

// GetTopZahyou, GetCrossZahyou, GetNewLines and DataConvert on `table`, shown as the
// driver shows them; `abort_when`, when given, presses the abort button.
SpecialOutcome run_fast_special(const SpecialTable& table,
                                const std::function<bool(const SpecialRecorder&)>& abort_when = {});
SpecialOutcome run_literal_special(const SpecialTable& table,
                                   const std::function<bool(const SpecialRecorder&)>& abort_when = {});

// Empty when the outcomes agree; otherwise what differs first.
std::string first_difference(const SpecialOutcome& fast, const SpecialOutcome& literal);

std::string to_string(const std::vector<LineRecord>& records);

}  // namespace vp::testing
