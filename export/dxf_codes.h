// DXF's group lines: a group code right-aligned in three characters, then its
// value on the next line, each line ending in CR LF. Writing them through these
// keeps every group's spacing the same, which the readers of such files count on.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace vp::dxf {

inline constexpr std::string_view kLineEnd = "\r\n";

inline char* put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// A number right-aligned in three characters and the line end: "  0", " 62".
// Codes and the small values written this way are 0..999.
inline char* put_right3(char* p, int value) {
  char digits[3] = {' ', ' ', ' '};
  int i = 2;
  do {
    digits[i--] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && i >= 0);
  p = put(p, std::string_view(digits, 3));
  return put(p, kLineEnd);
}

inline char* put_code(char* p, int code) { return put_right3(p, code); }

// A group whose value is a name.
inline char* put_group(char* p, int code, std::string_view value) {
  p = put_code(p, code);
  p = put(p, value);
  return put(p, kLineEnd);
}

// A group whose value is a small integer, right-aligned like the code.
inline char* put_group(char* p, int code, int value) { return put_right3(put_code(p, code), value); }

// A group whose value is a coordinate: three spaces, then the number as
// `write_number(p)` writes it (returning its length).
template <typename WriteNumber>
char* put_coordinate(char* p, int code, WriteNumber&& write_number) {
  p = put_code(p, code);
  p = put(p, "   ");
  p += write_number(p);
  return put(p, kLineEnd);
}

}  // namespace vp::dxf
