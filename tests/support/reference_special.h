// Literal special mode: end points, crossings and line merging exactly as their
// steps read, scanning the table from its first record for every question, with
// 1-based lists held as separate X and Y arrays, real compaction and a NewLines
// table of its own. Quadratic; the fast phases must give the same lists, lines,
// counts, table and widget values.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "raster/progress.h"
#include "vector/end_point_index.h"
#include "vector/line_data.h"

namespace vp::reference {

class LiteralSpecialMode {
 public:
  // `records`: LineData's records 1 to S. `ave`: the tolerance. Reports as the fast
  // phases do; a false report stops it.
  LiteralSpecialMode(std::vector<LineRecord> records, float ave, Progress& progress);

  void GetTopZahyou();
  void GetCrossZahyou();
  void GetNewLines();
  void DataConvert();

  bool stopped() const { return stopped_; }

  std::vector<GridPoint> top_points() const;
  std::vector<GridPoint> cross_points() const;
  // NewLines: the lines held (NewCount - 1 of them), NewCount and NewCapacity.
  std::vector<LineRecord> new_lines() const;
  std::int32_t new_count() const { return new_count_; }
  std::int32_t new_capacity() const { return new_capacity_; }
  // LineData: the records held (LineCount - 1), LineCount and LineCapacity.
  std::vector<LineRecord> table() const;
  std::int32_t line_count() const { return line_count_; }
  std::int32_t line_capacity() const { return line_capacity_; }

 private:
  int GetFirstLine();
  int GetNextLine();
  bool TCCheck() const;
  bool AveLine() const;
  bool FoundLine();
  bool FoundLast();
  void CompressData();
  int AddNewLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  // The merging's report between lines; false once stopped.
  bool merge_report();

  std::int32_t S() const { return line_count_ - 1; }
  LineRecord& rec(std::int32_t i) { return line_data_[static_cast<std::size_t>(i - 1)]; }
  const LineRecord& rec(std::int32_t i) const { return line_data_[static_cast<std::size_t>(i - 1)]; }

  std::vector<LineRecord> line_data_;
  std::int32_t line_count_ = 1;
  std::int32_t line_capacity_ = 0;
  float ave_;
  Progress& progress_;
  bool stopped_ = false;
  std::int32_t merge_done_ = 0;  // records taken when the last line was stored

  // The six lists, 1-based (index 0 unused).
  std::vector<std::int32_t> top_x_, top_y_, cross_x_, cross_y_, chain_x_, chain_y_;
  std::int32_t top_count_ = 0, cross_count_ = 0, chain_length_ = 1;
  std::int32_t start_line_count_ = 0;
  std::int32_t compress_counter_ = 0;

  std::vector<LineRecord> new_lines_storage_;
  std::int32_t new_count_ = 1, new_capacity_ = 1024;
};

// AveLine on its own: chain = ChainPoints[1 .. ChainLength].
bool literal_ave_line(std::span<const GridPoint> chain, float ave);

}  // namespace vp::reference
