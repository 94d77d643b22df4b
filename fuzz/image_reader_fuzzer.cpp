// Any byte string as a TIFF, PNG, JPEG or PBM file (or a bitmap): whichever reader the
// leading bytes choose must answer without crashing, without printing, and what
// it delivers must be a well-formed image.
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imageio/image_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vp;
  const std::string& path = fuzz::write_input(data, size);
  OpenedImage opened = open_any_image(path);
  if (opened.status != ImageStatus::Ok) return 0;
  fuzz::check(opened.reader != nullptr, "a reader after Ok");
  const ImageInfo& info = opened.reader->info();
  fuzz::check(info.width > 0 && info.height > 0, "positive size");
  fuzz::check(info.width <= std::numeric_limits<std::int32_t>::max() - 2 &&
                  info.height <= std::numeric_limits<std::int32_t>::max() - 2,
              "grid dimensions fit");
  if (std::int64_t{info.width} * info.height > fuzz::kMaxDecodedPixels) return 0;

  const std::size_t words = (static_cast<std::size_t>(info.width) + 63) / 64;
  std::vector<bool> seen(static_cast<std::size_t>(info.height), false);
  opened.reader->read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    fuzz::check(r >= 0 && r < info.height, "row inside the image");
    fuzz::check(!seen[static_cast<std::size_t>(r)], "each row once");
    seen[static_cast<std::size_t>(r)] = true;
    fuzz::check(ink.size() == words, "row length");
    if (info.width % 64 != 0) fuzz::check((ink[words - 1] >> (info.width % 64)) == 0, "nothing beyond the width");
    return true;
  });
  // A damaged compressed stream may end the reading early (Unreadable); either way
  // no row came twice or out of place.
  if (!opened.reader->has_grey_levels()) return 0;
  std::int32_t next = 0;
  bool downwards = true;
  opened.reader->read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> grey) {
    if (next == 0) downwards = r == 0;
    fuzz::check(r == (downwards ? next : info.height - 1 - next), "grey rows in sequence");
    ++next;
    fuzz::check(grey.size() == static_cast<std::size_t>(info.width), "grey row length");
    return true;
  });
  return 0;
}
