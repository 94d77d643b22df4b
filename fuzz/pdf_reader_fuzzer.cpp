// Any byte string as a PDF: every page (at most a few) opens or is refused
// without crashing, printing or running away, and what a page delivers is a
// well-formed image. Pages that must be rendered are rendered at the lowest resolution.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imageio/image_formats.h"

namespace {

constexpr int kMaxPages = 3;
constexpr int kRenderDpi = 50;

void check_page(vp::ImageReader& reader) {
  using namespace vp;
  const ImageInfo& info = reader.info();
  fuzz::check(info.width > 0 && info.height > 0, "positive size");
  if (std::int64_t{info.width} * info.height > fuzz::kMaxDecodedPixels) return;
  const std::size_t words = (static_cast<std::size_t>(info.width) + 63) / 64;
  std::vector<bool> seen(static_cast<std::size_t>(info.height), false);
  reader.read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    fuzz::check(r >= 0 && r < info.height, "row inside the image");
    fuzz::check(!seen[static_cast<std::size_t>(r)], "each row once");
    seen[static_cast<std::size_t>(r)] = true;
    fuzz::check(ink.size() == words, "row length");
    if (info.width % 64 != 0) fuzz::check((ink[words - 1] >> (info.width % 64)) == 0, "nothing beyond the width");
    return true;
  });
  if (!reader.has_grey_levels()) return;
  std::int32_t next = 0;
  reader.read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> grey) {
    fuzz::check(r == next++, "grey rows top first, in sequence");
    fuzz::check(grey.size() == static_cast<std::size_t>(info.width), "grey row length");
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vp;
  const std::string& path = fuzz::write_input(data, size);
  if (sniff_image_file(path) != ImageFileType::Pdf) return 0;
  int pages = 1;
  for (int index = 0; index < pages && index < kMaxPages; ++index) {
    OpenedImage opened = open_any_image(path, {index, kRenderDpi});
    if (opened.reader) pages = opened.reader->page_count();
    if (opened.status == ImageStatus::Ok) check_page(*opened.reader);
  }
  return 0;
}
