// File names as UTF-8 text. On Windows a path holds UTF-16 and its narrow forms
// (path(std::string), path.string()) go through the ANSI code page, which cannot
// hold every name (図面.bmp on a Western system) and throws on the rest; these
// two go through UTF-8 on every system. On Linux both copy the bytes unchanged,
// so names that are not UTF-8 survive too.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vp {

inline std::filesystem::path path_from_utf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string path_to_utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace vp
