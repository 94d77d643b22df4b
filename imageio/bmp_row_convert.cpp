#include "imageio/bmp_row_convert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "imageio/image_reader.h"

namespace vp::bmp {
namespace {

// Stored rows put the leftmost pixel in a byte's most significant bit; the ink
// words want it in the least significant one.
constexpr std::array<std::uint8_t, 256> make_reversed_bytes() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned r = 0;
    for (unsigned i = 0; i < 8; ++i) {
      if (b & (1u << i)) r |= 0x80u >> i;
    }
    table[b] = static_cast<std::uint8_t>(r);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kReversed = make_reversed_bytes();

constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  }
  return v;
}

// Bit k set when byte k of v (little-endian order) is zero. Exact: no borrow
// crosses bytes, unlike the usual "has a zero byte" test.
unsigned zero_byte_flags(std::uint64_t v) {
  const std::uint64_t nonzero = ((v & kLow7) + kLow7) | v;
  const std::uint64_t zero = ~nonzero & kHigh;
  // Gathers bit 8k + 7 to bit 56 + k; the partial products never overlap.
  return static_cast<unsigned>(((zero >> 7) * 0x0102040810204080ULL) >> 56);
}

void clear(std::uint64_t* out, std::int32_t width) { std::fill(out, out + ink_words(width), std::uint64_t{0}); }

}  // namespace

void ink_row_1bit(const std::uint8_t* row, std::int32_t width, int ink_index, std::uint64_t* out) {
  if (width <= 0) return;
  clear(out, width);
  if (ink_index != 0 && ink_index != 1) return;
  const std::uint64_t invert = ink_index == 0 ? ~std::uint64_t{0} : 0;
  const std::size_t full_words = static_cast<std::size_t>(width) / 64;
  for (std::size_t k = 0; k < full_words; ++k) {
    const std::uint8_t* p = row + 8 * k;
    std::uint64_t w = 0;
    for (int j = 0; j < 8; ++j) w |= std::uint64_t{kReversed[p[j]]} << (8 * j);
    out[k] = w ^ invert;
  }
  const unsigned rest = static_cast<unsigned>(width % 64);
  if (rest != 0) {
    const std::uint8_t* p = row + 8 * full_words;
    const unsigned bytes = (rest + 7) / 8;
    std::uint64_t w = 0;
    for (unsigned j = 0; j < bytes; ++j) w |= std::uint64_t{kReversed[p[j]]} << (8 * j);
    out[full_words] = (w ^ invert) & ((std::uint64_t{1} << rest) - 1);
  }
}

void ink_row_8bit(const std::uint8_t* row, std::int32_t width, int ink_index, std::uint64_t* out) {
  if (width <= 0) return;
  clear(out, width);
  if (ink_index < 0 || ink_index > 255) return;
  const std::uint64_t pattern = kOnes * static_cast<std::uint64_t>(ink_index);
  const std::size_t n = static_cast<std::size_t>(width);
  std::size_t c = 0;
  for (; c + 8 <= n; c += 8) {
    out[c / 64] |= std::uint64_t{zero_byte_flags(load_le64(row + c) ^ pattern)} << (c % 64);
  }
  for (; c < n; ++c) {
    if (row[c] == ink_index) out[c / 64] |= std::uint64_t{1} << (c % 64);
  }
}

void ink_row_24bit(const std::uint8_t* row, std::int32_t width, std::uint64_t* out) {
  if (width <= 0) return;
  clear(out, width);
  const std::size_t n = static_cast<std::size_t>(width);
  std::size_t c = 0;
  for (; c + 8 <= n; c += 8) {
    const std::uint8_t* p = row + 3 * c;
    const unsigned f = zero_byte_flags(load_le64(p)) | (zero_byte_flags(load_le64(p + 8)) << 8) |
                       (zero_byte_flags(load_le64(p + 16)) << 16);
    if (f == 0) continue;  // the usual case on a white sheet
    // Pixel i owns flag bits 3i..3i+2; it is ink when all three are set.
    const unsigned all3 = f & (f >> 1) & (f >> 2);
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 8; ++i) bits |= std::uint64_t{(all3 >> (3 * i)) & 1u} << i;
    out[c / 64] |= bits << (c % 64);
  }
  for (; c < n; ++c) {
    const std::uint8_t* p = row + 3 * c;
    if ((p[0] | p[1] | p[2]) == 0) out[c / 64] |= std::uint64_t{1} << (c % 64);
  }
}

void grey_row_indexed(const std::uint8_t* row, std::int32_t width, const std::array<std::uint8_t, 256>& table,
                      std::uint8_t* out) {
  for (std::int32_t c = 0; c < width; ++c) out[c] = table[row[c]];
}

void grey_row_rgb(const std::uint8_t* row, std::int32_t width, bool bgr, std::uint8_t* out) {
  const int red = bgr ? 2 : 0, blue = bgr ? 0 : 2;
  for (std::int32_t c = 0; c < width; ++c, row += 3) out[c] = luma(row[red], row[1], row[blue]);
}

}  // namespace vp::bmp
