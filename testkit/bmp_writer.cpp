#include "testkit/bmp_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace vp {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kColorSpaceSrgb = 0x73524742;  // 'sRGB'
constexpr std::uint32_t kIntentImages = 4;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFFu);
  put16(out, v >> 16);
}

std::uint64_t mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// A per-pixel hash, so that noise does not depend on the order rows are written.
std::uint64_t pixel_hash(std::uint32_t seed, std::int32_t x, std::int32_t y) {
  return mix((static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 32 | static_cast<std::uint32_t>(x)) ^
             (static_cast<std::uint64_t>(seed) * 0x9E3779B97F4A7C15ull));
}

constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(r);
  }
  return t;
}();

// Near-black colours that are not pure black, as (blue, green, red) bytes.
constexpr std::uint8_t kNearBlack[][3] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}, {8, 8, 8}, {0, 0, 40}};

std::vector<BmpColor> default_grey_ramp() {
  std::vector<BmpColor> p(256);
  for (int i = 1; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(64 + (i - 1) * 191 / 254);
    p[static_cast<std::size_t>(i)] = {level, level, level};
  }
  return p;
}

class BmpEncoder {
 public:
  BmpEncoder(const InkImage& img, const BmpWriteOptions& o) : img_(img), o_(o) {
    if (o_.bits_per_pixel == 1) {
      const BmpColor white{255, 255, 255}, black{0, 0, 0};
      palette_ = o_.black_first ? std::vector<BmpColor>{black, white} : std::vector<BmpColor>{white, black};
    } else if (o_.bits_per_pixel == 8) {
      palette_ = o_.palette.empty() ? default_grey_ramp() : o_.palette;
      background_ = o_.background_indices;
      if (background_.empty() && !palette_.empty())
        background_.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(palette_.size(), 256) - 1));
    }
    const std::uint64_t bits =
        static_cast<std::uint64_t>(std::max(img.width, 0)) * static_cast<std::uint64_t>(o_.bits_per_pixel);
    stride_ = (bits + 31) / 32 * 4;
  }

  std::string check() const {
    const int bpp = o_.bits_per_pixel;
    if (bpp != 1 && bpp != 8 && bpp != 24) return "bits per pixel must be 1, 8 or 24";
    if (img_.width <= 0 || img_.height <= 0) return "the image is empty";
    if (img_.words_per_row != (static_cast<std::size_t>(img_.width) + 63) / 64 ||
        img_.bits.size() != img_.words_per_row * static_cast<std::size_t>(img_.height))
      return "the image's storage does not match its size";
    const bool core = o_.header == BmpHeaderKind::Core;
    if (o_.header != BmpHeaderKind::Core && o_.header != BmpHeaderKind::Info && o_.header != BmpHeaderKind::V5)
      return "unknown header kind";
    if (core && (img_.width > 0xFFFF || img_.height > 0xFFFF)) return "the core header holds sizes up to 65535";
    if (core && o_.top_down) return "the core header cannot say top-down";
    if (o_.rle8 && bpp != 8) return "RLE8 needs 8 bits per pixel";
    if (o_.rle8 && o_.top_down) return "RLE8 images are bottom-up";
    if (o_.rle8 && core) return "the core header cannot say RLE8";
    if (bpp == 8) {
      if (palette_.empty() || palette_.size() > 256) return "an 8-bit palette has 1 to 256 entries";
      if (o_.ink_index < 0 || static_cast<std::size_t>(o_.ink_index) >= palette_.size())
        return "the ink index is outside the palette";
      for (std::uint8_t b : background_)
        if (b >= palette_.size()) return "a background index is outside the palette";
    }
    if (!(o_.dpi >= 0 && o_.dpi < 1e6)) return "dpi out of range";
    if (!rle() && pixel_bytes_uncompressed() + offset() > std::numeric_limits<std::uint32_t>::max())
      return "the file would exceed 4 GiB";
    return {};
  }

  bool rle() const { return o_.rle8; }
  std::uint64_t stride() const { return stride_; }
  std::uint64_t pixel_bytes_uncompressed() const { return stride_ * static_cast<std::uint64_t>(img_.height); }

  std::uint32_t palette_entries_written() const {
    if (o_.bits_per_pixel == 24) return 0;
    // The core header has no colour count: its table always has 2^bpp entries.
    if (o_.header == BmpHeaderKind::Core) return 1u << o_.bits_per_pixel;
    return static_cast<std::uint32_t>(palette_.size());
  }
  std::uint64_t offset() const {
    const std::uint32_t entry = o_.header == BmpHeaderKind::Core ? 3 : 4;
    return kFileHeaderSize + static_cast<std::uint32_t>(o_.header) + palette_entries_written() * entry;
  }

  // File header, info header and palette, for `pixel_bytes` bytes of pixel data.
  std::vector<std::uint8_t> headers(std::uint64_t pixel_bytes) const {
    std::vector<std::uint8_t> h;
    h.reserve(offset());
    h.push_back('B');
    h.push_back('M');
    put32(h, static_cast<std::uint32_t>(offset() + pixel_bytes));
    put32(h, 0);
    put32(h, static_cast<std::uint32_t>(offset()));
    const auto size = static_cast<std::uint32_t>(o_.header);
    put32(h, size);
    if (o_.header == BmpHeaderKind::Core) {
      put16(h, static_cast<std::uint32_t>(img_.width));
      put16(h, static_cast<std::uint32_t>(img_.height));
      put16(h, 1);
      put16(h, static_cast<std::uint32_t>(o_.bits_per_pixel));
    } else {
      put32(h, static_cast<std::uint32_t>(img_.width));
      put32(h, static_cast<std::uint32_t>(o_.top_down ? -img_.height : img_.height));
      put16(h, 1);
      put16(h, static_cast<std::uint32_t>(o_.bits_per_pixel));
      put32(h, rle() ? kCompressionRle8 : kCompressionNone);
      put32(h, static_cast<std::uint32_t>(pixel_bytes));
      const auto ppm = static_cast<std::uint32_t>(std::lround(o_.dpi / 0.0254));
      put32(h, ppm);
      put32(h, ppm);
      const std::uint32_t full = o_.bits_per_pixel == 24 ? 0 : 1u << o_.bits_per_pixel;
      put32(h, palette_entries_written() == full ? 0 : palette_entries_written());
      put32(h, 0);
      if (o_.header == BmpHeaderKind::V5) {
        for (int i = 0; i < 4; ++i) put32(h, 0);  // channel masks: not bit fields
        put32(h, kColorSpaceSrgb);
        for (int i = 0; i < 9 + 3; ++i) put32(h, 0);  // end points, gamma
        put32(h, kIntentImages);
        for (int i = 0; i < 3; ++i) put32(h, 0);  // profile data, profile size, reserved
      }
    }
    const std::uint32_t entries = palette_entries_written();
    for (std::uint32_t i = 0; i < entries; ++i) {
      const BmpColor c = i < palette_.size() ? palette_[i] : BmpColor{255, 255, 255};
      h.push_back(c.blue);
      h.push_back(c.green);
      h.push_back(c.red);
      if (o_.header != BmpHeaderKind::Core) h.push_back(0);
    }
    return h;
  }

  // Appends the bytes of the `k`-th row in file order.
  void file_row(std::int32_t k, std::vector<std::uint8_t>& out) {
    const std::int32_t r = o_.top_down ? k : img_.height - 1 - k;
    const std::uint8_t pad = o_.dirty_padding ? 0xFF : 0x00;
    const std::size_t start = out.size();
    switch (o_.bits_per_pixel) {
      case 1:
        mono_row(r, out);
        break;
      case 8:
        indexed_row(r, out);
        if (rle()) {
          rle_.assign(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
          out.resize(start);
          append_rle8_row(rle_, k == img_.height - 1, out);
          return;
        }
        break;
      default:
        rgb_row(r, out);
        break;
    }
    out.resize(start + stride_, pad);
  }

 private:
  void mono_row(std::int32_t r, std::vector<std::uint8_t>& out) const {
    const auto src = img_.row(r);
    const std::size_t bytes = (static_cast<std::size_t>(img_.width) + 7) / 8;
    const std::uint8_t flip = o_.black_first ? 0xFF : 0x00;  // ink is the bit value of black
    for (std::size_t b = 0; b < bytes; ++b) {
      const auto ink = static_cast<std::uint8_t>(src[b / 8] >> (8 * (b % 8)));
      out.push_back(static_cast<std::uint8_t>(kReversedBits[ink] ^ flip));
    }
    const int used = img_.width % 8;
    if (used != 0) {
      const auto unused = static_cast<std::uint8_t>(0xFF >> used);
      std::uint8_t& last = out.back();
      last = static_cast<std::uint8_t>(o_.dirty_padding ? (last | unused) : (last & ~unused));
    }
  }

  void indexed_row(std::int32_t r, std::vector<std::uint8_t>& out) const {
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(img_.width));
    std::uint8_t* p = out.data() + start;
    const auto ink = static_cast<std::uint8_t>(o_.ink_index);
    for (std::int32_t x = 0; x < img_.width; ++x) {
      if (img_.get(x, r)) {
        p[x] = ink;
      } else if (background_.size() == 1) {
        p[x] = background_[0];
      } else {
        p[x] = background_[pixel_hash(o_.noise_seed, x, r) % background_.size()];
      }
    }
  }

  void rgb_row(std::int32_t r, std::vector<std::uint8_t>& out) const {
    const auto threshold = static_cast<std::uint64_t>(std::clamp(o_.near_black_noise, 0.0, 1.0) * 0x1.0p53);
    const std::size_t start = out.size();
    out.resize(start + 3 * static_cast<std::size_t>(img_.width), 255);
    std::uint8_t* p = out.data() + start;
    for (std::int32_t x = 0; x < img_.width; ++x, p += 3) {
      if (img_.get(x, r)) {
        p[0] = p[1] = p[2] = 0;
      } else if (threshold > 0) {
        const std::uint64_t hash = pixel_hash(o_.noise_seed, x, r);
        if ((hash >> 11) < threshold) {
          const auto& c = kNearBlack[(hash & 0xFF) % std::size(kNearBlack)];
          p[0] = c[0];
          p[1] = c[1];
          p[2] = c[2];
        }
      }
    }
  }

  const InkImage& img_;
  const BmpWriteOptions& o_;
  std::vector<BmpColor> palette_;
  std::vector<std::uint8_t> background_;
  std::uint64_t stride_ = 0;
  std::vector<std::uint8_t> rle_;
};

}  // namespace

void append_rle8_row(std::span<const std::uint8_t> px, bool last_row, std::vector<std::uint8_t>& out) {
  const std::size_t n = px.size();
  auto run_at = [&](std::size_t i) {
    std::size_t j = i + 1;
    while (j < n && j - i < 255 && px[j] == px[i]) ++j;
    return j - i;
  };
  std::size_t i = 0;
  while (i < n) {
    const std::size_t run = run_at(i);
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(px[i]);
      i += run;
      continue;
    }
    std::size_t j = i;
    while (j < n && j - i < 255 && run_at(j) < 3) ++j;
    const std::size_t len = j - i;
    if (len >= 3) {
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(len));
      out.insert(out.end(), px.begin() + static_cast<std::ptrdiff_t>(i), px.begin() + static_cast<std::ptrdiff_t>(j));
      if (len % 2) out.push_back(0);
      i = j;
    } else {
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(px[i]);
      i += run;
    }
  }
  out.push_back(0);
  out.push_back(last_row ? 1 : 0);
}

std::string check_bmp_options(const InkImage& image, const BmpWriteOptions& options) {
  return BmpEncoder(image, options).check();
}

std::vector<std::uint8_t> encode_bmp(const InkImage& image, const BmpWriteOptions& options) {
  BmpEncoder enc(image, options);
  if (!enc.check().empty()) return {};
  std::vector<std::uint8_t> pixels;
  if (!enc.rle()) pixels.reserve(enc.pixel_bytes_uncompressed());
  for (std::int32_t k = 0; k < image.height; ++k) enc.file_row(k, pixels);
  if (pixels.size() + enc.offset() > std::numeric_limits<std::uint32_t>::max()) return {};
  std::vector<std::uint8_t> file = enc.headers(pixels.size());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

bool write_bmp_file(const std::string& path, const InkImage& image, const BmpWriteOptions& options) {
  BmpEncoder enc(image, options);
  if (!enc.check().empty()) return false;
  bool ok = true;
  {
    auto buffer = std::make_unique<char[]>(1 << 20);  // must outlive the stream
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.get(), 1 << 20);
    out.open(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    auto put = [&](const std::vector<std::uint8_t>& bytes) {
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    // RLE8's size is known only at the end: write the headers, then again once it is.
    const std::vector<std::uint8_t> head = enc.headers(enc.rle() ? 0 : enc.pixel_bytes_uncompressed());
    put(head);
    std::uint64_t pixel_bytes = 0;
    std::vector<std::uint8_t> row;
    for (std::int32_t k = 0; k < image.height && out; ++k) {
      row.clear();
      enc.file_row(k, row);
      pixel_bytes += row.size();
      put(row);
    }
    if (enc.rle() && out) {
      if (pixel_bytes + enc.offset() > std::numeric_limits<std::uint32_t>::max()) {
        ok = false;
      } else {
        out.seekp(0);
        put(enc.headers(pixel_bytes));
      }
    }
    out.close();
    ok = ok && !out.fail();
  }
  // Remove the partial file, but never something that is not a plain file (a device).
  std::error_code ec;
  if (!ok && std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
  return ok;
}

}  // namespace vp
