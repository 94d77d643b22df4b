#include "raster/pixel_grid.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "raster/memory_budget.h"

namespace vp {

void PixelGrid::FreeDeleter::operator()(std::uint64_t* p) const { std::free(p); }

GridLayout PixelGrid::layout_for(std::int64_t image_width, std::int64_t image_height) {
  constexpr std::int64_t kNarrowest = 30, kRowsOnItsSide = std::int64_t{1} << 20;
  return image_width <= kNarrowest && image_height > kRowsOnItsSide ? GridLayout::OnItsSide : GridLayout::Upright;
}

std::size_t PixelGrid::bytes_needed(std::int64_t image_width, std::int64_t image_height, GridLayout layout) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max() - 2;
  if (image_width < 1 || image_height < 1 || image_width > kMax || image_height > kMax) return 0;
  const bool on_its_side = layout == GridLayout::OnItsSide;
  if (on_its_side && image_width + 2 > kWidestOnItsSide) return 0;
  const std::int64_t stored_width = (on_its_side ? image_height : image_width) + 2;
  const std::int64_t stored_height = (on_its_side ? image_width : image_height) + 2;
  const auto words = static_cast<std::uint64_t>((stored_width + 63) / 64);
  const auto rows = static_cast<std::uint64_t>(stored_height + 2 * kPadRows);
  // Two planes; none of these products can overflow 64 bits for 31-bit dimensions.
  const std::uint64_t bytes = 2 * words * rows * sizeof(std::uint64_t);
  if (bytes > std::numeric_limits<std::size_t>::max() / 2) return 0;
  return static_cast<std::size_t>(bytes);
}

bool PixelGrid::reset(std::int32_t image_width, std::int32_t image_height, GridLayout layout) {
  release();
  const std::size_t bytes = bytes_needed(image_width, image_height, layout);
  if (bytes == 0) return false;
  // The pages of a fresh grid are only committed when first written, so the
  // allocation alone would succeed for a grid that cannot be held; refuse it
  // while the system says there is no room for it and its working copies.
  if (const auto available = available_memory_bytes(); available && bytes / 2 * 3 > *available) return false;
  // calloc hands out zeroed pages without touching them, so clearing a large grid is free.
  const std::size_t plane_words = bytes / sizeof(std::uint64_t) / 2;
  ink_storage_.reset(static_cast<std::uint64_t*>(std::calloc(plane_words, sizeof(std::uint64_t))));
  prot_storage_.reset(static_cast<std::uint64_t*>(std::calloc(plane_words, sizeof(std::uint64_t))));
  if (!ink_storage_ || !prot_storage_) {
    release();
    return false;
  }
  width_ = image_width + 2;
  height_ = image_height + 2;
  on_its_side_ = layout == GridLayout::OnItsSide;
  // In the unsigned size type: width_ + 63 overflows an int for the widest images.
  words_per_row_ = (static_cast<std::size_t>(stored_width()) + 63) / 64;
  ink_ = ink_storage_.get();
  prot_ = prot_storage_.get();
  return true;
}

bool PixelGrid::renew_protected_plane() {
  if (!prot_storage_) return true;
  const std::size_t plane_words =
      bytes_needed(width_ - 2, height_ - 2, on_its_side_ ? GridLayout::OnItsSide : GridLayout::Upright) /
      sizeof(std::uint64_t) / 2;
  // Freed first: the fresh block may reuse the very address space, which a
  // process under an address-space limit may have no more of.
  prot_storage_.reset();
  prot_storage_.reset(static_cast<std::uint64_t*>(std::calloc(plane_words, sizeof(std::uint64_t))));
  if (!prot_storage_) {
    release();
    return false;
  }
  prot_ = prot_storage_.get();
  return true;
}

void PixelGrid::release() {
  ink_storage_.reset();
  prot_storage_.reset();
  ink_ = prot_ = nullptr;
  width_ = height_ = 0;
  words_per_row_ = 0;
  on_its_side_ = false;
}

std::uint8_t PixelGrid::at(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kBackground;
  if (on_its_side_) std::swap(x, y);
  const std::size_t word = static_cast<std::size_t>(x) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (x % 64);
  if ((ink_row(y)[word] & bit) == 0) return kBackground;
  return (protected_row(y)[word] & bit) != 0 ? kProtected : kInk;
}

void PixelGrid::set(std::int32_t x, std::int32_t y, std::uint8_t code) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (on_its_side_) std::swap(x, y);
  const std::size_t word = static_cast<std::size_t>(x) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (x % 64);
  std::uint64_t& ink = ink_row(y)[word];
  std::uint64_t& prot = protected_row(y)[word];
  ink = code != kBackground ? (ink | bit) : (ink & ~bit);
  prot = code == kProtected ? (prot | bit) : (prot & ~bit);
}

void PixelGrid::set_image_row(std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
  const std::int32_t image_height = height_ - 2;
  if (row_from_top < 0 || row_from_top >= image_height) return;
  if (on_its_side_) return set_image_column(image_height - row_from_top, ink);
  std::uint64_t* out = ink_row(image_height - row_from_top);
  std::uint64_t* prot = protected_row(image_height - row_from_top);
  const std::size_t image_words = (static_cast<std::size_t>(width_ - 2) + 63) / 64;
  const std::size_t given = std::min(image_words, ink.size());
  // A blank row over a row that is already blank writes nothing: untouched pages
  // of a fresh grid cost no memory, which matters for vast, mostly empty images.
  const auto blank = [](const std::uint64_t* words, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k)
      if (words[k] != 0) return false;
    return true;
  };
  if (blank(ink.data(), given) && blank(out, words_per_row_) && blank(prot, words_per_row_)) return;
  // Pixel c goes to cell c + 1: shift the whole row left by one bit.
  std::uint64_t carry = 0;
  for (std::size_t k = 0; k < words_per_row_; ++k) {
    const std::uint64_t w = k < given ? ink[k] : 0;
    out[k] = (w << 1) | carry;
    carry = w >> 63;
  }
  // Bits beyond the image would land on the right border or past it.
  const auto border = static_cast<std::size_t>(width_ - 1);
  out[border / 64] &= (std::uint64_t{1} << (border % 64)) - 1;
  for (std::size_t k = border / 64 + 1; k < words_per_row_; ++k) out[k] = 0;
  // Cleared word by word, only where set: a protected plane that is never written stays uncommitted.
  for (std::size_t k = 0; k < words_per_row_; ++k)
    if (prot[k] != 0) prot[k] = 0;
}

// On its side, grid row y is stored column y: one bit in each stored row.
void PixelGrid::set_image_column(std::int32_t y, std::span<const std::uint64_t> ink) {
  const std::size_t word = static_cast<std::size_t>(y) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (y % 64);
  for (std::int32_t c = 0; c < width_ - 2; ++c) {
    const auto k = static_cast<std::size_t>(c) / 64;
    const bool inked = k < ink.size() && ((ink[k] >> (c % 64)) & 1) != 0;
    // Written only where the cell changes, so that blank stretches stay uncommitted.
    std::uint64_t& out = ink_row(c + 1)[word];
    if (((out & bit) != 0) != inked) out ^= bit;
    std::uint64_t& prot = protected_row(c + 1)[word];
    if ((prot & bit) != 0) prot &= ~bit;
  }
}

}  // namespace vp
