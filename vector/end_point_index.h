// The records of a segment table grouped by their end points.
//
// Every distinct end point gets a number (its id); for each record the ids of its
// first end (x1, y1) and second end (x2, y2); for each point the number of record
// ends there and the records that end there, in table order. Built once in
// linear time, so that the special-mode questions "which records end here" and
// "does anything else end here" need no scan of the table.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vector/line_data.h"

namespace vp {

struct GridPoint {
  std::int32_t x = 0, y = 0;
  friend bool operator==(const GridPoint&, const GridPoint&) = default;
};

class EndPointIndex {
 public:
  static constexpr std::int32_t kNone = -1;

  // Groups the ends of `records` (record r is the table's record r + 1).
  // Throws std::bad_alloc when the memory cannot be had.
  void build(std::span<const LineRecord> records);

  std::int32_t record_count() const { return static_cast<std::int32_t>(ends_.size() / 2); }
  std::int32_t point_count() const { return static_cast<std::int32_t>(points_.size()); }

  std::int32_t first_end(std::int32_t record) const { return ends_[2 * static_cast<std::size_t>(record)]; }
  std::int32_t second_end(std::int32_t record) const { return ends_[2 * static_cast<std::size_t>(record) + 1]; }
  GridPoint point(std::int32_t id) const { return points_[static_cast<std::size_t>(id)]; }

  // Record ends at the point; a zero-length record brings two.
  std::int32_t ends_at(std::int32_t id) const { return end_counts_[static_cast<std::size_t>(id)]; }
  // The records with an end at the point, each once, in table order.
  std::span<const std::int32_t> records_at(std::int32_t id) const {
    const auto from = static_cast<std::size_t>(offsets_[static_cast<std::size_t>(id)]);
    const auto to = static_cast<std::size_t>(offsets_[static_cast<std::size_t>(id) + 1]);
    return {members_.data() + from, to - from};
  }
  // Offset of a point's records within members(): lets a caller walk them with its own cursor.
  std::int32_t members_begin(std::int32_t id) const { return offsets_[static_cast<std::size_t>(id)]; }
  std::int32_t members_end(std::int32_t id) const { return offsets_[static_cast<std::size_t>(id) + 1]; }
  std::int32_t member(std::int32_t offset) const { return members_[static_cast<std::size_t>(offset)]; }

  // The id of a point, or kNone when no record ends there.
  std::int32_t find(GridPoint p) const;

 private:
  std::size_t slot_of(GridPoint p) const;

  std::vector<std::int32_t> ends_;        // 2 per record: first end, second end
  std::vector<GridPoint> points_;         // by id, in order of first appearance
  std::vector<std::int32_t> end_counts_;  // by id
  std::vector<std::int32_t> offsets_;     // by id, one more than points_
  std::vector<std::int32_t> members_;     // records by point, table order within a point
  std::vector<std::int32_t> slots_;       // open addressing from point to id; kNone is empty
  int shift_ = 64;
};

}  // namespace vp
