#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace vp::fuzz {

const std::string& write_input(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    const std::filesystem::path folder = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                             : std::filesystem::temp_directory_path();
    return (folder / ("vp-fuzz-" + std::to_string(std::random_device{}()) + ".bmp")).string();
  }();
  static const bool cleanup_registered = [] {
    std::atexit([] { std::remove(path.c_str()); });
    return true;
  }();
  (void)cleanup_registered;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) fail("cannot write the scratch file");
  return path;
}

void fail(const char* what) {
  std::fprintf(stderr, "invariant failed: %s\n", what);
  std::abort();
}

}  // namespace vp::fuzz
