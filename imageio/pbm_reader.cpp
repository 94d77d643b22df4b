#include "imageio/pbm_reader.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <vector>

#include "imageio/bmp_row_convert.h"
#include "imageio/sample_rows.h"
#include "raster/utf8_path.h"

namespace vp {
namespace {

using imageio::kMaxImageSide;

// Reads the file forward through a fixed buffer.
class ByteSource {
 public:
  explicit ByteSource(std::ifstream& in) : in_(in), buffer_(64 * 1024) {}

  // The next byte, or -1 at the end of the file.
  int get() {
    if (pos_ == end_ && !refill()) return -1;
    ++consumed_;
    return static_cast<unsigned char>(buffer_[pos_++]);
  }
  std::uint64_t consumed() const { return consumed_; }

 private:
  bool refill() {
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    end_ = static_cast<std::size_t>(in_.gcount());
    pos_ = 0;
    return end_ != 0;
  }

  std::ifstream& in_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t consumed_ = 0;
};

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next character that is neither white space nor part of a comment.
int next_significant(ByteSource& in) {
  for (;;) {
    int c = in.get();
    if (c == '#') {
      do {
        c = in.get();
      } while (c != '\n' && c != '\r' && c != -1);
      continue;
    }
    if (!is_space(c)) return c;
  }
}

// A header number; `after` receives the character that ended it.
std::optional<std::int64_t> read_number(ByteSource& in, int& after) {
  int c = next_significant(in);
  if (c < '0' || c > '9') return std::nullopt;
  std::int64_t value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10 + (c - '0');
    if (value > kMaxImageSide) return std::nullopt;
    c = in.get();
  }
  after = c;
  return value;
}

// A plain image's next pixel: 0 or 1, or -1 when the file ends or holds something else.
int next_plain_pixel(ByteSource& in) {
  const int c = next_significant(in);
  return c == '0' || c == '1' ? c - '0' : -1;
}

}  // namespace

struct PbmReader::Impl {
  std::ifstream file;
  bool plain = false;
  std::uint64_t data_offset = 0;
  std::uint64_t stride = 0;  // bytes of a raw row
  bool ready = false;

  ImageStatus open(const std::string& path, ImageInfo& info);
  bool seek_to_data() {
    file.clear();
    file.seekg(static_cast<std::streamoff>(data_offset));
    return static_cast<bool>(file);
  }
};

PbmReader::PbmReader() : impl_(std::make_unique<Impl>()) {}
PbmReader::~PbmReader() = default;

ImageStatus PbmReader::open(const std::string& path) {
  info_ = ImageInfo{};
  impl_ = std::make_unique<Impl>();
  const ImageStatus status = impl_->open(path, info_);
  impl_->ready = status == ImageStatus::Ok;
  if (!impl_->ready) {
    impl_->file.close();
    info_ = ImageInfo{};
  }
  return status;
}

ImageStatus PbmReader::Impl::open(const std::string& path, ImageInfo& info) {
  file.open(path_from_utf8(path), std::ios::binary);
  if (!file) return ImageStatus::Unreadable;
  ByteSource in(file);
  const int p = in.get();
  const int kind = in.get();
  const int separator = in.get();
  if (p != 'P' || !(is_space(separator) || separator == '#')) return ImageStatus::Unreadable;
  if (kind == '2' || kind == '3' || kind == '5' || kind == '6' || kind == '7') return ImageStatus::Unsupported;
  if (kind != '1' && kind != '4') return ImageStatus::Unreadable;
  plain = kind == '1';
  if (separator == '#') {  // a comment right after the magic number
    int c = 0;
    do {
      c = in.get();
    } while (c != '\n' && c != '\r' && c != -1);
  }
  int after = 0;
  const std::optional<std::int64_t> width = read_number(in, after);
  if (!width || !(is_space(after) || after == '#')) return ImageStatus::Unreadable;
  if (after == '#') {
    do {
      after = in.get();
    } while (after != '\n' && after != '\r' && after != -1);
  }
  const std::optional<std::int64_t> height = read_number(in, after);
  if (!height || *width == 0 || *height == 0) return ImageStatus::Unreadable;
  const auto w = static_cast<std::int32_t>(*width);
  const auto h = static_cast<std::int32_t>(*height);

  if (plain) {
    // The pixels may follow at once ("1 1\n1") or after a comment; read them all once.
    if (!is_space(after) && after != '#' && after != '0' && after != '1') return ImageStatus::Unreadable;
    data_offset = in.consumed() - 1;  // back to the character that ended the height
    if (!seek_to_data()) return ImageStatus::Unreadable;
    ByteSource pixels(file);
    const std::uint64_t count = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (next_plain_pixel(pixels) < 0) return ImageStatus::Unreadable;
    }
    info.encoding = "P1, plain";
  } else {
    // Exactly one white-space character separates the height from the pixels.
    if (!is_space(after)) return ImageStatus::Unreadable;
    data_offset = in.consumed();
    file.clear();
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    if (!file || end < 0) return ImageStatus::Unreadable;
    const auto file_size = static_cast<std::uint64_t>(end);
    stride = (static_cast<std::uint64_t>(w) + 7) / 8;
    const std::uint64_t pixel_bytes = stride * static_cast<std::uint64_t>(h);
    if (data_offset > file_size || file_size - data_offset < pixel_bytes) return ImageStatus::Unreadable;
    info.encoding = "P4, raw";
  }
  info.format = "PBM";
  info.width = w;
  info.height = h;
  info.bits_per_pixel = 1;
  info.kind = PixelKind::Grey;
  info.min_is_white = true;  // 1 is black
  info.ink_index = 1;
  return ImageStatus::Ok;
}

ImageStatus PbmReader::read_rows(const InkRowSink& sink) {
  if (!impl_->ready || !impl_->seek_to_data()) return ImageStatus::Unreadable;
  const std::int32_t width = info_.width;
  std::vector<std::uint64_t> ink(imageio::ink_words(width));
  if (impl_->plain) {
    ByteSource in(impl_->file);
    for (std::int32_t r = 0; r < info_.height; ++r) {
      std::fill(ink.begin(), ink.end(), std::uint64_t{0});
      for (std::int32_t c = 0; c < width; ++c) {
        const int pixel = next_plain_pixel(in);
        if (pixel < 0) return ImageStatus::Unreadable;  // the file changed since open()
        if (pixel == 1) ink[static_cast<std::size_t>(c / 64)] |= std::uint64_t{1} << (c % 64);
      }
      if (!sink(r, ink)) break;
    }
    return ImageStatus::Ok;
  }
  const auto stride = static_cast<std::size_t>(impl_->stride);
  std::vector<std::uint8_t> row(stride);
  for (std::int32_t r = 0; r < info_.height; ++r) {
    impl_->file.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(stride));
    if (static_cast<std::size_t>(impl_->file.gcount()) != stride) return ImageStatus::Unreadable;
    bmp::ink_row_1bit(row.data(), width, 1, ink.data());
    if (!sink(r, ink)) break;
  }
  return ImageStatus::Ok;
}

}  // namespace vp
