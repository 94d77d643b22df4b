#include "imageio/bmp_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <vector>

#include "imageio/bmp_row_convert.h"
#include "raster/utf8_path.h"

namespace vp {
namespace {

constexpr std::uint64_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::int64_t kMaxImageSide = std::numeric_limits<std::int32_t>::max() - 2;  // grid side = side + 2
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Compression codes of the Windows headers; OS/2 2.x headers reuse 0..2 and
// give 3 and 4 other meanings, none of which we decode either.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t i32(const std::uint8_t* p) { return static_cast<std::int32_t>(u32(p)); }

bool known_header_size(std::uint32_t size) {
  return size == kCoreHeaderBytes || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

bool is_bmp_depth(unsigned bpp) {
  return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32 || bpp == 64;
}

// Reads the file forward through a fixed buffer, so that an RLE8 stream costs
// the same memory whatever its length.
class ByteStream {
 public:
  ByteStream(std::ifstream& in, std::uint64_t length) : in_(in), left_(length), buffer_(64 * 1024) {}

  bool get(std::uint8_t& b) {
    if (pos_ == end_ && !refill()) return false;
    b = buffer_[pos_++];
    return true;
  }

 private:
  bool refill() {
    if (left_ == 0) return false;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, buffer_.size()));
    in_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(n));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (got == 0) {
      left_ = 0;
      return false;
    }
    left_ -= got;
    pos_ = 0;
    end_ = got;
    return true;
  }

  std::ifstream& in_;
  std::uint64_t left_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

void set_bits(std::vector<std::uint64_t>& row, std::int64_t from, std::int64_t count) {
  while (count > 0) {
    const std::size_t word = static_cast<std::size_t>(from / 64);
    const int bit = static_cast<int>(from % 64);
    const int n = static_cast<int>(std::min<std::int64_t>(count, 64 - bit));
    const std::uint64_t mask = n == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << n) - 1) << bit;
    row[word] |= mask;
    from += n;
    count -= n;
  }
}

enum class RleResult { Ok, Damaged, Aborted };

// What an RLE8 stream's rows become: ink words, or grey levels for the scan clean-up.
class InkRows {
 public:
  InkRows(std::int32_t width, int ink_index, const InkRowSink& sink)
      : row_(bmp::ink_words(width), 0), ink_index_(ink_index), sink_(sink) {}
  void run(std::int64_t x, std::int64_t count, std::uint8_t index) {
    if (index == ink_index_) set_bits(row_, x, count);
  }
  bool deliver(std::int32_t row_from_top) { return sink_(row_from_top, row_); }
  void clear() { std::fill(row_.begin(), row_.end(), std::uint64_t{0}); }

 private:
  std::vector<std::uint64_t> row_;
  int ink_index_;
  const InkRowSink& sink_;
};

// Pixels the stream skips are white, as they are background for the ink.
class GreyRows {
 public:
  GreyRows(std::int32_t width, const std::array<std::uint8_t, 256>& table, const GreyRowSink& sink)
      : row_(static_cast<std::size_t>(width), 255), table_(table), sink_(sink) {}
  void run(std::int64_t x, std::int64_t count, std::uint8_t index) {
    std::fill_n(row_.begin() + x, count, table_[index]);
  }
  bool deliver(std::int32_t row_from_top) { return sink_(row_from_top, row_); }
  void clear() { std::fill(row_.begin(), row_.end(), std::uint8_t{255}); }

 private:
  std::vector<std::uint8_t> row_;
  const std::array<std::uint8_t, 256>& table_;
  const GreyRowSink& sink_;
};

// Decodes a bottom-up RLE8 stream. Without rows to write it only checks the stream.
// A stream is damaged when it writes outside the image (a run past the row's end,
// a delta past the image) or ends before its end-of-bitmap code. Extra
// end-of-line codes past the top row write nothing and are tolerated. Pixels the
// stream skips are background; rows it skips are delivered blank.
template <class Rows>
RleResult decode_rle8(ByteStream& in, std::int32_t width, std::int32_t height, Rows* rows) {
  const std::int64_t w = width;
  const std::int64_t h = height;
  std::int64_t x = 0;
  std::int64_t y = 0;  // stored row index, 0 = bottom

  // Delivers the rows from y up to (not including) new_y, the first with what was decoded.
  auto advance_to = [&](std::int64_t new_y) {
    if (rows != nullptr) {
      for (std::int64_t r = y; r < std::min(new_y, h); ++r) {
        if (!rows->deliver(static_cast<std::int32_t>(h - 1 - r))) return false;
        if (r == y) rows->clear();
      }
    }
    y = new_y;
    return true;
  };

  for (;;) {
    std::uint8_t count = 0;
    std::uint8_t code = 0;
    if (!in.get(count) || !in.get(code)) return RleResult::Damaged;
    if (count != 0) {  // a run of one index
      if (y >= h || x + count > w) return RleResult::Damaged;
      if (rows != nullptr) rows->run(x, count, code);
      x += count;
    } else if (code == 0) {  // end of line
      if (!advance_to(y + 1)) return RleResult::Aborted;
      x = 0;
    } else if (code == 1) {  // end of bitmap: the rest stays background
      return advance_to(std::max(y, h)) ? RleResult::Ok : RleResult::Aborted;
    } else if (code == 2) {  // delta: move right and up
      std::uint8_t dx = 0;
      std::uint8_t dy = 0;
      if (!in.get(dx) || !in.get(dy)) return RleResult::Damaged;
      if (x + dx > w || y + dy > h) return RleResult::Damaged;
      x += dx;
      if (dy != 0 && !advance_to(y + dy)) return RleResult::Aborted;
    } else {  // absolute mode: `code` literal indices, padded to an even count
      if (y >= h || x + code > w) return RleResult::Damaged;
      for (unsigned i = 0; i < code; ++i) {
        std::uint8_t index = 0;
        if (!in.get(index)) return RleResult::Damaged;
        if (rows != nullptr) rows->run(x, 1, index);
        ++x;
      }
      std::uint8_t pad = 0;
      if ((code & 1) != 0 && !in.get(pad)) return RleResult::Damaged;
    }
  }
}

}  // namespace

struct BmpReader::Impl {
  std::ifstream file;
  std::uint64_t file_size = 0;
  std::uint64_t data_offset = 0;
  std::uint64_t stride = 0;  // bytes of one stored row, uncompressed images
  bool ready = false;
  std::array<std::uint8_t, 256> grey{};  // palette images: the grey level of each index

  BmpStatus open(const std::string& path, BmpInfo& info);
  // Every stored row in file order, to `row(stored_row, bytes)` until it returns false.
  BmpStatus read_stored_rows(const BmpInfo& info, const std::function<bool(std::int64_t, const std::uint8_t*)>& row);
  template <class Rows>
  RleResult read_rle8(const BmpInfo& info, Rows* rows);
  bool seek_to_data() {
    file.clear();
    file.seekg(static_cast<std::streamoff>(data_offset));
    return static_cast<bool>(file);
  }
};

BmpReader::BmpReader() : impl_(std::make_unique<Impl>()) {}
BmpReader::~BmpReader() = default;

BmpStatus BmpReader::open(const std::string& path) {
  info_ = BmpInfo{};
  impl_ = std::make_unique<Impl>();
  const BmpStatus status = impl_->open(path, info_);
  impl_->ready = status == BmpStatus::Ok;
  if (!impl_->ready) {
    impl_->file.close();
    info_ = BmpInfo{};
  }
  return status;
}

BmpStatus BmpReader::Impl::open(const std::string& path, BmpInfo& info) {
  if (!is_regular_image_file(path)) return BmpStatus::Unreadable;
  file.open(path_from_utf8(path), std::ios::binary);
  if (!file) return BmpStatus::Unreadable;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (!file || end < 0) return BmpStatus::Unreadable;
  file_size = static_cast<std::uint64_t>(end);
  file.seekg(0);

  // File header, the largest info header and a full 256-entry palette.
  std::array<std::uint8_t, kFileHeaderBytes + 124 + 256 * 4> head{};
  const auto head_len = static_cast<std::size_t>(std::min<std::uint64_t>(file_size, head.size()));
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head_len));
  if (static_cast<std::size_t>(file.gcount()) != head_len) return BmpStatus::Unreadable;
  if (head_len < kFileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M') return BmpStatus::Unreadable;

  data_offset = u32(&head[10]);
  const std::uint32_t header_size = u32(&head[14]);
  if (!known_header_size(header_size) || file_size < kFileHeaderBytes + header_size) return BmpStatus::Unreadable;
  const std::uint8_t* h = &head[kFileHeaderBytes];

  std::int64_t width = 0;
  std::int64_t height = 0;
  unsigned planes = 0;
  unsigned bpp = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colours_used = 0;
  if (header_size == kCoreHeaderBytes) {
    width = u16(h + 4);
    height = u16(h + 6);
    planes = u16(h + 8);
    bpp = u16(h + 10);
  } else {
    width = i32(h + 4);
    height = i32(h + 8);
    planes = u16(h + 12);
    bpp = u16(h + 14);
    // OS/2 2.x headers may stop after any field; the missing ones read as 0.
    if (header_size >= 20) compression = u32(h + 16);
    if (header_size >= 28) info.x_pixels_per_metre = i32(h + 24);
    if (header_size >= 32) info.y_pixels_per_metre = i32(h + 28);
    if (header_size >= 36) colours_used = u32(h + 32);
  }
  const bool top_down = height < 0;
  height = top_down ? -height : height;  // 64-bit: INT32_MIN negates safely
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return BmpStatus::Unreadable;

  if (!is_bmp_depth(bpp)) {
    // An embedded JPEG or PNG says 0 bits per pixel: a real bitmap we do not read.
    const bool windows_header = header_size == 40 || header_size == 52 || header_size == 56 || header_size >= 108;
    const bool embedded = bpp == 0 && windows_header && (compression == kBiJpeg || compression == kBiPng);
    return embedded ? BmpStatus::Unsupported : BmpStatus::Unreadable;
  }
  if (bpp != 1 && bpp != 8 && bpp != 24) return BmpStatus::Unsupported;
  const bool rle8 = compression == kBiRle8 && bpp == 8;
  if (compression != kBiRgb && !rle8) return BmpStatus::Unsupported;  // bit fields, RLE4, Huffman, RLE24...
  if (planes != 1) return BmpStatus::Unreadable;
  // The pixels may not overlap the headers.
  const std::uint64_t palette_start = kFileHeaderBytes + header_size;
  if (data_offset < palette_start) return BmpStatus::Unreadable;

  info.format = "BMP";
  info.encoding = rle8 ? "RLE8" : "uncompressed";
  info.width = static_cast<std::int32_t>(width);
  info.height = static_cast<std::int32_t>(height);
  info.bits_per_pixel = static_cast<int>(bpp);
  info.kind = bpp == 24 ? PixelKind::Rgb : PixelKind::Palette;
  info.top_down = top_down;
  info.rle8 = rle8;
  info.x_dpi = dpi_from_pixels_per_metre(info.x_pixels_per_metre);
  info.y_dpi = dpi_from_pixels_per_metre(info.y_pixels_per_metre);

  if (bpp != 24) {
    // The palette runs from the end of the info header to the pixel data.
    const std::uint64_t entry_bytes = header_size == kCoreHeaderBytes ? 3 : 4;
    const std::uint64_t fitting = (std::min(data_offset, file_size) - palette_start) / entry_bytes;
    const std::uint64_t full = std::uint64_t{1} << bpp;
    const std::uint64_t declared = colours_used != 0 ? colours_used : full;
    // A colour count beyond the depth is harmless when its entries are really
    // there; one that the file does not even hold is a damaged header.
    if (header_size != kCoreHeaderBytes && declared > full && declared > fitting) return BmpStatus::Unreadable;
    const std::uint64_t entries = std::min(declared <= full ? declared : full, fitting);
    if (entries == 0) return BmpStatus::Unreadable;
    // Ink: the entry nearest to black by squared RGB distance, the first of equals.
    // Indices past the palette are white for the clean-up.
    grey.fill(255);
    int best = -1;
    unsigned best_distance = 0;
    for (std::uint64_t i = 0; i < entries; ++i) {
      const std::uint8_t* e = &head[palette_start + i * entry_bytes];  // blue, green, red
      grey[i] = luma(e[2], e[1], e[0]);
      const unsigned d = unsigned{e[0]} * e[0] + unsigned{e[1]} * e[1] + unsigned{e[2]} * e[2];
      if (best < 0 || d < best_distance) {
        best = static_cast<int>(i);
        best_distance = d;
      }
    }
    info.palette_entries = static_cast<int>(entries);
    info.ink_index = best;
  }

  if (rle8) {
    // Bottom-up is the only order an RLE8 stream can describe.
    if (top_down || data_offset > file_size) return BmpStatus::Unreadable;
    // Check the whole stream now, so that a damaged one fails before the caller
    // sizes anything for it.
    if (read_rle8<InkRows>(info, nullptr) != RleResult::Ok) return BmpStatus::Unreadable;
    return BmpStatus::Ok;
  }

  // Widths below 2^31 and at most 24 bits per pixel keep these within 64 bits.
  stride = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;
  const std::uint64_t pixel_bytes = stride * static_cast<std::uint64_t>(height);
  if (pixel_bytes > file_size || data_offset > file_size - pixel_bytes) return BmpStatus::Unreadable;
  return BmpStatus::Ok;
}

template <class Rows>
RleResult BmpReader::Impl::read_rle8(const BmpInfo& info, Rows* rows) {
  if (!seek_to_data()) return RleResult::Damaged;
  ByteStream in(file, file_size - data_offset);
  return decode_rle8(in, info.width, info.height, rows);
}

BmpStatus BmpReader::Impl::read_stored_rows(const BmpInfo& info,
                                            const std::function<bool(std::int64_t, const std::uint8_t*)>& row) {
  if (!seek_to_data()) return BmpStatus::Unreadable;
  const std::uint64_t rows_per_chunk =
      std::clamp<std::uint64_t>(kChunkBytes / stride, 1, static_cast<std::uint64_t>(info.height));
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(rows_per_chunk * stride));
  std::int64_t stored = 0;  // rows are stored, and delivered, in file order
  while (stored < info.height) {
    const auto rows = static_cast<std::size_t>(
        std::min<std::uint64_t>(rows_per_chunk, static_cast<std::uint64_t>(info.height - stored)));
    const auto bytes = static_cast<std::streamsize>(rows * stride);
    file.read(reinterpret_cast<char*>(chunk.data()), bytes);
    if (file.gcount() != bytes) return BmpStatus::Unreadable;  // the file shrank since open()
    for (std::size_t i = 0; i < rows; ++i, ++stored) {
      if (!row(stored, chunk.data() + i * stride)) return BmpStatus::Ok;
    }
  }
  return BmpStatus::Ok;
}

BmpStatus BmpReader::read_rows(const InkRowSink& sink) {
  if (!impl_->ready) return BmpStatus::Unreadable;
  if (info_.rle8) {
    InkRows rows(info_.width, info_.ink_index, sink);
    return impl_->read_rle8(info_, &rows) == RleResult::Damaged ? BmpStatus::Unreadable : BmpStatus::Ok;
  }
  std::vector<std::uint64_t> ink(bmp::ink_words(info_.width));
  return impl_->read_stored_rows(info_, [&](std::int64_t stored, const std::uint8_t* row) {
    switch (info_.bits_per_pixel) {
      case 1:
        bmp::ink_row_1bit(row, info_.width, info_.ink_index, ink.data());
        break;
      case 8:
        bmp::ink_row_8bit(row, info_.width, info_.ink_index, ink.data());
        break;
      default:
        bmp::ink_row_24bit(row, info_.width, ink.data());
        break;
    }
    return sink(static_cast<std::int32_t>(info_.top_down ? stored : info_.height - 1 - stored), ink);
  });
}

bool BmpReader::has_grey_levels() const { return impl_->ready && info_.bits_per_pixel != 1; }

BmpStatus BmpReader::read_grey_rows(const GreyRowSink& sink) {
  if (!impl_->ready) return BmpStatus::Unreadable;
  if (!has_grey_levels()) return BmpStatus::Unsupported;
  if (info_.rle8) {
    GreyRows rows(info_.width, impl_->grey, sink);
    return impl_->read_rle8(info_, &rows) == RleResult::Damaged ? BmpStatus::Unreadable : BmpStatus::Ok;
  }
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(info_.width));
  return impl_->read_stored_rows(info_, [&](std::int64_t stored, const std::uint8_t* row) {
    if (info_.bits_per_pixel == 8) {
      bmp::grey_row_indexed(row, info_.width, impl_->grey, grey.data());
    } else {
      bmp::grey_row_rgb(row, info_.width, true, grey.data());
    }
    return sink(static_cast<std::int32_t>(info_.top_down ? stored : info_.height - 1 - stored), grey);
  });
}

}  // namespace vp
