#include "app/gui/InkPlane.h"

#include <algorithm>
#include <new>
#include <utility>

#include "raster/grid_rows.h"
#include "raster/upright_grid.h"

namespace vp::gui {
namespace {

std::size_t wordsFor(std::int32_t width) { return static_cast<std::size_t>((std::int64_t{width} + 63) / 64); }

// The even bits of `w` (bits 0, 2, 4 ...) packed into the low 32 bits.
std::uint64_t evenBits(std::uint64_t w) {
  w &= 0x5555555555555555ull;
  w = (w | (w >> 1)) & 0x3333333333333333ull;
  w = (w | (w >> 2)) & 0x0F0F0F0F0F0F0F0Full;
  w = (w | (w >> 4)) & 0x00FF00FF00FF00FFull;
  w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
  w = (w | (w >> 16)) & 0x00000000FFFFFFFFull;
  return w;
}

// The plane with cell (x, y) moved to (y, x); null when its memory cannot be had.
std::shared_ptr<InkPlane> turnedOnItsSide(InkPlane& plane) {
  auto turned = std::make_shared<InkPlane>();
  if (!turned->reset(plane.height(), plane.width()) || turned->empty()) return nullptr;
  transpose_cells({plane.row(0).data(), plane.wordsPerRow(), plane.width(), plane.height()},
                  {turned->row(0).data(), turned->wordsPerRow(), turned->width(), turned->height()});
  return turned;
}

// Where stored pixel (c, r) of a w x h image stands once the image is upright.
std::pair<std::int32_t, std::int32_t> uprightPixel(int orientation, std::int32_t w, std::int32_t h, std::int32_t c,
                                                   std::int32_t r) {
  const OrientationSteps steps = orientation_steps(orientation);
  if (steps.reverse_rows) r = h - 1 - r;
  if (steps.mirror_rows) c = w - 1 - c;
  // The transpose of grid cells, in image terms (upright_grid.h).
  if (steps.transpose) return {h - 1 - r, w - 1 - c};
  return {c, r};
}

// Reads as its inner reader does and copies every row into the slot's plane.
class CopyingReader final : public ImageReader {
 public:
  CopyingReader(std::unique_ptr<ImageReader> inner, std::shared_ptr<LoadedInkCopy::Slot> slot)
      : inner_(std::move(inner)), slot_(std::move(slot)) {}

  ImageStatus open(const std::string& path) override {
    slot_->plane.reset();
    return inner_->open(path);
  }
  const ImageInfo& info() const override { return inner_->info(); }
  void set_stop_check(std::function<bool()> stop) override { inner_->set_stop_check(std::move(stop)); }

  ImageStatus read_rows(const InkRowSink& sink) override {
    slot_->plane.reset();
    const ImageInfo& image = inner_->info();
    // Made here rather than at open: by now the conversion has its grid, which
    // must not be refused for the sake of a copy.
    auto plane = std::make_shared<InkPlane>();
    const std::int64_t width = std::int64_t{image.width} + 2;
    const std::int64_t height = std::int64_t{image.height} + 2;
    const bool copying = image.width > 0 && image.height > 0 &&
                         static_cast<std::uint64_t>(height) * ((static_cast<std::uint64_t>(width) + 63) / 64) * 8 <=
                             LoadedInkCopy::kLargestCopy &&
                         plane->reset(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    // The copy stands upright as the grid does: rows reversed or mirrored on the
    // way in, turned on its side once read.
    InkRows copy = upright_rows(image.orientation, image.width, image.height,
                                [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
                                  if (row_from_top >= 0 && row_from_top < image.height) {
                                    // Cell x = c + 1: the row moves one bit up.
                                    const std::span<std::uint64_t> out = plane->row(image.height - row_from_top);
                                    std::uint64_t carry = 0;
                                    for (std::size_t k = 0; k < out.size(); ++k) {
                                      const std::uint64_t word = k < ink.size() ? ink[k] : 0;
                                      out[k] = (word << 1) | carry;
                                      carry = word >> 63;
                                    }
                                  }
                                  return true;
                                });
    const ImageStatus status = inner_->read_rows([&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
      if (copying) copy(row_from_top, ink);
      return sink(row_from_top, ink);
    });
    if (copying && turns_sideways(image.orientation)) plane = turnedOnItsSide(*plane);
    if (copying && plane) slot_->plane = std::move(plane);
    return status;
  }

  // The scan clean-up reads grey levels itself; what it makes of them reaches
  // the preview through the conversion's ink observer, not through here.
  bool has_grey_levels() const override { return inner_->has_grey_levels(); }
  ImageStatus read_grey_rows(const GreyRowSink& sink) override { return inner_->read_grey_rows(sink); }

 private:
  std::unique_ptr<ImageReader> inner_;
  std::shared_ptr<LoadedInkCopy::Slot> slot_;
};

// True when `plane` holds exactly the grid's cells.
bool sameCells(const InkPlane& plane, const PixelGrid& grid) {
  if (plane.width() != grid.width() || plane.height() != grid.height() || plane.empty()) return false;
  GridRows rows(grid);
  const std::size_t words = std::min(plane.wordsPerRow(), rows.words());
  const std::int32_t tail = plane.width() % 64;
  const std::uint64_t last_mask = tail == 0 ? ~std::uint64_t{0} : (std::uint64_t{1} << tail) - 1;
  for (std::int32_t y = 0; y < plane.height(); ++y) {
    const std::uint64_t* in = rows.ink_row(y);
    const std::span<const std::uint64_t> held = plane.row(y);
    for (std::size_t k = 0; k < words; ++k) {
      const std::uint64_t mask = k + 1 == plane.wordsPerRow() ? last_mask : ~std::uint64_t{0};
      if ((in[k] & mask) != held[k]) return false;
    }
  }
  return true;
}

}  // namespace

// --- InkPlane ----------------------------------------------------------------

bool InkPlane::reset(std::int32_t width, std::int32_t height) {
  bits_.clear();
  bits_.shrink_to_fit();
  width_ = height_ = 0;
  words_per_row_ = 0;
  if (width <= 0 || height <= 0) return true;
  try {
    bits_.assign(wordsFor(width) * static_cast<std::size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  width_ = width;
  height_ = height;
  words_per_row_ = wordsFor(width);
  return true;
}

bool InkPlane::at(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (row(y)[static_cast<std::size_t>(x) / 64] >> (x % 64)) & 1u;
}

void InkPlane::set(std::int32_t x, std::int32_t y, bool ink) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  std::uint64_t& word = row(y)[static_cast<std::size_t>(x) / 64];
  const std::uint64_t bit = std::uint64_t{1} << (x % 64);
  word = ink ? (word | bit) : (word & ~bit);
}

InkPlane planeOfGrid(const PixelGrid& grid) {
  InkPlane plane;
  if (!plane.reset(grid.width(), grid.height()) || plane.empty()) return plane;
  GridRows rows(grid);
  const std::size_t words = std::min(plane.wordsPerRow(), rows.words());
  const std::int32_t tail = plane.width() % 64;
  for (std::int32_t y = 0; y < plane.height(); ++y) {
    const std::uint64_t* in = rows.ink_row(y);
    const std::span<std::uint64_t> out = plane.row(y);
    std::copy(in, in + words, out.begin());
    if (tail != 0) out.back() &= (std::uint64_t{1} << tail) - 1;
  }
  return plane;
}

InkPlane halved(const InkPlane& plane) {
  InkPlane half;
  if (plane.empty()) return half;
  if (!half.reset((plane.width() + 1) / 2, (plane.height() + 1) / 2)) return half;
  std::vector<std::uint64_t> both(plane.wordsPerRow());
  for (std::int32_t y = 0; y < half.height(); ++y) {
    const std::span<const std::uint64_t> lower = plane.row(2 * y);
    std::copy(lower.begin(), lower.end(), both.begin());
    if (2 * y + 1 < plane.height()) {
      const std::span<const std::uint64_t> upper = plane.row(2 * y + 1);
      for (std::size_t k = 0; k < both.size(); ++k) both[k] |= upper[k];
    }
    const std::span<std::uint64_t> out = half.row(y);
    for (std::size_t k = 0; k < out.size(); ++k) {
      const std::uint64_t low = 2 * k < both.size() ? both[2 * k] : 0;
      const std::uint64_t high = 2 * k + 1 < both.size() ? both[2 * k + 1] : 0;
      out[k] = evenBits(low | (low >> 1)) | (evenBits(high | (high >> 1)) << 32);
    }
  }
  return half;
}

// --- InkPyramid ------------------------------------------------------------

InkPyramid::InkPyramid(std::shared_ptr<const InkPlane> base)
    : base_(base ? std::move(base) : std::make_shared<const InkPlane>()) {}

void InkPyramid::build() const {
  if (built_) return;
  built_ = true;
  const InkPlane* last = base_.get();
  while (std::max(last->width(), last->height()) > 1) {
    InkPlane next = halved(*last);
    if (next.empty()) break;  // no memory for it: the levels so far serve
    halvings_.push_back(std::move(next));
    last = &halvings_.back();
  }
}

const InkPlane& InkPyramid::level(int index) const {
  if (index <= 0) return *base_;
  build();
  if (halvings_.empty()) return *base_;
  return halvings_[static_cast<std::size_t>(std::min(index, static_cast<int>(halvings_.size()))) - 1];
}

int InkPyramid::levelCount() const {
  build();
  return static_cast<int>(halvings_.size()) + 1;
}

// --- GreyPicture -------------------------------------------------------------

namespace {

// The picture of an image stored turned: each stored pixel is summed where it
// stands upright, over the whole picture at once (at most 2048 x 2048 sums).
bool readTurnedGreyPicture(ImageReader& reader, const ImageInfo& stored, GreyPicture& p) {
  std::vector<std::uint64_t> sums(p.levels.size());
  std::int32_t rows_in = 0;
  const ImageStatus read = reader.read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> grey) {
    for (std::int32_t c = 0; c < stored.width; ++c) {
      const auto [x, y] = uprightPixel(stored.orientation, stored.width, stored.height, c, r);
      sums[static_cast<std::size_t>(y / p.factor) * static_cast<std::size_t>(p.width) +
           static_cast<std::size_t>(x / p.factor)] += grey[static_cast<std::size_t>(c)];
    }
    ++rows_in;
    return true;
  });
  if (read != ImageStatus::Ok || rows_in != stored.height) return false;
  for (std::int32_t y = 0; y < p.height; ++y) {
    for (std::int32_t x = 0; x < p.width; ++x) {
      const std::uint64_t n = static_cast<std::uint64_t>(std::min(p.factor, p.image_width - x * p.factor)) *
                              static_cast<std::uint64_t>(std::min(p.factor, p.image_height - y * p.factor));
      const std::size_t at =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x);
      p.levels[at] = static_cast<std::uint8_t>((sums[at] + n / 2) / n);
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<const GreyPicture> readGreyPicture(const ImageReaderFactory& readers, const std::string& path) {
  try {
    const std::unique_ptr<ImageReader> reader = readers ? readers(path) : nullptr;
    if (!reader || reader->open(path) != ImageStatus::Ok || !reader->has_grey_levels()) return nullptr;
    auto picture = std::make_shared<GreyPicture>();
    GreyPicture& p = *picture;
    const ImageInfo stored = reader->info();
    const ImageInfo viewed = upright(stored);
    p.image_width = viewed.width;
    p.image_height = viewed.height;
    const std::int32_t longest = std::max(p.image_width, p.image_height);
    p.factor = (longest + GreyPicture::kLongestSide - 1) / GreyPicture::kLongestSide;
    p.width = (p.image_width + p.factor - 1) / p.factor;
    p.height = (p.image_height + p.factor - 1) / p.factor;
    p.levels.assign(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height), 255);
    if (stored.orientation != 1) {
      if (!readTurnedGreyPicture(*reader, stored, p)) return nullptr;
      return picture;
    }
    // The sums of one picture row's pixels: rows arrive from the top down or the
    // bottom up, so a picture row is complete once `factor` rows, or the image's
    // last, have arrived for it.
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(p.width));
    std::int32_t rows_in = 0, current = -1;
    const auto flush = [&] {
      if (current < 0) return;
      const std::int32_t r0 = current * p.factor;
      const std::int64_t covered = std::int64_t{std::min(p.factor, p.image_height - r0)};
      for (std::int32_t x = 0; x < p.width; ++x) {
        const std::int64_t n = covered * std::min(p.factor, p.image_width - x * p.factor);
        p.levels[static_cast<std::size_t>(current) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)] =
            static_cast<std::uint8_t>((sums[static_cast<std::size_t>(x)] + static_cast<std::uint64_t>(n) / 2) /
                                      static_cast<std::uint64_t>(n));
      }
      std::fill(sums.begin(), sums.end(), std::uint64_t{0});
    };
    const ImageStatus read = reader->read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> grey) {
      const std::int32_t row = r / p.factor;
      if (row != current) {
        flush();
        current = row;
      }
      for (std::int32_t c = 0; c < p.image_width; ++c)
        sums[static_cast<std::size_t>(c / p.factor)] += grey[static_cast<std::size_t>(c)];
      ++rows_in;
      return true;
    });
    flush();
    if (read != ImageStatus::Ok || rows_in != p.image_height) return nullptr;
    return picture;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// --- LoadedInkCopy ---------------------------------------------------------

LoadedInkCopy::LoadedInkCopy() : slot_(std::make_shared<Slot>()) {}

ImageReaderFactory LoadedInkCopy::wrap(ImageReaderFactory readers) const {
  if (!readers) readers = bmp_only_reader_factory();
  return [readers = std::move(readers), slot = slot_](const std::string& path) -> std::unique_ptr<ImageReader> {
    std::unique_ptr<ImageReader> inner = readers(path);
    if (!inner) return inner;
    return std::make_unique<CopyingReader>(std::move(inner), slot);
  };
}

InkObserver LoadedInkCopy::inkObserver() const {
  return [slot = slot_](const PixelGrid& grid) {
    slot->ink.reset();
    if (slot->plane && sameCells(*slot->plane, grid)) {
      slot->ink = slot->plane;
      return;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(std::max(grid.height(), 0)) *
                                ((static_cast<std::uint64_t>(std::max(grid.width(), 0)) + 63) / 64) * 8;
    if (bytes == 0 || bytes > kLargestCopy) return;
    auto ink = std::make_shared<const InkPlane>(planeOfGrid(grid));
    if (!ink->empty()) slot->ink = std::move(ink);
  };
}

std::shared_ptr<const InkPlane> LoadedInkCopy::take() { return std::exchange(slot_->plane, nullptr); }

std::shared_ptr<const InkPlane> LoadedInkCopy::takeInk() { return std::exchange(slot_->ink, nullptr); }

void LoadedInkCopy::clear() {
  slot_->plane.reset();
  slot_->ink.reset();
}

}  // namespace vp::gui
