// Turning one stored bitmap row into packed ink bits (bit c of the words,
// least significant bit first, is pixel c; bits at and beyond the width are zero).
//
// These run once per pixel of every image, so they work a word at a time; the
// tests hold the plain pixel-by-pixel rules to compare them with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vp::bmp {

constexpr std::size_t ink_words(std::int64_t width) { return static_cast<std::size_t>((width + 63) / 64); }

// `row` holds (width + 7) / 8 bytes; pixel c is bit (7 - c % 8) of byte c / 8 and is
// ink when that bit's value equals `ink_index` (an index other than 0 or 1 gives no ink).
// Bits beyond the width in the last byte are never read.
void ink_row_1bit(const std::uint8_t* row, std::int32_t width, int ink_index, std::uint64_t* out);

// `row` holds `width` palette indices; a pixel is ink when its index equals `ink_index`.
void ink_row_8bit(const std::uint8_t* row, std::int32_t width, int ink_index, std::uint64_t* out);

// `row` holds 3 * `width` bytes (blue, green, red); a pixel is ink only when all three are 0.
void ink_row_24bit(const std::uint8_t* row, std::int32_t width, std::uint64_t* out);

// Grey levels for the scan clean-up, one byte per pixel into `out` (`width` bytes).
// `row` holds `width` indices, each turned into grey by `table`.
void grey_row_indexed(const std::uint8_t* row, std::int32_t width, const std::array<std::uint8_t, 256>& table,
                      std::uint8_t* out);
// `row` holds 3 * `width` bytes: blue, green, red when `bgr`, else red, green, blue.
void grey_row_rgb(const std::uint8_t* row, std::int32_t width, bool bgr, std::uint8_t* out);

}  // namespace vp::bmp
