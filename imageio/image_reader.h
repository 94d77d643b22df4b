// What a conversion needs from an image file, whatever its format: its size, how
// its pixels are stored, which of them are ink, and its resolution.
//
// The core reads BMP itself (bmp_reader.h); other formats come from readers that
// live outside the core and are handed to the driver through an ImageReaderFactory.
// Every reader follows the same ink rule: in palette and grey images the one
// value nearest to black is ink, in RGB images pure black only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace vp {

enum class ImageStatus {
  Ok,
  Unreadable,   // missing, not an image we know, truncated or inconsistent
  Unsupported,  // an image of a kind we do not take (16-bit samples, alpha, CMYK, 4-bit BMP...)
};

enum class PixelKind {
  Palette,  // indices into a colour table
  Grey,     // grey values 0 .. 2^bits - 1
  Rgb,      // 8 bits each of red, green and blue
};

struct ImageInfo {
  std::string format;       // "BMP", "TIFF", "PNG", "PBM", "JPEG"; empty until an image is open
  std::string encoding;     // how the pixels are stored: "uncompressed", "RLE8", "LZW", "CCITT G4"...
  std::int32_t width = 0;   // pixels, > 0
  std::int32_t height = 0;  // pixels, > 0
  int bits_per_pixel = 0;   // 1, 2, 4, 8 or 24
  PixelKind kind = PixelKind::Palette;
  int palette_entries = 0;  // entries searched for the ink colour (palette images)
  // The palette index or grey value that is ink; -1 for RGB images (pure black only).
  int ink_index = -1;
  // Grey images: true when 0 is white (so the largest value is black).
  bool min_is_white = false;
  double x_dpi = 0;  // resolution in dots per inch; 0 when the file does not give it
  double y_dpi = 0;
  // Grey levels that blur the strokes' edges (a lossy code, a rendered page): a
  // threshold, not the one darkest value, finds the ink unless the user says otherwise.
  bool blurred_grey = false;
  // How the stored rows stand upright (a photo's EXIF Orientation, a TIFF's
  // Orientation tag, a PDF page turned): 1 to 8, numbered as those tags number
  // them, 1 for rows stored upright. The size and resolutions above are the
  // stored rows'; upright() gives the image as it is viewed.
  int orientation = 1;
};

// The image as it is viewed: for an orientation that turns it on its side, width
// and height, and the two resolutions, trade places.
ImageInfo upright(const ImageInfo& info);

// Which page of a file of several (PDF, multi-page TIFF) a reader opens, and the
// resolution a page that is not one scanned image is rendered at.
struct PageChoice {
  static constexpr int kLowestDpi = 50;  // the resolutions a page may be rendered at
  static constexpr int kHighestDpi = 1200;
  int index = 0;  // 0 = the first page
  int render_dpi = 300;
};

// Receives one image row: `row_from_top` (0 = the image's top row) and its ink
// mask, bit c of the words (least significant bit first) set when pixel c is ink;
// bits at and beyond the width are zero. Rows arrive each exactly once, in an
// order of the reader's choosing. Returning false stops the reading (the user aborted).
using InkRowSink = std::function<bool(std::int32_t row_from_top, std::span<const std::uint64_t> ink)>;

// Receives one image row as grey levels, one byte per pixel (`width` bytes), 0 black
// to 255 white. Rows arrive each exactly once and in sequence: all from the top
// down, or all from the bottom up. Returning false stops the reading.
using GreyRowSink = std::function<bool(std::int32_t row_from_top, std::span<const std::uint8_t> grey)>;

// The grey level of a colour, with the usual luma weights (ITU-R BT.601), so that
// every reader turns colour into grey alike.
constexpr std::uint8_t luma(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint8_t>((299u * red + 587u * green + 114u * blue + 500u) / 1000u);
}

class ImageReader {
 public:
  virtual ~ImageReader() = default;

  // Opens the file and checks what can be checked before any row is read. The
  // image's width + 2 and height + 2 always fit a signed 32-bit int. info()
  // describes the image after Ok and is empty otherwise.
  virtual ImageStatus open(const std::string& path) = 0;
  virtual const ImageInfo& info() const = 0;

  // Decodes every row into `sink`. Unreadable when nothing was opened or the
  // pixel data turns out to be damaged. Returns Ok also when the sink stopped
  // the reading. Holds a bounded number of rows; allocations may throw std::bad_alloc.
  virtual ImageStatus read_rows(const InkRowSink& sink) = 0;

  // Decodes every row as grey levels for the scan clean-up: grey samples scaled to
  // 0..255 (0 black, whatever the file's own sense), palette entries and colour
  // pixels through luma(). Only for images of more than two levels: 1-bit images
  // are taken as they are (read_rows), and readers of them keep this default.
  virtual bool has_grey_levels() const { return false; }
  virtual ImageStatus read_grey_rows(const GreyRowSink&) { return ImageStatus::Unsupported; }
  // The grey level that read_grey_rows gives the pixels read_rows takes for ink,
  // and no other pixel: then one reading of the grey rows serves both rules.
  // -1 when there is none (colour, a palette with two entries of the ink's level).
  virtual int ink_grey_level() const { return -1; }

  // Files of several pages: the page open() takes, chosen before it.
  virtual void choose_page(const PageChoice&) {}
  // After open(), whatever it returned: the file's pages, 0 when not even they
  // could be counted. A page beyond the last opens as Unreadable, with the count known.
  virtual int page_count() const { return info().format.empty() ? 0 : 1; }
  // After open() gave Unsupported: the file is locked by a password.
  virtual bool password_protected() const { return false; }

  // Asked now and then by a reader that works long without handing out rows (a
  // progressive JPEG decodes every scan before its first row): true stops the
  // reading, which then ends as Unreadable; the caller knows the real cause.
  // Virtual so that a reader wrapping another passes it on.
  virtual void set_stop_check(std::function<bool()> stop) { stop_check_ = std::move(stop); }

 protected:
  bool stop_requested() const { return stop_check_ && stop_check_(); }

 private:
  std::function<bool()> stop_check_;
};

// Gives the reader for a file (not yet opened); the driver then opens it. May
// return an empty pointer, which the driver takes for an unreadable file.
using ImageReaderFactory = std::function<std::unique_ptr<ImageReader>(const std::string& path)>;

// The factory the driver uses unless told otherwise: every file is read as a BMP.
ImageReaderFactory bmp_only_reader_factory();

// Resolutions stored per metre or per centimetre are rounded by whoever wrote
// them (a 400 dpi scan says 15748 pixels per metre, which is 399.9992 dpi): a
// value within half a pixel per metre of a whole number of dpi is taken as that
// whole number. 0 for a resolution that is not positive and finite.
double dpi_from_pixels_per_metre(double pixels_per_metre);

// Whether `path` names a regular file (through symbolic links). Every reader
// refuses anything else before opening it: opening a pipe can wait forever for
// a writer, and its bytes cannot be read twice (once to tell the type, once to decode).
bool is_regular_image_file(const std::string& path);

// For readers built on a private implementation: opens `path` with a fresh one;
// after a failure both the implementation and the info are empty again, so a
// reader that failed to open holds nothing of the file.
template <class Impl>
ImageStatus open_afresh(std::unique_ptr<Impl>& impl, ImageInfo& info, const std::string& path) {
  info = ImageInfo{};
  impl = std::make_unique<Impl>();
  const ImageStatus status = impl->open(path, info);
  if (status != ImageStatus::Ok) {
    impl = std::make_unique<Impl>();
    info = ImageInfo{};
  }
  return status;
}

}  // namespace vp
