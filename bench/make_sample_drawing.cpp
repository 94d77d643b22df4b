// Writes a synthetic scanned drawing as a bitmap file, for trying the converter:
//   make_sample_drawing OUTPUT.bmp [--width W] [--height H] [--seed S] [--bits 1|8|24] [--dpi D]
// The default is a 1-bit drawing of 827 x 1169 pixels: an A4 sheet at 100 dpi.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace {

int usage() {
  std::fputs("usage: make_sample_drawing OUTPUT.bmp [--width W] [--height H] [--seed S] [--bits 1|8|24] [--dpi D]\n",
             stderr);
  return 2;
}

bool parse_number(const char* text, long long lo, long long hi, long long& value) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  long long width = 827, height = 1169, seed = 1, bits = 1, dpi = 100;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    long long* target = nullptr;
    long long lo = 1, hi = 65535;
    if (arg == "--width") {
      target = &width;
    } else if (arg == "--height") {
      target = &height;
    } else if (arg == "--seed") {
      target = &seed;
      lo = 0;
      hi = UINT32_MAX;
    } else if (arg == "--bits") {
      target = &bits;
      hi = 24;
    } else if (arg == "--dpi") {
      target = &dpi;
    } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
      output = arg;
      continue;
    } else {
      return usage();
    }
    if (i + 1 >= argc || !parse_number(argv[++i], lo, hi, *target)) return usage();
  }
  if (output.empty() || (bits != 1 && bits != 8 && bits != 24)) return usage();

  const vp::InkImage drawing = vp::generate_drawing(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                                                    static_cast<std::uint32_t>(seed));
  vp::BmpWriteOptions options;
  options.bits_per_pixel = static_cast<int>(bits);
  options.dpi = static_cast<double>(dpi);
  if (!vp::write_bmp_file(output, drawing, options)) {
    std::fprintf(stderr, "make_sample_drawing: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("%s: %lld x %lld, %lld-bit, %.1f%% ink\n", output.c_str(), width, height, bits,
              100.0 * drawing.coverage());
  return 0;
}
