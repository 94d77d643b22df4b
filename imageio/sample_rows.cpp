#include "imageio/sample_rows.h"

#include <algorithm>

#include "imageio/bmp_row_convert.h"

namespace vp::imageio {

SampleLayout layout_of(const ImageInfo& info) {
  SampleLayout layout;
  layout.rgb = info.kind == PixelKind::Rgb;
  layout.bits = layout.rgb ? 8 : info.bits_per_pixel;
  layout.ink_value = info.ink_index;
  return layout;
}

std::uint64_t row_bytes(std::int64_t width, const SampleLayout& layout) {
  const auto w = static_cast<std::uint64_t>(std::max<std::int64_t>(width, 0));
  return layout.rgb ? 3 * w : (w * static_cast<std::uint64_t>(layout.bits) + 7) / 8;
}

void ink_row(const std::uint8_t* row, std::int32_t width, const SampleLayout& layout, std::uint64_t* out) {
  if (width <= 0) return;
  // The common depths take the bitmap reader's word-wide paths; 2- and 4-bit
  // images are rare enough to go pixel by pixel.
  if (layout.rgb) return bmp::ink_row_24bit(row, width, out);
  if (layout.bits == 1) return bmp::ink_row_1bit(row, width, layout.ink_value, out);
  if (layout.bits == 8) return bmp::ink_row_8bit(row, width, layout.ink_value, out);
  std::fill(out, out + ink_words(width), std::uint64_t{0});
  const int bits = layout.bits;
  const int per_byte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (std::int32_t c = 0; c < width; ++c) {
    const int shift = 8 - bits * (c % per_byte + 1);
    const unsigned value = (row[c / per_byte] >> shift) & mask;
    if (static_cast<int>(value) == layout.ink_value) out[c / 64] |= std::uint64_t{1} << (c % 64);
  }
}

GreyTable grey_levels_of_samples(int bits, bool min_is_white) {
  GreyTable table{};
  const int top = (1 << bits) - 1;
  for (int v = 0; v <= top && v < 256; ++v) {
    const int level = (v * 255 + top / 2) / top;
    table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(min_is_white ? 255 - level : level);
  }
  return table;
}

int ink_grey_level(const SampleLayout& layout, const GreyTable& table) {
  if (layout.rgb || layout.bits > 8 || layout.ink_value < 0 || layout.ink_value >= (1 << layout.bits)) return -1;
  const std::uint8_t ink = table[static_cast<std::size_t>(layout.ink_value)];
  for (int v = 0; v < (1 << layout.bits); ++v)
    if (v != layout.ink_value && table[static_cast<std::size_t>(v)] == ink) return -1;
  return ink;
}

void grey_row(const std::uint8_t* row, std::int32_t width, const SampleLayout& layout, const GreyTable& table,
              std::uint8_t* out) {
  if (width <= 0) return;
  if (layout.rgb) return bmp::grey_row_rgb(row, width, false, out);
  if (layout.bits == 8) return bmp::grey_row_indexed(row, width, table, out);
  const int bits = layout.bits;
  const int per_byte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (std::int32_t c = 0; c < width; ++c) {
    const int shift = 8 - bits * (c % per_byte + 1);
    out[c] = table[(row[c / per_byte] >> shift) & mask];
  }
}

int nearest_to_black(std::span<const Colour> palette) {
  int best = -1;
  std::uint64_t best_distance = 0;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const Colour& c = palette[i];
    const std::uint64_t d =
        std::uint64_t{c.red} * c.red + std::uint64_t{c.green} * c.green + std::uint64_t{c.blue} * c.blue;
    if (best < 0 || d < best_distance) {
      best = static_cast<int>(i);
      best_distance = d;
    }
  }
  return best;
}

InkMask::InkMask(std::int32_t width, std::int32_t height)
    : height_(height), words_(ink_words(width)), bits_(words_ * static_cast<std::size_t>(std::max(height, 0))) {}

bool InkMask::deliver(const InkRowSink& sink) const {
  for (std::int32_t y = 0; y < height_; ++y) {
    if (!sink(y, row(y))) return false;
  }
  return true;
}

}  // namespace vp::imageio
