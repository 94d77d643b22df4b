// A small jw_cad (.jwc) reader for the tests: takes a written file apart field
// by field, checks every fixed area against the format, and hands back the
// texts and the segment records. Written from the format's description, apart
// from the writer: bytes are decoded one by one, least significant first.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace vp::testing {

struct JwcRecordFields {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int type = 0;   // byte 16
  int color = 0;  // byte 17
  int group = 0;  // high four bits of byte 18
  int layer = 0;  // low four bits of byte 18
};

struct JwcFileFields {
  // Each block's text without its padding: block 1 up to its trailing spaces,
  // blocks 2 to 4 up to their zero byte.
  std::array<std::string, 4> texts;
  std::vector<JwcRecordFields> records;
};

// Empty when the file is well formed (`out` then holds its fields); otherwise
// what is wrong, first difference first.
inline std::string read_jwc(const std::string& bytes, JwcFileFields& out) {
  auto u8 = [&](std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); };
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8)); };
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
  };
  auto where = [](std::size_t at) { return " at offset " + std::to_string(at); };

  if (bytes.size() < 4693 || (bytes.size() - 4693) % 22 != 0) {
    return "size " + std::to_string(bytes.size()) + " is not 4693 + 22 n";
  }
  const std::size_t n = (bytes.size() - 4693) / 22;

  for (std::size_t b = 0; b < 4; ++b) {
    const std::size_t start = 200 * b;
    if (bytes[start + 199] != '\n') return "block " + std::to_string(b + 1) + " does not end in a line feed";
    std::size_t end = start + 199;
    while (end > start && bytes[end - 1] == ' ') --end;
    std::string text = bytes.substr(start, end - start);
    if (b > 0) {
      if (text.empty() || text.back() != '\0') return "block " + std::to_string(b + 1) + " has no zero byte";
      text.pop_back();
    }
    if (text.find('\0') != std::string::npos || text.find('\n') != std::string::npos) {
      return "block " + std::to_string(b + 1) + " holds a stray zero or line feed";
    }
    out.texts[b] = text;
  }
  const std::string count = std::to_string(n) + ",";
  if (out.texts[1].compare(0, count.size(), count) != 0) return "block 2 does not begin with the count " + count;

  for (std::size_t at = 800; at < 1709; ++at) {
    if (u8(at) != 0) return "non-zero byte" + where(at);
  }
  static constexpr std::uint16_t kTable[44] = {0,  1,  1,   2,  2,  3,  3,   4,  4,  5,  5,  20, 20, 25, 30,
                                               40, 50, 60,  70, 80, 90, 100, 20, 20, 25, 30, 40, 50, 60, 70,
                                               80, 90, 100, 0,  0,  0,  5,   5,  5,  10, 10, 10, 10, 10};
  for (std::size_t i = 0; i < 44; ++i) {
    if (u16(1709 + 2 * i) != kTable[i]) return "fixed table value " + std::to_string(i) + where(1709 + 2 * i);
  }
  for (std::size_t i = 0; i < 16; ++i) {
    if (u16(1797 + 2 * i) != 300) return "not 300" + where(1797 + 2 * i);
  }
  for (std::size_t at = 1829; at < 2373; ++at) {
    if (u8(at) != 1) return "not 0x01" + where(at);
  }
  for (std::size_t k = 0; k < 16; ++k) {
    if (u8(2373 + k) != k * 16) return "not k x 16" + where(2373 + k);
  }
  out.records.clear();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t at = 2389 + 22 * i;
    JwcRecordFields r;
    r.x1 = std::bit_cast<float>(u32(at));
    r.y1 = std::bit_cast<float>(u32(at + 4));
    r.x2 = std::bit_cast<float>(u32(at + 8));
    r.y2 = std::bit_cast<float>(u32(at + 12));
    r.type = u8(at + 16);
    r.color = u8(at + 17);
    r.group = u8(at + 18) >> 4;
    r.layer = u8(at + 18) & 0x0F;
    for (std::size_t k = 19; k < 22; ++k) {
      if (u8(at + k) != 0) return "record padding not zero" + where(at + k);
    }
    out.records.push_back(r);
  }
  for (std::size_t at = 2389 + 22 * n; at < bytes.size(); ++at) {
    if (u8(at) != 0) return "tail not zero" + where(at);
  }
  return "";
}

}  // namespace vp::testing
