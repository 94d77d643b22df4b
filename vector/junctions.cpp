#include "vector/junctions.h"

#include <algorithm>
#include <new>

namespace vp {
namespace {

constexpr std::uint8_t kEndPoint = 1;
constexpr std::uint8_t kCrossing = 2;

// Ends of records other than `record` at the point `id`, which is one of its ends.
std::int32_t other_ends(const EndPointIndex& index, std::int32_t record, std::int32_t id) {
  const std::int32_t own = (index.first_end(record) == id) + (index.second_end(record) == id);
  return index.ends_at(id) - own;
}

}  // namespace

PhaseStatus GetTopZahyou(const LineData& lines, SpecialState& state, Progress& progress) {
  state.TopPoints.clear();
  state.top_ids.clear();
  const std::int32_t s = lines.size();
  try {
    state.CrossPoints.clear();
    state.cross_ids.clear();
    state.index.build(lines.first(s));
    state.stop_kind.assign(static_cast<std::size_t>(state.index.point_count()), 0);
  } catch (const std::bad_alloc&) {
    state.index = EndPointIndex();
    return PhaseStatus::OutOfMemory;
  }
  state.StartLineCount = s;
  state.CompressCounter = 0;
  progress.report(Phase::EndPoints, 0, s);  // the records going in, before the first is checked

  const EndPointIndex& index = state.index;
  for (std::int32_t r = 0; r < s; ++r) {
    for (const std::int32_t id : {index.first_end(r), index.second_end(r)}) {
      if (other_ends(index, r, id) == 0) {
        state.TopPoints.push_back(index.point(id));
        state.top_ids.push_back(id);
        state.stop_kind[static_cast<std::size_t>(id)] |= kEndPoint;
      }
    }
    if (!progress.report(Phase::EndPoints, r + 1, s)) return PhaseStatus::Stopped;
  }
  return PhaseStatus::Finished;
}

PhaseStatus GetCrossZahyou(const LineData& lines, SpecialState& state, Progress& progress) {
  state.CrossPoints.clear();
  state.cross_ids.clear();
  const std::int32_t s = std::min(lines.size(), state.index.record_count());
  const EndPointIndex& index = state.index;
  for (std::int32_t r = 0; r < s; ++r) {
    for (const std::int32_t id : {index.first_end(r), index.second_end(r)}) {
      std::uint8_t& kind = state.stop_kind[static_cast<std::size_t>(id)];
      if ((kind & kCrossing) == 0 && other_ends(index, r, id) >= 2) {
        kind |= kCrossing;
        state.CrossPoints.push_back(index.point(id));
        state.cross_ids.push_back(id);
      }
    }
    if (!progress.report(Phase::Crossings, r + 1, s)) return PhaseStatus::Stopped;
  }
  return PhaseStatus::Finished;
}

}  // namespace vp
