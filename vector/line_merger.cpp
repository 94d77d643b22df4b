#include "vector/line_merger.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <queue>
#include <vector>

#include "vector/chain_straightness.h"

namespace vp {
namespace {

// GetFirstLine's results.
constexpr int kNoSegment = 0, kChainGoesOn = 1, kChainDone = 2;
// GetNextLine's results (1 also: extended, then stopped).
constexpr int kExtended = 1, kBent = 2, kReachedStop = 3, kDeadEnd = 4;

class LineMerger {
 public:
  LineMerger(LineData& lines, LineData& new_lines, SpecialState& state, float tolerance, Progress& progress);

  void GetNewLines();
  PhaseStatus status() const {
    return out_of_memory_ ? PhaseStatus::OutOfMemory : stop_asked_ ? PhaseStatus::Stopped : PhaseStatus::Finished;
  }

 private:
  int GetFirstLine();
  int GetNextLine();
  bool TCCheck() const { return state_.is_stop(chain_ids_.back()); }
  bool AveLine() { return straightness_.bent(chain_); }
  bool FoundLine();
  bool FoundLast();
  // Records keep their places; compaction only marks which taken records it would
  // have dropped from the table (see settle_table).
  void CompressData() { taken_at_compaction_ = taken_; }
  int AddNewLine(GridPoint from, GridPoint to);

  void compaction_step();
  // ChainLength := 1 with ChainPoints[1] := the point.
  void restart_chain(GridPoint at, std::int32_t id);
  void extend_chain(std::int32_t record, std::int32_t from);
  std::int32_t first_live_at(std::int32_t id);
  void take(std::int32_t record);
  void note_if_free(std::int32_t id);
  std::int32_t own_ends(std::int32_t record, std::int32_t id) const {
    return (index_.first_end(record) == id) + (index_.second_end(record) == id);
  }
  bool live(std::int32_t record) const { return live_[static_cast<std::size_t>(record)] != 0; }
  void settle_table();
  bool stopped() const { return stop_asked_ || out_of_memory_; }
  // Lets the program act; false once the merging must stop.
  bool report();

  LineData& lines_;
  LineData& new_lines_;
  SpecialState& state_;
  const EndPointIndex& index_;
  Progress& progress_;
  std::int32_t records_;  // S when merging started; records keep their places

  std::vector<std::uint8_t> live_;          // by record
  std::vector<std::int32_t> taken_serial_;  // by record: the how-manieth record taken
  std::vector<std::int32_t> live_ends_;     // by point
  std::vector<std::int32_t> cursor_;        // by point: first record of the point not known to be taken
  std::int32_t live_count_ = 0;
  std::int32_t taken_ = 0;
  std::int32_t taken_at_compaction_ = 0;  // records taken when CompressData last ran
  std::int32_t first_live_ = 0;           // no live record before it
  std::priority_queue<std::int32_t, std::vector<std::int32_t>, std::greater<>> free_first_;
  std::priority_queue<std::int32_t> free_second_;

  std::vector<GridPoint> chain_;  // ChainPoints[1 .. ChainLength]
  std::vector<std::int32_t> chain_ids_;
  ChainStraightness straightness_;
  bool new_lines_lost_ = false;
  bool stop_asked_ = false;
  bool out_of_memory_ = false;
  std::int32_t taken_at_last_line_ = 0;  // what the progress reports: records taken when a line was last stored
};

LineMerger::LineMerger(LineData& lines, LineData& new_lines, SpecialState& state, float tolerance, Progress& progress)
    : lines_(lines),
      new_lines_(new_lines),
      state_(state),
      index_(state.index),
      progress_(progress),
      records_(std::min(lines.size(), state.index.record_count())),
      straightness_(tolerance) {
  const auto n = static_cast<std::size_t>(records_);
  const auto points = static_cast<std::size_t>(index_.point_count());
  live_.assign(n, 1);
  taken_serial_.assign(n, 0);
  live_count_ = records_;
  live_ends_.resize(points);
  cursor_.resize(points);
  for (std::size_t p = 0; p < points; ++p) {
    live_ends_[p] = index_.ends_at(static_cast<std::int32_t>(p));
    cursor_[p] = index_.members_begin(static_cast<std::int32_t>(p));
  }
  std::vector<std::int32_t> first_free, second_free;
  for (std::int32_t r = 0; r < records_; ++r) {
    const std::int32_t a = index_.first_end(r), b = index_.second_end(r);
    if (live_ends_[static_cast<std::size_t>(a)] == own_ends(r, a)) first_free.push_back(r);
    if (live_ends_[static_cast<std::size_t>(b)] == own_ends(r, b)) second_free.push_back(r);
  }
  free_first_ = decltype(free_first_)(std::greater<>(), std::move(first_free));
  free_second_ = decltype(free_second_)(std::less<std::int32_t>(), std::move(second_free));
  // ChainPoints starts zero-filled: the first chain point is (0, 0).
  chain_.push_back(GridPoint{0, 0});
  chain_ids_.push_back(index_.find(GridPoint{0, 0}));
}

void LineMerger::restart_chain(GridPoint at, std::int32_t id) {
  chain_.assign(1, at);
  chain_ids_.assign(1, id);
  straightness_.restart();
}

void LineMerger::extend_chain(std::int32_t record, std::int32_t from) {
  const std::int32_t to = index_.first_end(record) == from ? index_.second_end(record) : index_.first_end(record);
  chain_.push_back(index_.point(to));
  chain_ids_.push_back(to);
}

std::int32_t LineMerger::first_live_at(std::int32_t id) {
  if (id < 0) return -1;
  std::int32_t& at = cursor_[static_cast<std::size_t>(id)];
  const std::int32_t end = index_.members_end(id);
  while (at < end && !live(index_.member(at))) ++at;
  return at < end ? index_.member(at) : -1;
}

// The end(s) of the first live record at the point are free once the live ends there are its own.
void LineMerger::note_if_free(std::int32_t id) {
  const std::int32_t ends = live_ends_[static_cast<std::size_t>(id)];
  if (ends == 0) return;
  const std::int32_t record = first_live_at(id);
  if (ends != own_ends(record, id)) return;
  if (index_.first_end(record) == id) free_first_.push(record);
  if (index_.second_end(record) == id) free_second_.push(record);
}

void LineMerger::take(std::int32_t record) {
  live_[static_cast<std::size_t>(record)] = 0;
  taken_serial_[static_cast<std::size_t>(record)] = taken_++;
  --live_count_;
  const std::int32_t a = index_.first_end(record), b = index_.second_end(record);
  --live_ends_[static_cast<std::size_t>(a)];
  --live_ends_[static_cast<std::size_t>(b)];
  note_if_free(a);
  if (b != a) note_if_free(b);
}

int LineMerger::AddNewLine(GridPoint from, GridPoint to) {
  // Once the table failed to grow it stays released: a later store would start a
  // fresh block of 1024 records below a count that may already be beyond it.
  if (new_lines_lost_) return 2;
  if (!new_lines_.add(from.x, from.y, to.x, to.y)) {
    new_lines_lost_ = true;
    out_of_memory_ = true;
    return 2;
  }
  if (!progress_.report(Phase::MergedLines, new_lines_.size(), state_.StartLineCount)) stop_asked_ = true;
  taken_at_last_line_ = state_.StartLineCount - live_count_;
  report();
  return 0;
}

bool LineMerger::report() {
  if (!progress_.report(Phase::Merge, taken_at_last_line_, state_.StartLineCount)) stop_asked_ = true;
  return !stopped();
}

int LineMerger::GetFirstLine() {
  // The literal scan would notice the stop at the first record it passes over.
  if (stopped()) return kNoSegment;
  const std::int32_t end = chain_ids_.back();
  const std::int32_t record = first_live_at(end);
  if (record < 0) return kNoSegment;
  extend_chain(record, end);
  take(record);
  if (TCCheck()) {
    AddNewLine(chain_.front(), chain_.back());
    return kChainDone;
  }
  return kChainGoesOn;
}

int LineMerger::GetNextLine() {
  for (;;) {
    int result;
    const std::int32_t end = chain_ids_.back();
    const std::int32_t record = first_live_at(end);
    if (record >= 0) {
      extend_chain(record, end);
      if (AveLine()) {
        chain_.pop_back();
        chain_ids_.pop_back();
        AddNewLine(chain_.front(), chain_.back());
        result = kBent;  // the record stays for the next chain
      } else {
        result = kExtended;
        if (TCCheck()) {
          AddNewLine(chain_.front(), chain_.back());
          result = kReachedStop;
        }
        take(record);  // after the line: its progress still counts this record
      }
    } else {
      AddNewLine(chain_.front(), chain_.back());
      result = kDeadEnd;
    }
    if (!report() || result != kExtended) return result;
  }
}

void LineMerger::compaction_step() {
  if (state_.CompressCounter == 0) CompressData();
  if (++state_.CompressCounter == 100) state_.CompressCounter = 0;
}

bool LineMerger::FoundLine() {
  compaction_step();
  while (!free_first_.empty() && !live(free_first_.top())) free_first_.pop();
  if (!free_first_.empty()) {
    const std::int32_t id = index_.first_end(free_first_.top());
    restart_chain(index_.point(id), id);
    return true;
  }
  while (!free_second_.empty() && !live(free_second_.top())) free_second_.pop();
  if (!free_second_.empty()) {
    const std::int32_t id = index_.second_end(free_second_.top());
    restart_chain(index_.point(id), id);
    return true;
  }
  return false;
}

bool LineMerger::FoundLast() {
  compaction_step();
  while (first_live_ < records_ && !live(first_live_)) ++first_live_;
  if (first_live_ == records_) return false;
  const std::int32_t id = index_.first_end(first_live_);
  restart_chain(index_.point(id), id);
  return true;
}

// The table as compaction leaves it: the records live at the last CompressData in
// their order, those taken since then marked -1 in their places.
void LineMerger::settle_table() {
  LineRecord* table = lines_.data();
  std::int32_t kept = 0;
  for (std::int32_t r = 0; r < records_; ++r) {
    const auto i = static_cast<std::size_t>(r);
    if (live_[i]) {
      table[kept++] = table[r];
    } else if (taken_serial_[i] >= taken_at_compaction_) {
      table[kept++] = LineRecord{-1, -1, -1, -1};
    }
  }
  lines_.truncate(kept);
}

void LineMerger::GetNewLines() {
  const std::vector<GridPoint>& tops = state_.TopPoints;
  const std::vector<GridPoint>& crossings = state_.CrossPoints;
  int stage = !tops.empty() ? 1 : !crossings.empty() ? 2 : 3;
  std::size_t next = 0;
  for (;;) {
    // ChainLength := 1; ChainPoints[1] stays unless the stage sets a new start.
    restart_chain(chain_.front(), chain_ids_.front());
    switch (stage) {
      case 1:
        restart_chain(tops[next], state_.top_ids[next]);
        if (++next >= tops.size()) stage = 2, next = 0;
        break;
      case 2:
        if (!crossings.empty()) {
          restart_chain(crossings[next], state_.cross_ids[next]);
          if (++next >= crossings.size()) stage = 3, next = 0;
        } else {
          stage = 3;
        }
        break;
      case 3:
        if (!FoundLine()) stage = 4;
        break;
      default:
        if (!FoundLast()) {
          settle_table();
          return;
        }
        break;
    }
    for (;;) {
      const int first = GetFirstLine();
      if (first == kNoSegment || first == kChainDone) break;
      const int next_result = GetNextLine();
      if (next_result == kBent) {
        restart_chain(chain_.back(), chain_ids_.back());
        continue;
      }
      if (next_result == kReachedStop || next_result == kDeadEnd) break;
    }
    if (!report()) {
      settle_table();
      return;
    }
  }
}

}  // namespace

PhaseStatus GetNewLines(LineData& lines, LineData& new_lines, SpecialState& state, float tolerance,
                        Progress& progress) {
  std::optional<LineMerger> merger;
  try {
    merger.emplace(lines, new_lines, state, tolerance, progress);
    merger->GetNewLines();
  } catch (const std::bad_alloc&) {
    return PhaseStatus::OutOfMemory;  // the working state or a chain could not grow
  }
  return merger->status();
}

void DataConvert(LineData& lines, LineData& new_lines) { lines.adopt(std::move(new_lines)); }

}  // namespace vp
