#include "vector/junctions.h"

#include <algorithm>
#include <new>

namespace vp {
namespace {

constexpr std::uint8_t kEndPoint = 1;
constexpr std::uint8_t kCrossing = 2;

std::int32_t records_held(const LineData& lines) { return lines.count() > 1 ? lines.count() - 1 : 0; }

// Ends of records other than `record` at the point `id`, which is one of its ends.
std::int32_t other_ends(const EndPointIndex& index, std::int32_t record, std::int32_t id) {
  const std::int32_t own = (index.first_end(record) == id) + (index.second_end(record) == id);
  return index.ends_at(id) - own;
}

// The bar after record i (from 1) of S: trunc(i / S × 100 / 3), computed in floating point.
int third_of_percent(std::int32_t i, std::int32_t s) {
  return static_cast<int>(static_cast<double>(i) / static_cast<double>(s) * 100.0 / 3.0);
}

}  // namespace

void GetTopZahyou(const LineData& lines, SpecialState& state, SpecialControl& control) {
  state.TopPoints.clear();
  state.top_ids.clear();
  control.view.check_running(SpecialCheck::EndPoints);
  const std::int32_t s = records_held(lines);
  try {
    state.CrossPoints.clear();
    state.cross_ids.clear();
    state.index.build(lines.first(s));
    state.stop_kind.assign(static_cast<std::size_t>(state.index.point_count()), 0);
  } catch (const std::bad_alloc&) {
    state.index = EndPointIndex();
    control.cancel_state = 2;
    control.view.check_done(SpecialCheck::EndPoints);
    return;
  }
  state.StartLineCount = s;
  state.CompressCounter = 0;
  control.view.show_count(SpecialCount::Traced, s);

  const EndPointIndex& index = state.index;
  for (std::int32_t r = 0; r < s; ++r) {
    for (const std::int32_t id : {index.first_end(r), index.second_end(r)}) {
      if (other_ends(index, r, id) == 0) {
        state.TopPoints.push_back(index.point(id));
        state.top_ids.push_back(id);
        state.stop_kind[static_cast<std::size_t>(id)] |= kEndPoint;
      }
    }
    state.bar.show(control.view, third_of_percent(r + 1, s));
    control.view.process_events();
    if (control.stopped()) break;
  }
  control.view.check_done(SpecialCheck::EndPoints);
}

void GetCrossZahyou(const LineData& lines, SpecialState& state, SpecialControl& control) {
  control.view.check_running(SpecialCheck::Crossings);
  state.CrossPoints.clear();
  state.cross_ids.clear();
  const std::int32_t s = std::min(records_held(lines), state.index.record_count());
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
    state.bar.show(control.view, third_of_percent(r + 1, s) + 33);
    control.view.process_events();
    if (control.stopped()) break;
  }
  control.view.check_done(SpecialCheck::Crossings);
}

}  // namespace vp
