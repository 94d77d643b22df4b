#include "support/reference_special.h"

#include <cmath>

namespace vp::reference {

bool literal_ave_line(std::span<const GridPoint> chain, float ave) {
  const auto n = static_cast<std::int32_t>(chain.size());
  if (n < 3) return false;
  auto X = [&](std::int32_t k) { return chain[static_cast<std::size_t>(k - 1)].x; };
  auto Y = [&](std::int32_t k) { return chain[static_cast<std::size_t>(k - 1)].y; };
  if (X(n) == X(1)) {
    for (std::int32_t k = 2; k <= n - 1; ++k) {
      const double dx = std::fabs(static_cast<double>(X(k)) - static_cast<double>(X(1)));
      if (dx > ave) return true;
    }
    return false;
  }
  if (Y(n) == Y(1)) {
    for (std::int32_t k = 2; k <= n - 1; ++k) {
      const double dy = std::fabs(static_cast<double>(Y(k)) - static_cast<double>(Y(1)));
      if (dy > ave) return true;
    }
    return false;
  }
  const float a = static_cast<float>((static_cast<double>(Y(n)) - Y(1)) / (static_cast<double>(X(n)) - X(1)));
  const float b = static_cast<float>(Y(1) - static_cast<double>(a) * X(1));
  const float c = static_cast<float>(-1.0 / static_cast<double>(a));
  for (std::int32_t k = 2; k <= n - 1; ++k) {
    const float t = static_cast<float>(Y(k) - static_cast<double>(c) * X(k));
    const float u = static_cast<float>((static_cast<double>(t) - b) / (static_cast<double>(a) - c));
    const float v = static_cast<float>(static_cast<double>(a) * u + b);
    const double sx = static_cast<double>(X(k)) - u;
    const double sy = static_cast<double>(Y(k)) - v;
    const float d = static_cast<float>(std::sqrt(sx * sx + sy * sy));
    if (d > ave) return true;
  }
  return false;
}

LiteralSpecialMode::LiteralSpecialMode(std::vector<LineRecord> records, float ave, Progress& progress)
    : line_data_(std::move(records)), ave_(ave), progress_(progress) {
  line_count_ = static_cast<std::int32_t>(line_data_.size()) + 1;
  line_capacity_ = (static_cast<std::int32_t>(line_data_.size()) / 1024 + 1) * 1024;
  new_lines_storage_.assign(1024, LineRecord{});
}

void LiteralSpecialMode::GetTopZahyou() {
  top_count_ = 0;
  const std::int32_t s = S();
  top_x_.assign(static_cast<std::size_t>(2 * s + 1), 0);
  top_y_.assign(static_cast<std::size_t>(2 * s + 1), 0);
  cross_x_.assign(static_cast<std::size_t>(2 * s / 3 + 1), 0);
  cross_y_.assign(static_cast<std::size_t>(2 * s / 3 + 1), 0);
  chain_x_.assign(static_cast<std::size_t>(s + 2), 0);
  chain_y_.assign(static_cast<std::size_t>(s + 2), 0);
  start_line_count_ = s;
  compress_counter_ = 0;
  progress_.report(Phase::EndPoints, 0, s);
  for (std::int32_t i = 1; i <= s; ++i) {
    for (int end = 0; end < 2; ++end) {
      const std::int32_t px = end == 0 ? rec(i).x1 : rec(i).x2;
      const std::int32_t py = end == 0 ? rec(i).y1 : rec(i).y2;
      bool touched = false;
      for (std::int32_t j = 1; j <= s && !touched; ++j) {
        if (j == i) continue;
        touched = (rec(j).x1 == px && rec(j).y1 == py) || (rec(j).x2 == px && rec(j).y2 == py);
      }
      if (!touched) {
        ++top_count_;
        top_x_[static_cast<std::size_t>(top_count_)] = px;
        top_y_[static_cast<std::size_t>(top_count_)] = py;
      }
    }
    if (!progress_.report(Phase::EndPoints, i, s)) {
      stopped_ = true;
      break;
    }
  }
}

void LiteralSpecialMode::GetCrossZahyou() {
  cross_count_ = 0;
  const std::int32_t s = S();
  for (std::int32_t i = 1; i <= s; ++i) {
    for (int end = 0; end < 2; ++end) {
      const std::int32_t px = end == 0 ? rec(i).x1 : rec(i).x2;
      const std::int32_t py = end == 0 ? rec(i).y1 : rec(i).y2;
      int count = 0;
      for (std::int32_t j = 1; j <= s && count < 2; ++j) {
        if (j == i) continue;
        if (rec(j).x1 == px && rec(j).y1 == py) ++count;
        if (rec(j).x2 == px && rec(j).y2 == py) ++count;
      }
      if (count >= 2) {
        bool listed = false;
        for (std::int32_t k = 1; k <= cross_count_ && !listed; ++k)
          listed = cross_x_[static_cast<std::size_t>(k)] == px && cross_y_[static_cast<std::size_t>(k)] == py;
        if (!listed) {
          ++cross_count_;
          cross_x_[static_cast<std::size_t>(cross_count_)] = px;
          cross_y_[static_cast<std::size_t>(cross_count_)] = py;
        }
      }
    }
    if (!progress_.report(Phase::Crossings, i, s)) {
      stopped_ = true;
      break;
    }
  }
}

void LiteralSpecialMode::GetNewLines() {
  int stage = top_count_ > 0 ? 1 : cross_count_ > 0 ? 2 : 3;
  std::int32_t next = 1;
  for (;;) {
    chain_length_ = 1;
    if (stage == 1) {
      chain_x_[1] = top_x_[static_cast<std::size_t>(next)];
      chain_y_[1] = top_y_[static_cast<std::size_t>(next)];
      ++next;
      if (next > top_count_) stage = 2, next = 1;
    } else if (stage == 2) {
      if (cross_count_ > 0) {
        chain_x_[1] = cross_x_[static_cast<std::size_t>(next)];
        chain_y_[1] = cross_y_[static_cast<std::size_t>(next)];
        ++next;
        if (next > cross_count_) stage = 3, next = 1;
      } else {
        stage = 3;
      }
    } else if (stage == 3) {
      if (!FoundLine()) stage = 4;
    } else {
      if (!FoundLast()) return;
    }
    for (;;) {
      const int first = GetFirstLine();
      if (first == 0 || first == 2) break;
      const int rest = GetNextLine();
      if (rest == 2) {
        chain_x_[1] = chain_x_[static_cast<std::size_t>(chain_length_)];
        chain_y_[1] = chain_y_[static_cast<std::size_t>(chain_length_)];
        chain_length_ = 1;
        continue;
      }
      if (rest == 3 || rest == 4) break;
    }
    if (!merge_report()) return;
  }
}

int LiteralSpecialMode::GetFirstLine() {
  const std::int32_t ex = chain_x_[static_cast<std::size_t>(chain_length_)];
  const std::int32_t ey = chain_y_[static_cast<std::size_t>(chain_length_)];
  for (std::int32_t i = 1; i <= S(); ++i) {
    LineRecord& r = rec(i);
    std::int32_t nx, ny;
    if (r.x1 == ex && r.y1 == ey) {
      nx = r.x2, ny = r.y2;
    } else if (r.x2 == ex && r.y2 == ey) {
      nx = r.x1, ny = r.y1;
    } else {
      if (!merge_report()) return 0;
      continue;
    }
    ++chain_length_;
    chain_x_[static_cast<std::size_t>(chain_length_)] = nx;
    chain_y_[static_cast<std::size_t>(chain_length_)] = ny;
    r = LineRecord{-1, -1, -1, -1};
    if (TCCheck()) {
      AddNewLine(chain_x_[1], chain_y_[1], nx, ny);
      return 2;
    }
    return 1;
  }
  return 0;
}

int LiteralSpecialMode::GetNextLine() {
  for (;;) {
    int result = 0;
    const std::int32_t ex = chain_x_[static_cast<std::size_t>(chain_length_)];
    const std::int32_t ey = chain_y_[static_cast<std::size_t>(chain_length_)];
    std::int32_t found = 0;
    for (std::int32_t i = 1; i <= S() && found == 0; ++i) {
      const LineRecord& r = rec(i);
      if ((r.x1 == ex && r.y1 == ey) || (r.x2 == ex && r.y2 == ey)) found = i;
    }
    if (found != 0) {
      LineRecord& r = rec(found);
      ++chain_length_;
      const bool first_end = r.x1 == ex && r.y1 == ey;
      chain_x_[static_cast<std::size_t>(chain_length_)] = first_end ? r.x2 : r.x1;
      chain_y_[static_cast<std::size_t>(chain_length_)] = first_end ? r.y2 : r.y1;
      if (AveLine()) {
        --chain_length_;
        AddNewLine(chain_x_[1], chain_y_[1], chain_x_[static_cast<std::size_t>(chain_length_)],
                   chain_y_[static_cast<std::size_t>(chain_length_)]);
        result = 2;
      } else {
        if (TCCheck()) {
          AddNewLine(chain_x_[1], chain_y_[1], chain_x_[static_cast<std::size_t>(chain_length_)],
                     chain_y_[static_cast<std::size_t>(chain_length_)]);
          result = 3;
        } else {
          result = 1;
        }
        rec(found) = LineRecord{-1, -1, -1, -1};
      }
    } else {
      AddNewLine(chain_x_[1], chain_y_[1], chain_x_[static_cast<std::size_t>(chain_length_)],
                 chain_y_[static_cast<std::size_t>(chain_length_)]);
      result = 4;
    }
    if (!merge_report()) return result;
    if (result != 1) return result;
  }
}

bool LiteralSpecialMode::TCCheck() const {
  const std::int32_t px = chain_x_[static_cast<std::size_t>(chain_length_)];
  const std::int32_t py = chain_y_[static_cast<std::size_t>(chain_length_)];
  for (std::int32_t k = 1; k <= top_count_; ++k)
    if (top_x_[static_cast<std::size_t>(k)] == px && top_y_[static_cast<std::size_t>(k)] == py) return true;
  for (std::int32_t k = 1; k <= cross_count_; ++k)
    if (cross_x_[static_cast<std::size_t>(k)] == px && cross_y_[static_cast<std::size_t>(k)] == py) return true;
  return false;
}

bool LiteralSpecialMode::AveLine() const {
  std::vector<GridPoint> chain;
  for (std::int32_t k = 1; k <= chain_length_; ++k)
    chain.push_back(GridPoint{chain_x_[static_cast<std::size_t>(k)], chain_y_[static_cast<std::size_t>(k)]});
  return literal_ave_line(chain, ave_);
}

bool LiteralSpecialMode::FoundLine() {
  if (compress_counter_ == 0) CompressData();
  if (++compress_counter_ == 100) compress_counter_ = 0;
  auto free_end = [&](std::int32_t i, std::int32_t px, std::int32_t py) {
    for (std::int32_t j = 1; j <= S(); ++j) {
      if (j == i) continue;
      if ((rec(j).x1 == px && rec(j).y1 == py) || (rec(j).x2 == px && rec(j).y2 == py)) return false;
    }
    return true;
  };
  bool found = false;
  for (std::int32_t i = 1; i <= S(); ++i) {
    const LineRecord r = rec(i);
    if (r.x1 == -1) continue;
    if (free_end(i, r.x1, r.y1)) {
      chain_x_[1] = r.x1, chain_y_[1] = r.y1;
      return true;
    }
    if (free_end(i, r.x2, r.y2)) {
      chain_x_[1] = r.x2, chain_y_[1] = r.y2;
      found = true;
    }
    if (!merge_report()) return found;
  }
  return found;
}

bool LiteralSpecialMode::FoundLast() {
  if (compress_counter_ == 0) CompressData();
  if (++compress_counter_ == 100) compress_counter_ = 0;
  for (std::int32_t i = 1; i <= S(); ++i) {
    if (rec(i).x1 == -1) continue;
    chain_x_[1] = rec(i).x1, chain_y_[1] = rec(i).y1;
    return true;
  }
  return false;
}

void LiteralSpecialMode::CompressData() {
  const std::int32_t s = S();
  for (std::int32_t i = 1; i <= s; ++i) {
    if (rec(i).x1 != -1) continue;
    for (std::int32_t j = i + 1; j <= s; ++j) {
      if (rec(j).x1 == -1) continue;
      rec(i) = rec(j);
      rec(j) = LineRecord{-1, -1, -1, -1};
      break;
    }
  }
  std::int32_t live = 0;
  for (std::int32_t i = 1; i <= s; ++i) live += rec(i).x1 != -1;
  line_count_ = live + 1;
}

int LiteralSpecialMode::AddNewLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  if (new_count_ > new_capacity_) {
    new_capacity_ += 1024;
    new_lines_storage_.resize(static_cast<std::size_t>(new_capacity_));
  }
  new_lines_storage_[static_cast<std::size_t>(new_count_ - 1)] = LineRecord{x1, y1, x2, y2};
  ++new_count_;
  if (!progress_.report(Phase::MergedLines, new_count_ - 1, start_line_count_)) stopped_ = true;
  std::int32_t live = 0;
  for (std::int32_t i = 1; i <= S(); ++i) live += rec(i).x1 != -1;
  merge_done_ = start_line_count_ - live;
  merge_report();
  return 0;
}

bool LiteralSpecialMode::merge_report() {
  if (!progress_.report(Phase::Merge, merge_done_, start_line_count_)) stopped_ = true;
  return !stopped_;
}

void LiteralSpecialMode::DataConvert() {
  line_capacity_ = new_capacity_;
  line_count_ = new_count_;
  line_data_ = new_lines_storage_;
  line_data_.resize(static_cast<std::size_t>(new_capacity_));
}

std::vector<GridPoint> LiteralSpecialMode::top_points() const {
  std::vector<GridPoint> points;
  for (std::int32_t k = 1; k <= top_count_; ++k)
    points.push_back({top_x_[static_cast<std::size_t>(k)], top_y_[static_cast<std::size_t>(k)]});
  return points;
}

std::vector<GridPoint> LiteralSpecialMode::cross_points() const {
  std::vector<GridPoint> points;
  for (std::int32_t k = 1; k <= cross_count_; ++k)
    points.push_back({cross_x_[static_cast<std::size_t>(k)], cross_y_[static_cast<std::size_t>(k)]});
  return points;
}

std::vector<LineRecord> LiteralSpecialMode::new_lines() const {
  return {new_lines_storage_.begin(), new_lines_storage_.begin() + (new_count_ - 1)};
}

std::vector<LineRecord> LiteralSpecialMode::table() const {
  return {line_data_.begin(), line_data_.begin() + (line_count_ - 1)};
}

}  // namespace vp::reference
