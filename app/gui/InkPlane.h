// One-bit pictures for the preview: the image as it was loaded and the thinned
// grid, in grid coordinates, with halved copies for views that are zoomed out.
//
// A scan of an A1 sheet at 400 dpi has some 124 million pixels: at one bit per
// cell a plane of it takes 15.5 MB, and all its halvings together a third more.
// Drawing such a picture through a QImage would first convert the whole of it
// to 32 bits per pixel (half a gigabyte), so the preview samples the planes
// itself, one cell per screen pixel, from the level whose cells are at least a
// screen pixel wide; since a halving keeps a cell ink when any of its four cells
// is, a one-cell stroke stays visible at any zoom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "imageio/image_reader.h"
#include "raster/pixel_grid.h"

namespace vp::gui {

// Ink and background, x from 0 (left), y from 0 (bottom), 64 cells to a word:
// bit i of word k of a row is x = 64k + i. Bits at and beyond the width are 0.
class InkPlane {
 public:
  // An all-background plane; false, leaving the plane empty, when the memory
  // cannot be had.
  bool reset(std::int32_t width, std::int32_t height);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  std::size_t wordsPerRow() const { return words_per_row_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  std::size_t bytes() const { return bits_.size() * sizeof(std::uint64_t); }

  // Cells outside the plane read as background; writes outside are ignored.
  bool at(std::int32_t x, std::int32_t y) const;
  void set(std::int32_t x, std::int32_t y, bool ink = true);

  std::span<std::uint64_t> row(std::int32_t y) {
    return {bits_.data() + static_cast<std::size_t>(y) * words_per_row_, words_per_row_};
  }
  std::span<const std::uint64_t> row(std::int32_t y) const {
    return {bits_.data() + static_cast<std::size_t>(y) * words_per_row_, words_per_row_};
  }

  friend bool operator==(const InkPlane&, const InkPlane&) = default;

 private:
  std::vector<std::uint64_t> bits_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::size_t words_per_row_ = 0;
};

// The grid's cells as they stand, ink or not (after a conversion: the thinned
// strokes); an empty plane when the memory cannot be had.
InkPlane planeOfGrid(const PixelGrid& grid);

// Half the size, rounded up: cell (x, y) is ink when any of the cells
// (2x .. 2x + 1, 2y .. 2y + 1) is.
InkPlane halved(const InkPlane& plane);

// A plane and its halvings, each half the size of the one before, down to a
// single cell (so that no zoom samples too coarse a level to show a one-cell
// stroke). The halvings are made the first time a level beyond the plane
// itself is asked for.
class InkPyramid {
 public:
  explicit InkPyramid(std::shared_ptr<const InkPlane> base);

  const InkPlane& base() const { return *base_; }
  // Level 0 is the plane itself; asking beyond the last level gives the last.
  // A halving that cannot get its memory ends the pyramid there.
  const InkPlane& level(int index) const;
  int levelCount() const;

 private:
  void build() const;

  std::shared_ptr<const InkPlane> base_;
  mutable bool built_ = false;
  mutable std::vector<InkPlane> halvings_;
};

// The image as it was read, in grey (0 black), reduced by a whole factor so that
// its longer side is at most kLongestSide pixels, each pixel the mean of those it
// covers: what the preview shows of a scan in which the conversion found next to
// no ink, so that the user sees why. Read again from the file only then, so a
// conversion that found its ink keeps no grey copy.
struct GreyPicture {
  static constexpr std::int32_t kLongestSide = 2048;

  std::int32_t image_width = 0;
  std::int32_t image_height = 0;
  std::int32_t factor = 1;  // image pixels per picture pixel, each way
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> levels;  // rows from the top

  // The picture's level over image pixel (c, r), r counted from the top.
  std::uint8_t atImage(std::int32_t c, std::int32_t r) const {
    return levels[static_cast<std::size_t>(r / factor) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(c / factor)];
  }
};

// The grey picture of the image at `path`; null when it has no grey levels or
// cannot be read (or its memory cannot be had).
std::shared_ptr<const GreyPicture> readGreyPicture(const ImageReaderFactory& readers, const std::string& path);

// Keeps a copy of the ink rows that image readers hand to the conversion, laid
// out as the grid lays them (image pixel (c, r), r counted from the top, in cell
// (c + 1, h - r)), so that the preview can show the image as it was loaded
// without reading the file again; and, through inkObserver(), a copy of the ink
// as the thinning received it (after the threshold rule and the removal of
// specks). Under the reader's own rule with no speck removed the two are the
// same cells, and share one copy. Grey reading is not copied: a grey or colour
// scan leaves only the ink. An image whose copy would be larger than
// kLargestCopy, or whose copy cannot get its memory, is not copied: the
// conversion goes on as without it.
class LoadedInkCopy {
 public:
  // Where the readers made by wrap() and the observer leave their copies.
  struct Slot {
    std::shared_ptr<InkPlane> plane;
    std::shared_ptr<const InkPlane> ink;
  };

  static constexpr std::size_t kLargestCopy = std::size_t{256} << 20;

  LoadedInkCopy();

  // A factory that reads as `readers` does and copies every image it reads here.
  ImageReaderFactory wrap(ImageReaderFactory readers) const;
  // For Conversion::set_ink_observer: copies the grid it is shown here.
  InkObserver inkObserver() const;

  // The copies of the image read last (complete only when its conversion went
  // through), handed over and forgotten here; null when there is none.
  std::shared_ptr<const InkPlane> take();
  std::shared_ptr<const InkPlane> takeInk();
  void clear();

 private:
  std::shared_ptr<Slot> slot_;
};

}  // namespace vp::gui
