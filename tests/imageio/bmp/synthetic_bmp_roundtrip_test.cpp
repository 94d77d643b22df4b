// The BMP writer against hand-worked bytes and a literal RLE8 decoder, and every
// kind of file it writes read back through BmpReader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imageio/bmp_reader.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t u16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }

// A file name of our own in the temporary folder, removed when it goes out of scope.
class TempFile {
 public:
  TempFile() : path_(fs::temp_directory_path() / ("vp_synth_" + std::to_string(unique()) + ".bmp")) {}
  ~TempFile() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  std::string str() const { return path_.string(); }

 private:
  static std::uint64_t unique() {
    static std::mt19937_64 rng{std::random_device{}()};
    return rng();
  }
  fs::path path_;
};

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct ReadBack {
  BmpStatus open = BmpStatus::Unreadable;
  BmpStatus read = BmpStatus::Unreadable;
  BmpInfo info;
  InkImage image;
  std::string faults;  // rows delivered twice, outside the image, or of the wrong size
};

ReadBack read_back(const std::string& path) {
  ReadBack out;
  BmpReader reader;
  out.open = reader.open(path);
  if (out.open != BmpStatus::Ok) return out;
  out.info = reader.info();
  out.image = InkImage(out.info.width, out.info.height);
  std::vector<bool> seen(static_cast<std::size_t>(out.info.height), false);
  out.read = reader.read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    if (r < 0 || r >= out.image.height || ink.size() != out.image.words_per_row) {
      out.faults += "bad row " + std::to_string(r) + "; ";
      return true;
    }
    if (seen[static_cast<std::size_t>(r)]) out.faults += "row " + std::to_string(r) + " twice; ";
    seen[static_cast<std::size_t>(r)] = true;
    std::copy(ink.begin(), ink.end(), out.image.row(r).begin());
    return true;
  });
  for (std::size_t r = 0; r < seen.size(); ++r)
    if (!seen[r]) out.faults += "row " + std::to_string(r) + " missing; ";
  return out;
}

// The first row where two images differ, as text, or "" when they are equal.
std::string first_difference(const InkImage& want, const InkImage& got) {
  if (want.width != got.width || want.height != got.height) return "sizes differ";
  for (std::int32_t r = 0; r < want.height; ++r) {
    for (std::int32_t c = 0; c < want.width; ++c) {
      if (want.get(c, r) != got.get(c, r))
        return "pixel (" + std::to_string(c) + ", " + std::to_string(r) + ") should be " +
               (want.get(c, r) ? "ink" : "background");
    }
  }
  if (want.bits != got.bits) return "bits past the width";
  return {};
}

// --- Literal RLE8 decoder: the format's rules, one escape at a time ----------

// Decodes a bottom-up RLE8 stream into rows of indices (file row 0 first).
// False on anything the stream must not contain.
bool decode_rle8(const Bytes& s, std::size_t at, int width, int height, std::vector<Bytes>& rows) {
  rows.assign(static_cast<std::size_t>(height), Bytes());
  int y = 0;
  while (true) {
    if (at + 2 > s.size() || y >= height) return false;
    const int count = s[at], value = s[at + 1];
    at += 2;
    Bytes& row = rows[static_cast<std::size_t>(y)];
    if (count > 0) {
      for (int i = 0; i < count; ++i) row.push_back(static_cast<std::uint8_t>(value));
    } else if (value == 0) {
      ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      return false;  // this writer never skips pixels
    } else {
      if (at + static_cast<std::size_t>(value) > s.size()) return false;
      const auto from = s.begin() + static_cast<std::ptrdiff_t>(at);
      row.insert(row.end(), from, from + value);
      at += static_cast<std::size_t>(value + (value & 1));
    }
    if (static_cast<int>(row.size()) > width) return false;
  }
  if (at != s.size() || y != height - 1) return false;
  for (const Bytes& row : rows)
    if (static_cast<int>(row.size()) != width) return false;
  return true;
}

// --- Hand-worked files ------------------------------------------------------

TEST(BmpWriter, HeadersAndRowsOfSmallFilesByteForByte) {
  // 10 x 2, ink at (0,0), (9,0) and (1,1): row 0 = 1000 0000 01.., row 1 = 0100 0000 00..
  InkImage img(10, 2);
  img.set(0, 0);
  img.set(9, 0);
  img.set(1, 1);

  struct Case {
    const char* name;
    BmpWriteOptions options;
    std::uint32_t header_size, offset, file_size;
    Bytes pixels;  // the pixel data, in file order
  };
  BmpWriteOptions mono;
  mono.dpi = 100;
  BmpWriteOptions mono_inverted = mono;
  mono_inverted.black_first = true;
  mono_inverted.top_down = true;
  BmpWriteOptions mono_dirty;
  mono_dirty.dirty_padding = true;
  BmpWriteOptions core8;
  core8.bits_per_pixel = 8;
  core8.header = BmpHeaderKind::Core;
  core8.palette = {{0, 0, 0}, {255, 255, 255}};
  BmpWriteOptions rgb;
  rgb.bits_per_pixel = 24;
  rgb.header = BmpHeaderKind::V5;

  const Bytes rgb_row1 = [] {
    Bytes b;
    for (int c = 0; c < 10; ++c) {
      const std::uint8_t v = c == 1 ? 0 : 255;
      b.insert(b.end(), {v, v, v});
    }
    b.insert(b.end(), {0, 0});
    return b;
  }();
  Bytes rgb_pixels = rgb_row1;  // bottom-up: image row 1 first
  for (int c = 0; c < 10; ++c) {
    const std::uint8_t v = (c == 0 || c == 9) ? 0 : 255;
    rgb_pixels.insert(rgb_pixels.end(), {v, v, v});
  }
  rgb_pixels.insert(rgb_pixels.end(), {0, 0});

  const Case cases[] = {
      {"1-bit, white then black", mono, 40, 14 + 40 + 8, 62 + 8, {0x40, 0x00, 0, 0, 0x80, 0x40, 0, 0}},
      {"1-bit, black then white, top-down", mono_inverted, 40, 62, 70, {0x7F, 0x80, 0, 0, 0xBF, 0xC0, 0, 0}},
      {"1-bit, dirty padding", mono_dirty, 40, 62, 70, {0x40, 0x3F, 0xFF, 0xFF, 0x80, 0x7F, 0xFF, 0xFF}},
      {"8-bit, core header", core8, 12, 14 + 12 + 256 * 3, 26 + 768 + 24, {1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0,
                                                                           0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0}},
      {"24-bit, V5 header", rgb, 124, 14 + 124, 138 + 64, rgb_pixels},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = encode_bmp(img, c.options);
    ASSERT_EQ(file.size(), c.file_size);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32(file, 2), c.file_size);
    EXPECT_EQ(u32(file, 10), c.offset);
    EXPECT_EQ(u32(file, 14), c.header_size);
    EXPECT_EQ(Bytes(file.begin() + c.offset, file.end()), c.pixels);
    if (c.header_size == 12) {
      EXPECT_EQ(u16(file, 18), 10);
      EXPECT_EQ(u16(file, 20), 2);
      EXPECT_EQ(u16(file, 24), 8);
      EXPECT_EQ(Bytes(file.begin() + 26, file.begin() + 32), (Bytes{0, 0, 0, 255, 255, 255}));
      EXPECT_EQ(file[26 + 3 * 255], 255);  // the table is filled up to 256 entries
    } else {
      EXPECT_EQ(static_cast<std::int32_t>(u32(file, 22)), c.options.top_down ? -2 : 2);
      EXPECT_EQ(u32(file, 34), c.file_size - c.offset);  // image size
      EXPECT_EQ(u32(file, 38), c.options.dpi == 100 ? 3937u : 0u);
    }
  }
  // Palettes of the two 1-bit polarities (blue, green, red, 0).
  const Bytes white_first = encode_bmp(img, mono);
  const Bytes black_first = encode_bmp(img, mono_inverted);
  EXPECT_EQ(Bytes(white_first.begin() + 54, white_first.begin() + 62), (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(black_first.begin() + 54, black_first.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(BmpWriter, Rle8RowsAsHandEncoded) {
  auto repeat = [](std::size_t n, std::uint8_t v) { return Bytes(n, v); };
  Bytes alternating;
  for (int i = 0; i < 256; ++i) alternating.push_back(static_cast<std::uint8_t>(1 + i % 2));
  Bytes alternating_encoded = {0, 255};
  alternating_encoded.insert(alternating_encoded.end(), alternating.begin(), alternating.begin() + 255);
  alternating_encoded.insert(alternating_encoded.end(), {0, 1, 2, 0, 0});  // pad, then the 256th as a run of one

  struct Case {
    const char* name;
    Bytes row;
    bool last;
    Bytes encoded;
  };
  const Case cases[] = {
      {"run, then literals taking in a pair", {0, 0, 0, 0, 5, 6, 7, 9, 9}, false, {4, 0, 0, 5, 5, 6, 7, 9, 9, 0, 0, 0}},
      {"one pixel, last row", {1}, true, {1, 1, 0, 1}},
      {"two different", {1, 2}, false, {1, 1, 1, 2, 0, 0}},
      {"two before a run", {1, 2, 3, 3, 3}, false, {1, 1, 1, 2, 3, 3, 0, 0}},
      {"even literal, no pad", {1, 2, 3, 4}, false, {0, 4, 1, 2, 3, 4, 0, 0}},
      {"run longer than 255", repeat(300, 7), true, {255, 7, 45, 7, 0, 1}},
      {"literal longer than 255", alternating, false, alternating_encoded},
      {"empty row", {}, false, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out = {0xAA};  // appends, keeps what was there
    append_rle8_row(c.row, c.last, out);
    Bytes expected = {0xAA};
    expected.insert(expected.end(), c.encoded.begin(), c.encoded.end());
    EXPECT_EQ(out, expected);
  }

  // In a file: rows bottom-up, the image size is the stream's length.
  InkImage three(3, 3);
  three.set(0, 0);  // top row
  three.set(2, 2);  // bottom row
  BmpWriteOptions o;
  o.bits_per_pixel = 8;
  o.rle8 = true;
  o.palette = {{0, 0, 0}, {90, 90, 90}, {255, 255, 255}};
  const Bytes file = encode_bmp(three, o);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(u32(file, 30), 1u);  // compression: RLE8
  EXPECT_EQ(u32(file, 46), 3u);  // colours used
  const std::uint32_t offset = u32(file, 10);
  EXPECT_EQ(offset, 14u + 40u + 3u * 4u);
  EXPECT_EQ(Bytes(file.begin() + offset, file.end()),
            (Bytes{0, 3, 2, 2, 0, 0, 0, 0, 3, 2, 0, 0, 0, 3, 0, 2, 2, 0, 0, 1}));
  EXPECT_EQ(u32(file, 34), file.size() - offset);
  EXPECT_EQ(u32(file, 2), file.size());
}

TEST(BmpWriter, Rle8StreamsDecodeToTheRowsWithTheLiteralDecoder) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    const int width = 1 + static_cast<int>(rng() % 700);
    const int height = 1 + static_cast<int>(rng() % 4);
    const double density = (rng() % 100) / 100.0;
    const InkImage img = random_image(width, height, static_cast<std::uint32_t>(trial), density);
    BmpWriteOptions o;
    o.bits_per_pixel = 8;
    o.rle8 = true;
    o.noise_seed = static_cast<std::uint32_t>(trial);
    // Few background colours give long runs, many give absolute-mode stretches.
    const int colours = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < colours; ++i) o.background_indices.push_back(static_cast<std::uint8_t>(100 + (trial % 3) * i));
    // The same file without compression supplies the expected indices.
    BmpWriteOptions plain = o;
    plain.rle8 = false;
    const Bytes rle = encode_bmp(img, o);
    const Bytes raw = encode_bmp(img, plain);
    ASSERT_FALSE(rle.empty());
    std::vector<Bytes> rows;
    ASSERT_TRUE(decode_rle8(rle, u32(rle, 10), width, height, rows)) << "trial " << trial;
    ASSERT_EQ(u32(rle, 34), rle.size() - u32(rle, 10));
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
    for (int r = 0; r < height; ++r) {
      const std::size_t at = u32(raw, 10) + static_cast<std::size_t>(r) * stride;
      ASSERT_EQ(rows[static_cast<std::size_t>(r)], Bytes(raw.begin() + static_cast<std::ptrdiff_t>(at),
                                                         raw.begin() + static_cast<std::ptrdiff_t>(at) + width))
          << "trial " << trial << " row " << r;
    }
  }
}

TEST(BmpWriter, RefusesWhatTheFormatCannotSay) {
  const InkImage img(4, 4);
  struct Case {
    const char* name;
    BmpWriteOptions options;
    InkImage image;
  };
  auto with = [](auto change) {
    BmpWriteOptions o;
    change(o);
    return o;
  };
  const Case cases[] = {
      {"4 bits", with([](BmpWriteOptions& o) { o.bits_per_pixel = 4; }), img},
      {"32 bits", with([](BmpWriteOptions& o) { o.bits_per_pixel = 32; }), img},
      {"RLE8 on 1-bit", with([](BmpWriteOptions& o) { o.rle8 = true; }), img},
      {"RLE8 top-down", with([](BmpWriteOptions& o) {
         o.bits_per_pixel = 8;
         o.rle8 = true;
         o.top_down = true;
       }),
       img},
      {"RLE8 core", with([](BmpWriteOptions& o) {
         o.bits_per_pixel = 8;
         o.rle8 = true;
         o.header = BmpHeaderKind::Core;
       }),
       img},
      {"core top-down", with([](BmpWriteOptions& o) {
         o.header = BmpHeaderKind::Core;
         o.top_down = true;
       }),
       img},
      {"core too wide", with([](BmpWriteOptions& o) { o.header = BmpHeaderKind::Core; }), InkImage(65536, 1)},
      {"ink outside palette", with([](BmpWriteOptions& o) {
         o.bits_per_pixel = 8;
         o.palette = {{0, 0, 0}};
         o.ink_index = 1;
       }),
       img},
      {"background outside palette", with([](BmpWriteOptions& o) {
         o.bits_per_pixel = 8;
         o.palette = {{0, 0, 0}, {9, 9, 9}};
         o.background_indices = {2};
       }),
       img},
      {"palette too long", with([](BmpWriteOptions& o) {
         o.bits_per_pixel = 8;
         o.palette.resize(257);
       }),
       img},
      {"empty image", BmpWriteOptions{}, InkImage(0, 5)},
      {"negative dpi", with([](BmpWriteOptions& o) { o.dpi = -1; }), img},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(check_bmp_options(c.image, c.options).empty());
    EXPECT_TRUE(encode_bmp(c.image, c.options).empty());
    TempFile file;
    EXPECT_FALSE(write_bmp_file(file.str(), c.image, c.options));
    EXPECT_FALSE(fs::exists(file.str()));
  }
  EXPECT_FALSE(write_bmp_file((fs::temp_directory_path() / "vp_no_such_dir" / "x.bmp").string(), img, {}));
}

// --- Round trips through the reader ------------------------------------------

struct Kind {
  const char* name;
  BmpWriteOptions options;
  int expected_ink_index;
};

std::vector<Kind> every_kind() {
  std::vector<Kind> kinds;
  for (BmpHeaderKind header : {BmpHeaderKind::Core, BmpHeaderKind::Info, BmpHeaderKind::V5}) {
    for (bool top_down : {false, true}) {
      if (header == BmpHeaderKind::Core && top_down) continue;
      auto add = [&](const char* name, BmpWriteOptions o, int ink) {
        o.header = header;
        o.top_down = top_down;
        if (o.rle8 && (top_down || header == BmpHeaderKind::Core)) return;
        kinds.push_back({name, o, ink});
      };
      BmpWriteOptions o;
      add("1-bit white/black", o, 1);
      o.black_first = true;
      o.dirty_padding = true;
      add("1-bit black/white, dirty padding", o, 0);

      o = {};
      o.bits_per_pixel = 8;
      add("8-bit grey ramp", o, 0);
      o.background_indices = {1, 2, 40, 255};  // the darkest greys are not ink
      o.dirty_padding = true;
      add("8-bit grey ramp, dark background", o, 0);
      o.dirty_padding = false;
      o.rle8 = true;
      add("8-bit RLE8, dark background", o, 0);
      o.background_indices = {255};
      add("8-bit RLE8, white background", o, 0);

      o = {};
      o.bits_per_pixel = 8;
      // Black at 7; (0, 0, 1) and (1, 1, 1) are nearer to black than anything but it.
      o.palette = {{255, 255, 255}, {128, 128, 128}, {0, 0, 1}, {16, 16, 16}, {1, 1, 1},
                   {255, 0, 0},     {0, 0, 255},     {0, 0, 0}, {40, 40, 40}};
      o.ink_index = 7;
      o.background_indices = {0, 1, 2, 3, 4, 5, 6, 8};
      add("8-bit short palette, black in the middle", o, 7);
      o.rle8 = true;
      add("8-bit RLE8, short palette", o, 7);

      o = {};
      o.bits_per_pixel = 8;
      o.palette = {{250, 250, 250}, {30, 30, 30}, {200, 200, 200}};  // no pure black
      o.ink_index = 1;
      o.background_indices = {0, 2};
      add("8-bit, darkest grey is ink", o, 1);

      o = {};
      o.bits_per_pixel = 24;
      add("24-bit", o, -1);
      o.near_black_noise = 0.3;
      o.dirty_padding = true;
      add("24-bit, near-black background", o, -1);
    }
  }
  return kinds;
}

TEST(SyntheticBmpRoundTrip, EveryKindOrderAndOddWidthReadsBackAsWritten) {
  const std::vector<Kind> kinds = every_kind();
  for (const Kind& kind : kinds) {
    for (std::int32_t width = 1; width <= 70; ++width) {
      const std::int32_t height = 1 + width % 5;
      const InkImage img = random_image(width, height, static_cast<std::uint32_t>(width), 0.1 + (width % 7) / 10.0);
      BmpWriteOptions o = kind.options;
      o.noise_seed = static_cast<std::uint32_t>(width);
      const Bytes bytes = encode_bmp(img, o);
      ASSERT_FALSE(bytes.empty()) << kind.name << ": " << check_bmp_options(img, o);
      // A new file each time: rewriting one in place makes some file systems flush at every close.
      TempFile file;
      write_file(file.str(), bytes);
      const ReadBack got = read_back(file.str());
      const std::string where = std::string(kind.name) + (o.top_down ? ", top-down" : ", bottom-up") + ", header " +
                                std::to_string(static_cast<int>(o.header)) + ", width " + std::to_string(width);
      ASSERT_EQ(got.open, BmpStatus::Ok) << where;
      ASSERT_EQ(got.read, BmpStatus::Ok) << where;
      ASSERT_EQ(got.faults, "") << where;
      EXPECT_EQ(got.info.width, width) << where;
      EXPECT_EQ(got.info.height, height) << where;
      EXPECT_EQ(got.info.bits_per_pixel, o.bits_per_pixel) << where;
      EXPECT_EQ(got.info.top_down, o.top_down) << where;
      EXPECT_EQ(got.info.rle8, o.rle8) << where;
      EXPECT_EQ(got.info.ink_index, kind.expected_ink_index) << where;
      ASSERT_EQ(first_difference(img, got.image), "") << where;
    }
  }
}

TEST(SyntheticBmpRoundTrip, StreamedDrawingFilesEqualTheInMemoryOnesAndReadBack) {
  DrawingOptions drawing;
  drawing.salt_noise = 0.002;
  const InkImage img = generate_drawing(613, 419, 42, drawing);
  ASSERT_GT(img.ink_count(), 0u);
  for (const Kind& kind : every_kind()) {
    if (kind.options.header != BmpHeaderKind::Info && kind.options.header != BmpHeaderKind::V5) continue;
    BmpWriteOptions o = kind.options;
    o.dpi = 400;
    const std::string where = std::string(kind.name) + (o.top_down ? ", top-down" : ", bottom-up");
    TempFile file;
    ASSERT_TRUE(write_bmp_file(file.str(), img, o)) << where;
    ASSERT_EQ(read_file(file.str()), encode_bmp(img, o)) << where;
    const ReadBack got = read_back(file.str());
    ASSERT_EQ(got.read, BmpStatus::Ok) << where;
    EXPECT_NEAR(got.info.x_pixels_per_metre, 400 / 0.0254, 0.5) << where;
    ASSERT_EQ(first_difference(img, got.image), "") << where;
  }
}

}  // namespace
}  // namespace vp
