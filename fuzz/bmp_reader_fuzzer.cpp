// Any byte string as a bitmap file: the reader must answer Ok, Unreadable or
// Unsupported without crashing, and what it delivers must be a well-formed image.
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imageio/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vp;
  const std::string& path = fuzz::write_input(data, size);
  BmpReader reader;
  if (reader.open(path) != BmpStatus::Ok) return 0;
  const BmpInfo& info = reader.info();
  fuzz::check(info.width > 0 && info.height > 0, "positive size");
  fuzz::check(info.width <= std::numeric_limits<std::int32_t>::max() - 2 &&
                  info.height <= std::numeric_limits<std::int32_t>::max() - 2,
              "grid dimensions fit");
  fuzz::check(info.bits_per_pixel == 1 || info.bits_per_pixel == 8 || info.bits_per_pixel == 24, "depth");
  fuzz::check(
      info.bits_per_pixel == 24 ? info.ink_index == -1 : info.ink_index >= 0 && info.ink_index < info.palette_entries,
      "ink index inside the palette");
  if (std::int64_t{info.width} * info.height > fuzz::kMaxDecodedPixels) return 0;

  const std::size_t words = (static_cast<std::size_t>(info.width) + 63) / 64;
  std::vector<bool> seen(static_cast<std::size_t>(info.height), false);
  std::int64_t rows = 0;
  const BmpStatus read = reader.read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    fuzz::check(r >= 0 && r < info.height, "row inside the image");
    fuzz::check(!seen[static_cast<std::size_t>(r)], "each row once");
    seen[static_cast<std::size_t>(r)] = true;
    fuzz::check(ink.size() == words, "row length");
    if (info.width % 64 != 0) fuzz::check((ink[words - 1] >> (info.width % 64)) == 0, "nothing beyond the width");
    ++rows;
    return true;
  });
  // open() has checked the file: reading it cannot fail, and every row arrives.
  fuzz::check(read == BmpStatus::Ok, "read after a successful open");
  fuzz::check(rows == info.height, "every row delivered");
  return 0;
}
