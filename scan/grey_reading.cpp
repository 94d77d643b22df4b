#include "scan/grey_reading.h"

#include <array>
#include <vector>

namespace vp::scan {
namespace {

bool reported(const GreyReadingHooks& hooks, std::int64_t done, std::int64_t total) {
  return !hooks.row_read || hooks.row_read(done, total);
}

// The reading on one thread, as it was before there were two: the first rows
// read for their levels, then the image again for the rule.
GreyReading read_on_one_thread(ImageReader& reader, const ThresholdMode& chosen, const InkRowSink& ink,
                               const GreyReadingHooks& hooks) {
  const ImageInfo& info = reader.info();
  const bool counting = rule_counts_grey_levels(chosen, info, true);
  GreyReading reading;
  reading.mode = mode_for_image(chosen, info, true, counting ? first_rows_grey_levels(reader) : 0);
  if (reading.mode.rule == ThresholdRule::NearestBlack) return reading;
  const std::int64_t total = std::int64_t{info.height} * (reads_twice(reading.mode, info.width, info.height) ? 2 : 1);
  std::int64_t done = 0;
  const GreySource source = [&](const GreyRowSink& sink) {
    return reader.read_grey_rows([&](std::int32_t row, std::span<const std::uint8_t> grey) {
      const bool go_on = sink(row, grey);
      return reported(hooks, ++done, total) && go_on;
    });
  };
  reading.outcome = apply_threshold(reading.mode, info.width, info.height, source, ink, info.x_dpi);
  return reading;
}

}  // namespace

GreyReading read_with_rule(ImageReader& reader, const ThresholdMode& chosen, const InkRowSink& ink,
                           const GreyReadingHooks& hooks) {
  const ImageInfo& info = reader.info();
  GreyReading reading;
  if (!reader.has_grey_levels()) {
    reading.mode = mode_for_image(chosen, info, false);
    return reading;
  }
  const bool counting = rule_counts_grey_levels(chosen, info, true);
  reading.mode = mode_for_image(chosen, info, true, 0);
  const int ink_level = reader.ink_grey_level();
  if (!counting && reading.mode.rule == ThresholdRule::NearestBlack && ink_level < 0) return reading;

  // Rows held while the first ones choose the rule: beyond this (rows wider than a
  // quarter of a million pixels), the first rows are read twice instead.
  constexpr std::int64_t kMostHeldBytes = std::int64_t{16} << 20;
  if (counting && std::int64_t{kLevelRows} * info.width > kMostHeldBytes)
    return read_on_one_thread(reader, chosen, ink, hooks);
  const GreySource source = [&reader](const GreyRowSink& sink) { return reader.read_grey_rows(sink); };
  DecodedRows rows(source, info.width, hooks.keep_going, hooks.stop);
  if (!rows.started()) return read_on_one_thread(reader, chosen, ink, hooks);
  std::int64_t done = 0;
  std::int64_t total = info.height;
  std::int32_t row = 0;
  std::span<const std::uint8_t> grey;
  // By format: the first kLevelRows rows are held while their levels choose the
  // rule, then go to it like the rest.
  std::vector<std::uint8_t> held;
  std::vector<std::int32_t> held_rows;
  if (counting) {
    std::array<bool, 256> seen{};
    std::int32_t levels = 0;
    bool go_on = true;
    while (go_on && held_rows.size() < static_cast<std::size_t>(kLevelRows) && rows.next(row, grey)) {
      held.insert(held.end(), grey.begin(), grey.end());
      held_rows.push_back(row);
      for (const std::uint8_t v : grey) {
        if (!seen[v] && levels <= kFewGreyLevels) {
          seen[v] = true;
          ++levels;
        }
      }
      go_on = reported(hooks, ++done, total);
    }
    if (!go_on) {
      rows.stop();
      reading.outcome.stopped = true;
    }
    // A fault within the first rows: nearest-black, whose own reading reports it.
    if (held_rows.size() < static_cast<std::size_t>(kLevelRows) && rows.finish() != ImageStatus::Ok) levels = 0;
    reading.mode = mode_for_image(chosen, info, true, levels);
    if ((reading.mode.rule == ThresholdRule::NearestBlack && ink_level < 0) || !go_on) {
      rows.stop();
      rows.finish();
      return reading;
    }
  }
  if (reading.mode.rule == ThresholdRule::NearestBlack) {
    reading.ink_read = true;
    std::array<bool, 256> seen{};
    std::vector<std::uint64_t> bits((static_cast<std::size_t>(info.width) + 63) / 64);
    // The reader's own rule on a grey row, its levels counted for the advice on the way.
    const auto take = [&](std::int32_t r, std::span<const std::uint8_t> levels) {
      std::fill(bits.begin(), bits.end(), std::uint64_t{0});
      for (std::size_t x = 0; x < levels.size(); ++x) {
        bits[x / 64] |= std::uint64_t{levels[x] == ink_level} << (x % 64);
        if (reading.levels <= kFewGreyLevels && !seen[levels[x]]) {
          seen[levels[x]] = true;
          ++reading.levels;
        }
      }
      return ink(r, bits);
    };
    const auto width = static_cast<std::size_t>(info.width);
    bool go_on = true;
    for (std::size_t i = 0; go_on && i < held_rows.size(); ++i)
      go_on = take(held_rows[i], std::span<const std::uint8_t>(held.data() + i * width, width));
    while (go_on && rows.next(row, grey)) go_on = take(row, grey) && reported(hooks, ++done, total);
    if (!go_on) rows.stop();
    reading.outcome.status = rows.finish();
    reading.outcome.stopped = !go_on;
    return reading;
  }

  ThresholdRows rule(reading.mode, info.width, info.height, ink, info.x_dpi);
  if (reads_twice(reading.mode, info.width, info.height)) total *= 2;
  bool go_on = true;
  const auto width = static_cast<std::size_t>(info.width);
  for (std::size_t i = 0; go_on && i < held_rows.size(); ++i)
    go_on = rule.add_row(held_rows[i], std::span<const std::uint8_t>(held.data() + i * width, width));
  held = {};
  while (go_on && rows.next(row, grey)) {
    const bool taken = rule.add_row(row, grey);
    go_on = reported(hooks, ++done, total) && taken;
  }
  if (!go_on) rows.stop();
  const ImageStatus status = rows.finish();
  const GreySource again = decoded_on_own_thread(source, info.width, hooks.keep_going, hooks.stop);
  reading.outcome = rule.finish(status, [&](const GreyRowSink& sink) {
    return again([&](std::int32_t r, std::span<const std::uint8_t> levels) {
      const bool taken = sink(r, levels);
      return reported(hooks, ++done, total) && taken;
    });
  });
  return reading;
}

}  // namespace vp::scan
