// The bitmap reader on files assembled here byte by byte.
#include "imageio/bmp_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "imageio/bmp_row_convert.h"
#include "tests/imageio/bmp/bmp_test_util.h"

namespace vp {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_bmp::read_bmp;
using Rows = std::vector<std::string>;

struct Rgb {
  std::uint8_t r, g, b;
};

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 2; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct BmpSpec {
  std::uint32_t header_size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top-down
  std::uint16_t bpp = 1;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::int32_t x_ppm = 0, y_ppm = 0;
  std::vector<Rgb> palette = {};
  Bytes pixels = {};  // exactly as stored
};

// A file as the format lays it out; header fields that a short OS/2 header lacks are left out.
Bytes assemble(const BmpSpec& s) {
  const std::size_t entry = s.header_size == 12 ? 3 : 4;
  const std::size_t offset = 14 + s.header_size + s.palette.size() * entry;
  Bytes b(offset, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 10, static_cast<std::uint32_t>(offset));
  put32(b, 14, s.header_size);
  if (s.header_size == 12) {
    put16(b, 18, static_cast<std::uint32_t>(s.width));
    put16(b, 20, static_cast<std::uint32_t>(s.height));
    put16(b, 22, 1);
    put16(b, 24, s.bpp);
  } else {
    put32(b, 18, static_cast<std::uint32_t>(s.width));
    put32(b, 22, static_cast<std::uint32_t>(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bpp);
    if (s.header_size >= 20) put32(b, 30, s.compression);
    if (s.header_size >= 24) put32(b, 34, static_cast<std::uint32_t>(s.pixels.size()));
    if (s.header_size >= 28) put32(b, 38, static_cast<std::uint32_t>(s.x_ppm));
    if (s.header_size >= 32) put32(b, 42, static_cast<std::uint32_t>(s.y_ppm));
    if (s.header_size >= 36) put32(b, 46, s.colours_used);
  }
  for (std::size_t i = 0; i < s.palette.size(); ++i) {
    const std::size_t at = 14 + s.header_size + i * entry;
    b[at] = s.palette[i].b;
    b[at + 1] = s.palette[i].g;
    b[at + 2] = s.palette[i].r;
  }
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// Rows top first: palette indices, or 0xRRGGBB for 24 bits.
using Image = std::vector<std::vector<std::uint32_t>>;

// Stores an image the literal way: pixel c of a 1-bit row in bit 7 - c % 8 of byte
// c / 8, rows padded to 4 bytes; `fill` goes into every byte and bit no pixel uses.
Bytes store(const Image& img, int bpp, bool top_down, std::uint8_t fill = 0) {
  const std::size_t h = img.size(), w = img[0].size();
  const std::size_t stride = (w * bpp + 31) / 32 * 4;
  Bytes out;
  for (std::size_t fr = 0; fr < h; ++fr) {
    const auto& row = img[top_down ? fr : h - 1 - fr];
    Bytes line(stride, fill);
    for (std::size_t c = 0; c < w; ++c) {
      if (bpp == 1) {
        const auto bit = static_cast<std::uint8_t>(0x80 >> (c % 8));
        line[c / 8] = static_cast<std::uint8_t>(row[c] ? line[c / 8] | bit : line[c / 8] & ~bit);
      } else if (bpp == 8) {
        line[c] = static_cast<std::uint8_t>(row[c]);
      } else {
        line[3 * c] = static_cast<std::uint8_t>(row[c]);
        line[3 * c + 1] = static_cast<std::uint8_t>(row[c] >> 8);
        line[3 * c + 2] = static_cast<std::uint8_t>(row[c] >> 16);
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

Rows ink_of(const Image& img, std::uint32_t ink) {
  Rows rows;
  for (const auto& row : img) {
    std::string text;
    for (std::uint32_t v : row) text += v == ink ? '#' : '.';
    rows.push_back(text);
  }
  return rows;
}

// Pixels drawn from `values`, a third of them values[0].
Image random_image(std::mt19937& rng, int w, int h, const std::vector<std::uint32_t>& values) {
  Image img(static_cast<std::size_t>(h), std::vector<std::uint32_t>(static_cast<std::size_t>(w)));
  for (auto& row : img) {
    for (auto& v : row) v = values[rng() % 3 == 0 ? 0 : rng() % values.size()];
  }
  return img;
}

// Black first, then near misses of every kind.
const std::vector<std::uint32_t> kIndices1 = {0, 1};
const std::vector<std::uint32_t> kIndices8 = {0, 1, 2, 0x80, 0xFE, 0xFF};
const std::vector<std::uint32_t> kColours24 = {0, 0x000001, 0x000100, 0x010000, 0x808080, 0xFFFFFF};
const std::vector<std::uint32_t>& values_for(int bpp) {
  return bpp == 1 ? kIndices1 : bpp == 8 ? kIndices8 : kColours24;
}

// A file in the temporary folder, removed again when the object goes.
struct TempBmp {
  std::string path;
  explicit TempBmp(const Bytes& bytes) {
    static int counter = 0;
    // Test programs may run side by side: the test's name keeps their files apart.
    path = ::testing::TempDir() + "vp_bmp_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
           std::to_string(++counter) + ".bmp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempBmp() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  TempBmp(const TempBmp&) = delete;
  TempBmp& operator=(const TempBmp&) = delete;
};

const std::vector<Rgb> kBlackWhite = {{0, 0, 0}, {255, 255, 255}};
const std::vector<Rgb> kWhiteBlack = {{255, 255, 255}, {0, 0, 0}};

std::vector<Rgb> greys(bool reversed) {
  std::vector<Rgb> p;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(reversed ? 255 - i : i);
    p.push_back({v, v, v});
  }
  return p;
}

// --- Row conversion: the word-at-a-time code against the pixel-by-pixel rules.

void reference_row(const Bytes& row, int bpp, int width, int ink, std::vector<std::uint64_t>& out) {
  out.assign(bmp::ink_words(width), 0);
  for (int c = 0; c < width; ++c) {
    bool is_ink = false;
    if (bpp == 1) is_ink = ((row[c / 8] >> (7 - c % 8)) & 1) == ink;
    if (bpp == 8) is_ink = row[c] == ink;
    if (bpp == 24) is_ink = row[3 * c] == 0 && row[3 * c + 1] == 0 && row[3 * c + 2] == 0;
    if (is_ink) out[c / 64] |= std::uint64_t{1} << (c % 64);
  }
}

TEST(BmpRowConvert, AgreesWithThePixelByPixelRules) {
  std::mt19937 rng(20240607);
  const int widths[] = {1, 2, 7, 8, 9, 10, 15, 16, 17, 31, 33, 63, 64, 65, 127, 128, 129, 191, 200, 1000};
  struct Case {
    int bpp, ink;
  };
  const Case cases[] = {{1, 0}, {1, 1}, {1, 2}, {8, 0}, {8, 1}, {8, 0x80}, {8, 255}, {8, -1}, {24, 0}};
  int compared = 0;
  for (const Case& k : cases) {
    for (int width : widths) {
      for (int trial = 0; trial < 12; ++trial) {
        // Exactly the row's bytes, so that a read past them shows under the sanitizer.
        Bytes row(static_cast<std::size_t>((static_cast<long>(width) * k.bpp + 7) / 8));
        const int mode = trial % 4;
        for (auto& b : row) {
          const unsigned r = rng();
          if (mode == 0) b = static_cast<std::uint8_t>(r);
          // Near misses: bytes one bit away from the ink index or from zero.
          if (mode == 1) b = static_cast<std::uint8_t>(std::max(k.ink, 0) ^ (r % 3 == 0 ? 0 : 1u << (r % 8)));
          if (mode == 2) b = r % 5 == 0 ? 0 : 0xFF;
          if (mode == 3) b = r % 4 == 0 ? 0xFF : 0;
        }
        std::vector<std::uint64_t> want, got(bmp::ink_words(width), 0xA5A5A5A5A5A5A5A5ULL);
        reference_row(row, k.bpp, width, k.ink, want);
        if (k.bpp == 1) bmp::ink_row_1bit(row.data(), width, k.ink, got.data());
        if (k.bpp == 8) bmp::ink_row_8bit(row.data(), width, k.ink, got.data());
        if (k.bpp == 24) bmp::ink_row_24bit(row.data(), width, got.data());
        ASSERT_EQ(got, want) << k.bpp << "-bit, ink " << k.ink << ", width " << width << ", mode " << mode;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 9 * 20 * 12);
}

// --- Whole files.

TEST(BmpReader, InkIsTheEntryNearestBlack) {
  std::vector<Rgb> eight(8, Rgb{255, 255, 255});
  eight[2] = {10, 10, 10};
  eight[6] = {0, 0, 0};
  std::vector<Rgb> oversize(300, Rgb{200, 200, 200});
  oversize[255] = {0, 0, 0};
  oversize[256] = {0, 0, 0};
  struct Case {
    const char* name;
    BmpSpec spec;  // pixels filled from `image`
    Image image;
    int ink_index, entries;
    Rows expected;
  };
  const Case cases[] = {
      {"1-bit black, white: clear bits", {.bpp = 1, .palette = kBlackWhite}, {{0, 1, 1, 0}}, 0, 2, {"#..#"}},
      {"1-bit white, black: set bits", {.bpp = 1, .palette = kWhiteBlack}, {{0, 1, 1, 0}}, 1, 2, {".##."}},
      {"1-bit tie goes to the lower index", {.bpp = 1, .palette = {{0, 0, 9}, {9, 0, 0}}}, {{0, 1}}, 0, 2, {"#."}},
      {"1-bit single entry", {.bpp = 1, .palette = {{90, 90, 90}}}, {{0, 1}}, 0, 1, {"#."}},
      {"core header, 3-byte entries",
       {.header_size = 12, .bpp = 1, .palette = kWhiteBlack},
       {{1, 0, 1}},
       1,
       2,
       {"#.#"}},
      {"8-bit greyscale: dark greys are background",
       {.bpp = 8, .palette = greys(false)},
       {{0, 1, 2, 128, 255, 0}},
       0,
       256,
       {"#....#"}},
      {"8-bit reversed greyscale", {.bpp = 8, .palette = greys(true)}, {{0, 254, 255}}, 255, 256, {"..#"}},
      {"darkest entry is not black",
       {.bpp = 8, .palette = {{200, 0, 0}, {0, 90, 0}, {60, 60, 60}}},
       {{0, 1, 2}},
       1,
       3,
       {".#."}},
      {"colours-used limits the search", {.bpp = 8, .colours_used = 4, .palette = eight}, {{2, 6, 7}}, 2, 4, {"#.."}},
      {"indices past a short palette are not ink",
       {.bpp = 8, .palette = kWhiteBlack},
       {{1, 200, 0, 1}},
       1,
       2,
       {"#..#"}},
      {"colours-used past 256 that the file holds",
       {.bpp = 8, .colours_used = 300, .palette = oversize},
       {{255, 256 % 256, 1}},
       255,
       256,
       {"#.."}},
      {"24-bit: only pure black", {.bpp = 24}, {{0x000001, 0x010000, 0x000100, 0x000000, 0xFFFFFF}}, -1, 0, {"...#."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpSpec spec = c.spec;
    spec.width = static_cast<std::int32_t>(c.image[0].size());
    spec.height = static_cast<std::int32_t>(c.image.size());
    spec.pixels = store(c.image, spec.bpp, false);
    const auto r = read_bmp(TempBmp(assemble(spec)).path);
    ASSERT_EQ(r.open_status, BmpStatus::Ok);
    EXPECT_EQ(r.read_status, BmpStatus::Ok);
    EXPECT_EQ(r.info.ink_index, c.ink_index);
    EXPECT_EQ(r.info.palette_entries, c.entries);
    EXPECT_EQ(r.rows, c.expected);
  }
}

TEST(BmpReader, HeaderVariantsOrientationAndChunks) {
  std::mt19937 rng(7);
  struct Case {
    std::uint32_t header_size;
    int bpp, width, height;
  };
  // Sizes reach past one 64-pixel word and, for the last, past one read chunk.
  const Case cases[] = {{12, 8, 70, 5},  {16, 8, 70, 5},   {40, 1, 70, 5},     {40, 8, 70, 5},
                        {40, 24, 70, 5}, {52, 8, 70, 5},   {56, 24, 70, 5},    {64, 1, 70, 5},
                        {108, 1, 70, 5}, {124, 24, 70, 5}, {40, 24, 5000, 150}};
  for (const Case& c : cases) {
    SCOPED_TRACE("header " + std::to_string(c.header_size) + ", " + std::to_string(c.bpp) + "-bit " +
                 std::to_string(c.width) + " x " + std::to_string(c.height));
    const Image img = random_image(rng, c.width, c.height, values_for(c.bpp));
    const std::vector<Rgb> palette = c.bpp == 24 ? std::vector<Rgb>{} : (c.bpp == 1 ? kBlackWhite : greys(false));
    for (bool top_down : {false, true}) {
      if (top_down && c.header_size == 12) continue;  // its height cannot be negative
      BmpSpec spec{.header_size = c.header_size,
                   .width = c.width,
                   .height = top_down ? -c.height : c.height,
                   .bpp = static_cast<std::uint16_t>(c.bpp),
                   .palette = palette,
                   .pixels = store(img, c.bpp, top_down)};
      const auto r = read_bmp(TempBmp(assemble(spec)).path);
      ASSERT_EQ(r.open_status, BmpStatus::Ok);
      EXPECT_EQ(r.read_status, BmpStatus::Ok);
      EXPECT_TRUE(r.faults.empty()) << r.faults.front();
      EXPECT_EQ(r.info.top_down, top_down);
      EXPECT_EQ(r.rows, ink_of(img, 0));
      // File order: a bottom-up file delivers its bottom row first.
      ASSERT_EQ(r.order.size(), static_cast<std::size_t>(c.height));
      for (int i = 0; i < c.height; ++i) {
        ASSERT_EQ(r.order[static_cast<std::size_t>(i)], top_down ? i : c.height - 1 - i);
      }
    }
  }
}

TEST(BmpReader, BitsPastTheWidthAreNeverRead) {
  // 10 pixels: the second byte's two top bits are pixels 8 and 9; its other six
  // bits and the row padding are filled with the value that would read as ink.
  const Image img = {{1, 0, 1, 0, 1, 0, 1, 0, 0, 1}, {0, 1, 1, 1, 1, 1, 1, 1, 1, 0}};
  struct Case {
    std::vector<Rgb> palette;
    std::uint8_t fill;
    Rows expected;
  };
  const Case cases[] = {{kWhiteBlack, 0xFF, {"#.#.#.#..#", ".########."}},
                        {kBlackWhite, 0x00, {".#.#.#.##.", "#........#"}}};
  for (const Case& c : cases) {
    const BmpSpec spec{
        .width = 10, .height = 2, .bpp = 1, .palette = c.palette, .pixels = store(img, 1, false, c.fill)};
    const auto r = read_bmp(TempBmp(assemble(spec)).path);
    ASSERT_EQ(r.open_status, BmpStatus::Ok);
    EXPECT_TRUE(r.faults.empty()) << r.faults.front();
    EXPECT_EQ(r.rows, c.expected) << "fill " << int{c.fill};
  }
}

TEST(BmpReader, OtherPixelFormats) {
  struct Case {
    const char* name;
    std::uint32_t header_size;
    std::uint16_t bpp;
    std::uint32_t compression;
    BmpStatus expected;
  };
  const Case cases[] = {
      {"4-bit", 40, 4, 0, BmpStatus::Unsupported},
      {"32-bit", 40, 32, 0, BmpStatus::Unsupported},
      {"2-bit", 40, 2, 0, BmpStatus::Unsupported},
      {"16-bit", 40, 16, 0, BmpStatus::Unsupported},
      {"64-bit", 40, 64, 0, BmpStatus::Unsupported},
      {"RLE4", 40, 4, 2, BmpStatus::Unsupported},
      {"24-bit bit fields", 40, 24, 3, BmpStatus::Unsupported},
      {"32-bit bit fields", 108, 32, 3, BmpStatus::Unsupported},
      {"1-bit OS/2 Huffman", 64, 1, 3, BmpStatus::Unsupported},
      {"24-bit OS/2 RLE24", 64, 24, 4, BmpStatus::Unsupported},
      {"embedded JPEG", 124, 0, 4, BmpStatus::Unsupported},
      {"embedded PNG", 124, 0, 5, BmpStatus::Unsupported},
      {"1-bit compression 9", 40, 1, 9, BmpStatus::Unsupported},
      {"0 bits, no compression", 40, 0, 0, BmpStatus::Unreadable},
      {"3 bits", 40, 3, 0, BmpStatus::Unreadable},
      {"30000 bits", 40, 30000, 0, BmpStatus::Unreadable},
  };
  for (const Case& c : cases) {
    const BmpSpec spec{.header_size = c.header_size,
                       .width = 8,
                       .height = 2,
                       .bpp = c.bpp,
                       .compression = c.compression,
                       .palette = kBlackWhite,
                       .pixels = Bytes(512, 0x11)};
    EXPECT_EQ(read_bmp(TempBmp(assemble(spec)).path).open_status, c.expected) << c.name;
  }
}

TEST(BmpReader, Rle8Streams) {
  // Index 1 is black, so it is the ink; rows of the stream go bottom-up.
  const std::vector<Rgb> palette = {{255, 255, 255}, {0, 0, 0}, {128, 128, 128}};
  struct Case {
    const char* name;
    std::int32_t width, height;
    Bytes stream;
    BmpStatus expected;
    Rows rows;  // top first, when it loads
  };
  const BmpStatus Ok = BmpStatus::Ok, Bad = BmpStatus::Unreadable;
  const Case cases[] = {
      {"runs and end of line", 4, 2, {4, 1, 0, 0, 2, 0, 2, 1, 0, 1}, Ok, {"..##", "####"}},
      {"absolute, odd length, padded", 5, 1, {0, 3, 1, 0, 1, 0, 2, 1, 0, 1}, Ok, {"#.###"}},
      {"absolute, even length", 4, 1, {0, 4, 1, 1, 2, 1, 0, 1}, Ok, {"##.#"}},
      {"delta skips right and up", 4, 3, {1, 1, 0, 2, 2, 1, 1, 1, 0, 1}, Ok, {"....", "...#", "#..."}},
      {"delta over whole rows", 2, 4, {0, 2, 0, 3, 2, 1, 0, 1}, Ok, {"##", "..", "..", ".."}},
      {"early end of line", 4, 2, {2, 1, 0, 0, 1, 1, 0, 1}, Ok, {"#...", "##.."}},
      {"early end of bitmap", 3, 3, {3, 1, 0, 1}, Ok, {"...", "...", "###"}},
      {"end of line past the top writes nothing", 1, 1, {1, 1, 0, 0, 0, 0, 0, 1}, Ok, {"#"}},
      {"run past the row's end", 3, 1, {4, 1, 0, 1}, Bad, {}},
      {"absolute past the row's end", 3, 1, {0, 4, 1, 1, 1, 1, 0, 1}, Bad, {}},
      {"run above the top row", 1, 1, {1, 1, 0, 0, 1, 1, 0, 1}, Bad, {}},
      {"delta past the right edge", 3, 2, {0, 2, 4, 0, 0, 1}, Bad, {}},
      {"delta past the top", 3, 2, {0, 2, 0, 3, 0, 1}, Bad, {}},
      {"no end of bitmap", 2, 1, {2, 1, 0, 0}, Bad, {}},
      {"cut in a delta", 2, 1, {0, 2, 1}, Bad, {}},
      {"cut in absolute mode", 5, 1, {0, 5, 1, 1}, Bad, {}},
      {"odd trailing byte", 2, 1, {1, 1, 0}, Bad, {}},
      {"empty stream", 2, 1, {}, Bad, {}},
      {"top-down height", 2, -1, {2, 1, 0, 1}, Bad, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BmpSpec spec{
        .width = c.width, .height = c.height, .bpp = 8, .compression = 1, .palette = palette, .pixels = c.stream};
    const auto r = read_bmp(TempBmp(assemble(spec)).path);
    ASSERT_EQ(r.open_status, c.expected);
    if (c.expected != Ok) continue;
    EXPECT_TRUE(r.info.rle8);
    EXPECT_EQ(r.read_status, Ok);
    EXPECT_TRUE(r.faults.empty()) << r.faults.front();
    EXPECT_EQ(r.rows, c.rows);
    ASSERT_EQ(r.order.size(), c.rows.size());
    for (std::size_t i = 0; i < r.order.size(); ++i) EXPECT_EQ(r.order[i], c.height - 1 - static_cast<int>(i));
  }
}

TEST(BmpReader, HostileFilesFailCleanly) {
  const Image img(4, std::vector<std::uint32_t>(16, 1));
  const Bytes one_bit =
      assemble({.width = 16, .height = 4, .bpp = 1, .palette = kBlackWhite, .pixels = store(img, 1, false)});
  const Bytes eight_bit =
      assemble({.width = 16, .height = 4, .bpp = 8, .palette = kBlackWhite, .pixels = store(img, 8, false)});
  const Bytes rgb = assemble({.width = 16, .height = 4, .bpp = 24, .pixels = store(img, 24, false)});
  const auto set32 = [](std::size_t at, std::uint32_t v) { return [=](Bytes& b) { put32(b, at, v); }; };
  struct Case {
    const char* name;
    const Bytes* base;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"empty file", &one_bit, [](Bytes& b) { b.clear(); }},
      {"shorter than the file header", &one_bit, [](Bytes& b) { b.resize(10); }},
      {"not BM", &one_bit, [](Bytes& b) { b[1] = 'A'; }},
      {"offset past the end", &one_bit, set32(10, 0xFFFFFFF0u)},
      {"offset inside the header", &one_bit, set32(10, 20)},
      {"24-bit offset past the end", &rgb, set32(10, 0x80000000u)},
      {"width 0", &one_bit, set32(18, 0)},
      {"negative width", &one_bit, set32(18, static_cast<std::uint32_t>(-16))},
      {"width 2^31 - 1", &one_bit, set32(18, INT32_MAX)},
      {"width 2^31 - 3, data missing", &rgb, set32(18, INT32_MAX - 2)},
      {"height 0", &one_bit, set32(22, 0)},
      {"height INT32_MIN", &one_bit, set32(22, 0x80000000u)},
      {"height 2^31 - 1", &one_bit, set32(22, INT32_MAX)},
      {"top-down height -(2^31 - 3)", &one_bit, set32(22, static_cast<std::uint32_t>(-(INT32_MAX - 2)))},
      {"huge width and height", &rgb,
       [](Bytes& b) {
         put32(b, 18, INT32_MAX - 2);
         put32(b, 22, INT32_MAX - 2);
       }},
      {"header size 0", &one_bit, set32(14, 0)},
      {"header size 66", &one_bit, set32(14, 66)},
      {"header size 2^32 - 1", &one_bit, set32(14, 0xFFFFFFFFu)},
      {"header longer than the file", &one_bit,
       [](Bytes& b) {
         put32(b, 14, 124);
         b.resize(80);
       }},
      {"colours-used huge", &eight_bit, set32(46, 0xFFFFFFFFu)},
      {"colours-used 257, two entries held", &eight_bit, set32(46, 257)},
      {"no palette at all", &eight_bit, set32(10, 54)},
      {"planes 0", &one_bit, [](Bytes& b) { b[26] = 0; }},
      {"truncated mid-row", &one_bit, [](Bytes& b) { b.resize(b.size() > 3 ? b.size() - 3 : 0); }},
      {"24-bit truncated mid-row", &rgb, [](Bytes& b) { b.resize(b.size() > 40 ? b.size() - 40 : 0); }},
  };
  for (const Case& c : cases) {
    Bytes bytes = *c.base;
    c.damage(bytes);
    const auto r = read_bmp(TempBmp(bytes).path);
    EXPECT_EQ(r.open_status, BmpStatus::Unreadable) << c.name;
  }
  EXPECT_EQ(read_bmp(::testing::TempDir() + "vp_no_such_file.bmp").open_status, BmpStatus::Unreadable);
  const std::string dir = ::testing::TempDir() + "vp_bmp_reader_dir.bmp";
  std::filesystem::create_directories(dir);
  EXPECT_EQ(read_bmp(dir).open_status, BmpStatus::Unreadable);
  std::filesystem::remove(dir);
}

TEST(BmpReader, ImageSidesStopWhereTheGridCannotFollow) {
  // An RLE8 file that ends at once describes a blank image of any size, so it
  // reaches the limit with a few bytes: the side + 2 must fit a signed 32-bit int.
  struct Case {
    std::int32_t width, height;
    BmpStatus expected;
  };
  const Case cases[] = {{INT32_MAX - 2, 1, BmpStatus::Ok},
                        {INT32_MAX - 1, 1, BmpStatus::Unreadable},
                        {1, INT32_MAX - 2, BmpStatus::Ok},
                        {1, INT32_MAX - 1, BmpStatus::Unreadable},
                        {INT32_MAX, INT32_MAX, BmpStatus::Unreadable}};
  for (const Case& c : cases) {
    const BmpSpec spec{
        .width = c.width, .height = c.height, .bpp = 8, .compression = 1, .palette = kBlackWhite, .pixels = {0, 1}};
    const TempBmp file(assemble(spec));
    BmpReader reader;
    ASSERT_EQ(reader.open(file.path), c.expected) << c.width << " x " << c.height;
    if (c.expected == BmpStatus::Ok) {
      EXPECT_EQ(reader.info().width, c.width);
    }
  }
}

TEST(BmpReader, SinkStopsTheReading) {
  std::mt19937 rng(3);
  const Image small = random_image(rng, 20, 40, kIndices1);
  const Image wide = random_image(rng, 3000, 400, kColours24);  // several read chunks
  const Bytes rle_stream = {0, 0, 0, 0, 0, 0, 2, 1, 0, 1};
  const BmpSpec specs[] = {
      {.width = 20, .height = 40, .bpp = 1, .palette = kBlackWhite, .pixels = store(small, 1, false)},
      {.width = 20, .height = -40, .bpp = 8, .palette = kBlackWhite, .pixels = store(small, 8, true)},
      {.width = 3000, .height = 400, .bpp = 24, .pixels = store(wide, 24, false)},
      {.width = 2, .height = 40, .bpp = 8, .compression = 1, .palette = kBlackWhite, .pixels = rle_stream},
  };
  for (const BmpSpec& spec : specs) {
    const TempBmp file(assemble(spec));
    for (int stop_after : {1, 3, 39}) {
      const auto r = read_bmp(file.path, stop_after);
      ASSERT_EQ(r.open_status, BmpStatus::Ok);
      EXPECT_EQ(r.read_status, BmpStatus::Ok);
      EXPECT_EQ(r.order.size(), static_cast<std::size_t>(stop_after)) << spec.bpp << "-bit";
    }
  }
}

TEST(BmpReader, InfoAndReuse) {
  struct Case {
    std::uint32_t header_size;
    double x_ppm, y_ppm;  // as the reader reports them
  };
  const Case cases[] = {{12, 0, 0}, {16, 0, 0}, {28, 3780, 0}, {40, 3780, -2835}, {124, 3780, -2835}};
  const Image img = {{1, 0, 1}};
  for (const Case& c : cases) {
    const BmpSpec spec{.header_size = c.header_size,
                       .width = 3,
                       .height = 1,
                       .bpp = 1,
                       .x_ppm = 3780,
                       .y_ppm = -2835,
                       .palette = kWhiteBlack,
                       .pixels = store(img, 1, false)};
    const TempBmp file(assemble(spec));
    BmpReader reader;
    EXPECT_EQ(reader.read_rows([](std::int32_t, std::span<const std::uint64_t>) { return true; }),
              BmpStatus::Unreadable)
        << "nothing opened yet";
    ASSERT_EQ(reader.open(file.path), BmpStatus::Ok);
    EXPECT_EQ(reader.info().x_pixels_per_metre, c.x_ppm) << c.header_size;
    EXPECT_EQ(reader.info().y_pixels_per_metre, c.y_ppm) << c.header_size;
    EXPECT_EQ(reader.info().bits_per_pixel, 1);
    // Reading twice gives the same rows; a failed open leaves nothing to read.
    for (int pass = 0; pass < 2; ++pass) {
      std::uint64_t seen = 0;
      EXPECT_EQ(reader.read_rows([&](std::int32_t, std::span<const std::uint64_t> ink) { return seen = ink[0], true; }),
                BmpStatus::Ok);
      EXPECT_EQ(seen, 0b101u);
    }
    EXPECT_EQ(reader.open(::testing::TempDir() + "vp_no_such_file.bmp"), BmpStatus::Unreadable);
    EXPECT_EQ(reader.read_rows([](std::int32_t, std::span<const std::uint64_t>) { return true; }),
              BmpStatus::Unreadable);
  }
}

}  // namespace
}  // namespace vp
