// Turning decoded rows of TIFF, PNG and PBM images into ink words (bit c of the
// words, least significant bit first, is pixel c; bits at and beyond the width
// are zero), and an ink mask for the formats whose rows cannot be finished one
// at a time (interlaced PNG, TIFF with one plane per colour).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imageio/image_reader.h"
#include "raster/memory_budget.h"

namespace vp::imageio {

// Images wider or higher than this cannot have a grid (its sides are the image's + 2).
constexpr std::int64_t kMaxImageSide = 2147483647LL - 2;
// No decoded row or band of rows may take more than this: a file that asks for
// more is not a scan that we take.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{1} << 30;

constexpr std::size_t ink_words(std::int64_t width) { return static_cast<std::size_t>((width + 63) / 64); }

// How the samples of a decoded row are laid out and which of them are ink.
struct SampleLayout {
  int bits = 8;       // palette and grey: 1, 2, 4 or 8 bits, packed most significant first
  bool rgb = false;   // three 8-bit samples per pixel (any order): ink only when all are 0
  int ink_value = 0;  // palette and grey: the sample value that is ink
};

// The layout of a described image.
SampleLayout layout_of(const ImageInfo& info);

// Bytes of one packed row of `width` pixels.
std::uint64_t row_bytes(std::int64_t width, const SampleLayout& layout);

// `row` holds row_bytes(width, layout) bytes.
void ink_row(const std::uint8_t* row, std::int32_t width, const SampleLayout& layout, std::uint64_t* out);

// The grey level (0 black .. 255 white) of every sample value of a palette or
// grey image; RGB images need none.
using GreyTable = std::array<std::uint8_t, 256>;
// Grey samples of `bits` bits scaled to 0..255, turned round when 0 is white.
GreyTable grey_levels_of_samples(int bits, bool min_is_white);

// The grey level of the ink value of a palette or grey image when no other
// sample value has it; -1 otherwise, and for RGB.
int ink_grey_level(const SampleLayout& layout, const GreyTable& table);

// `row` holds row_bytes(width, layout) bytes (RGB: red, green, blue); `width` grey levels to `out`.
void grey_row(const std::uint8_t* row, std::int32_t width, const SampleLayout& layout, const GreyTable& table,
              std::uint8_t* out);

// Nearest to black among colours by squared distance, ties to the lowest index;
// -1 for an empty list. Components may be of any range, all of the same.
struct Colour {
  std::uint32_t red = 0, green = 0, blue = 0;
};
int nearest_to_black(std::span<const Colour> palette);

// The ink of a whole image, 1 bit per pixel, for readers that must finish every
// row before handing any over. Refused (std::bad_alloc) when larger than the
// memory available.
class InkMask {
 public:
  InkMask(std::int32_t width, std::int32_t height);
  std::uint64_t* row(std::int32_t y) { return bits_.data() + static_cast<std::size_t>(y) * words_; }
  std::span<const std::uint64_t> row(std::int32_t y) const {
    return {bits_.data() + static_cast<std::size_t>(y) * words_, words_};
  }
  void set(std::int32_t x, std::int32_t y) { row(y)[x / 64] |= std::uint64_t{1} << (x % 64); }
  // Hands every row to `sink`, top first; false when the sink stopped.
  bool deliver(const InkRowSink& sink) const;

 private:
  std::int32_t height_;
  std::size_t words_;
  ZeroedBuffer<std::uint64_t> bits_;  // commits memory only for the rows that hold ink
};

}  // namespace vp::imageio
