// Reading a bitmap through BmpReader into text rows, for the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/bmp_reader.h"

namespace vp::testing_bmp {

struct ReadResult {
  BmpStatus open_status = BmpStatus::Unreadable;
  BmpStatus read_status = BmpStatus::Unreadable;  // only when open_status is Ok
  BmpInfo info;
  std::vector<std::string> rows;    // top row first, '#' ink, '.' background
  std::vector<std::int32_t> order;  // row_from_top of each delivery
  std::vector<std::string> faults;  // broken delivery rules (bad span, repeats, bits past the width...)
  std::int64_t ink_pixels = 0;
};

// Opens `path` and, when that succeeds, reads every row (the sink stops after
// `stop_after` rows when it is not negative).
inline ReadResult read_bmp(const std::string& path, int stop_after = -1) {
  ReadResult out;
  BmpReader reader;
  out.open_status = reader.open(path);
  if (out.open_status != BmpStatus::Ok) return out;
  out.info = reader.info();
  const std::int32_t w = out.info.width;
  const std::int32_t h = out.info.height;
  out.rows.assign(static_cast<std::size_t>(h), std::string());
  const std::size_t words = static_cast<std::size_t>((static_cast<std::int64_t>(w) + 63) / 64);
  out.read_status = reader.read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    out.order.push_back(r);
    if (r < 0 || r >= h) {
      out.faults.push_back("row " + std::to_string(r) + " outside the image");
      return true;
    }
    if (ink.size() != words) out.faults.push_back("row " + std::to_string(r) + " has a span of the wrong size");
    if (!out.rows[static_cast<std::size_t>(r)].empty()) out.faults.push_back("row " + std::to_string(r) + " twice");
    std::string text(static_cast<std::size_t>(w), '.');
    for (std::size_t k = 0; k < ink.size(); ++k) {
      for (int b = 0; b < 64; ++b) {
        if ((ink[k] >> b & 1) == 0) continue;
        const std::int64_t c = static_cast<std::int64_t>(k) * 64 + b;
        if (c >= w) {
          out.faults.push_back("row " + std::to_string(r) + " has a bit past the width");
        } else {
          text[static_cast<std::size_t>(c)] = '#';
          ++out.ink_pixels;
        }
      }
    }
    out.rows[static_cast<std::size_t>(r)] = text;
    return stop_after < 0 || static_cast<int>(out.order.size()) < stop_after;
  });
  return out;
}

inline const char* status_name(BmpStatus s) {
  switch (s) {
    case BmpStatus::Ok:
      return "ok";
    case BmpStatus::Unreadable:
      return "unreadable";
    case BmpStatus::Unsupported:
      return "unsupported";
  }
  return "?";
}

}  // namespace vp::testing_bmp
