// Writes the fuzzers' seed corpus into two folders: small bitmaps of every kind
// the reader accepts, and broken variants of them (cut short, lying headers).
//   make_fuzz_seeds READER_DIR CONVERSION_DIR
// Conversion seeds carry the two leading control bytes of that target.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void save(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4 && at + static_cast<std::size_t>(i) < b.size(); ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds READER_DIR CONVERSION_DIR\n");
    return 64;
  }
  const std::string reader_dir = argv[1], conversion_dir = argv[2];
  std::vector<vp::InkImage> images = {vp::generate_drawing(37, 23, 1), vp::random_image(9, 5, 2, 0.5)};
  vp::InkImage dot(1, 1);
  dot.set(0, 0);
  images.push_back(dot);

  std::vector<vp::BmpWriteOptions> kinds(9);
  kinds[1].black_first = true;
  kinds[2].bits_per_pixel = 8;
  kinds[3].bits_per_pixel = 8, kinds[3].rle8 = true;
  kinds[4].bits_per_pixel = 24;
  kinds[5].bits_per_pixel = 24, kinds[5].top_down = true;
  kinds[6].header = vp::BmpHeaderKind::Core;
  kinds[7].header = vp::BmpHeaderKind::V5, kinds[7].bits_per_pixel = 8;
  kinds[8].top_down = true;

  int n = 0;
  for (const vp::InkImage& image : images) {
    for (const vp::BmpWriteOptions& kind : kinds) {
      const Bytes good = vp::encode_bmp(image, kind);
      std::vector<Bytes> variants = {good};
      Bytes cut = good;
      cut.resize(good.size() * 2 / 3);
      variants.push_back(cut);
      Bytes wide = good;
      put32(wide, 18, 0x7FFFFFF0u);
      variants.push_back(wide);
      Bytes offset = good;
      put32(offset, 10, static_cast<std::uint32_t>(good.size() + 100));
      variants.push_back(offset);
      for (const Bytes& v : variants) {
        const std::string name = "seed" + std::to_string(n++) + ".bmp";
        save(reader_dir + "/" + name, v);
        Bytes prefixed = {static_cast<std::uint8_t>(n % 4), 0};
        prefixed.insert(prefixed.end(), v.begin(), v.end());
        save(conversion_dir + "/" + name, prefixed);
      }
    }
  }
  std::printf("%d seeds\n", n);
  return 0;
}
