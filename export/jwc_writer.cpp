#include "export/jwc_writer.h"

#include <cassert>
#include <cstring>

#include "export/cad_pieces.h"

namespace vp {

namespace {

// Puts numbers into a fixed span of bytes, least significant byte first.
class LittleEndianWriter {
 public:
  explicit LittleEndianWriter(std::span<unsigned char> bytes) : bytes_(bytes) {}

  void put_u8(std::uint8_t v) {
    assert(pos_ < bytes_.size());
    bytes_[pos_++] = v;
  }
  void put_u16(std::uint16_t v) {
    put_u8(static_cast<std::uint8_t>(v & 0xFF));
    put_u8(static_cast<std::uint8_t>(v >> 8));
  }
  void put_u32(std::uint32_t v) {
    put_u16(static_cast<std::uint16_t>(v & 0xFFFF));
    put_u16(static_cast<std::uint16_t>(v >> 16));
  }
  void put_f32(float v) { put_u32(std::bit_cast<std::uint32_t>(v)); }
  void fill(std::uint8_t v, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put_u8(v);
  }
  void put_text(std::string_view text) {
    for (char c : text) put_u8(static_cast<std::uint8_t>(c));
  }
  // A text block: the text, spaces up to 199 bytes, a line feed.
  void put_block(std::string_view text) {
    assert(text.size() < kBlockSize);
    put_text(text);
    fill(' ', kBlockSize - 1 - text.size());
    put_u8('\n');
  }

  std::size_t position() const { return pos_; }

  static constexpr std::size_t kBlockSize = 200;

 private:
  std::span<unsigned char> bytes_;
  std::size_t pos_ = 0;
};

// The 40-character identification: every dot is a full stop.
constexpr std::string_view kJwcIdentification = "jw_cad(c)data.......a...m...............";
static_assert(kJwcIdentification.size() == 40);
// The program's name in its 32-character field.
constexpr std::string_view kJwcProgramField = "Velorin 6.01                    ";
static_assert(kJwcProgramField.size() == 32);

constexpr std::uint16_t kJwcFixedTable[44] = {0,  1,  1,   2,  2,  3,  3,   4,  4,  5,  5,  20, 20, 25, 30,
                                              40, 50, 60,  70, 80, 90, 100, 20, 20, 25, 30, 40, 50, 60, 70,
                                              80, 90, 100, 0,  0,  0,  5,   5,  5,  10, 10, 10, 10, 10};

// The text of block 2: the record count and fixed values (one of them the 300
// that also appears in the divisor and after the fixed table), ended by a zero byte.
std::string jwc_block2(std::int64_t count) {
  std::string text = std::to_string(count);
  text += ",0,0,0,0,3,2,1,1,";
  text += "300";
  text += ",0,1,1,1,5,5,5,10,0,0,0,0,1,2,3,910,910,0,0,0,518,0";
  text.push_back('\0');
  return text;
}

constexpr std::string_view kJwcBlock3 =
    "0.5,0.0,3.0,15.0,1,1,0,0,0,1,0.0,0.0,0.0,0.0,0.0,0.0,0,0,0,1000.000,1000.000,100.000,"
    "200.000,300.000,500.000,0,-39,1";
constexpr std::string_view kJwcBlock4 = "5D6F:0000,5D6F:0000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,36,-23.45,0,0,-1,215,0";

bool write_bytes(std::ostream& out, const void* data, std::size_t size) {
  return static_cast<bool>(out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size)));
}

std::int32_t layer_of_class(SegmentClass layer, const JwcStyle& style) {
  switch (layer) {
    case SegmentClass::Horizontal:
      return style.horizontal_layer;
    case SegmentClass::Vertical:
      return style.vertical_layer;
    case SegmentClass::Oblique:
      return style.oblique_layer;
    case SegmentClass::Short:
      return style.short_layer;
    case SegmentClass::Plain:
      break;
  }
  return style.layer;
}

// One record's bytes from its four stored coordinates and its layer.
std::array<unsigned char, kJwcRecordSize> record_bytes(const std::array<float, 4>& xyxy, std::int32_t layer,
                                                       const JwcStyle& style) {
  std::array<unsigned char, kJwcRecordSize> bytes{};
  LittleEndianWriter w(bytes);
  for (const float c : xyxy) w.put_f32(c);
  // Unsigned arithmetic: out-of-range settings wrap instead of overflowing.
  const auto low8 = [](std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
  w.put_u8(low8(static_cast<std::uint32_t>(style.line_type) + 1u));
  w.put_u8(low8(static_cast<std::uint32_t>(style.colour) + 1u));
  w.put_u8(low8(static_cast<std::uint32_t>(style.group) * 16u + static_cast<std::uint32_t>(layer)));
  w.fill(0x00, 3);
  return bytes;
}

constexpr unsigned char kTail[kJwcTailSize] = {};

}  // namespace

float jwc_coordinate(std::int32_t c, float rate) {
  // The product is exact in the extended type; the quotient is rounded once
  // there and once more to the float.
  const long double value =
      static_cast<long double>(c) * static_cast<long double>(rate) / static_cast<long double>(JwcDivisor);
  return static_cast<float>(value);
}

float jwc_real_coordinate(double c, float rate) {
  const long double value =
      static_cast<long double>(c) * static_cast<long double>(rate) / static_cast<long double>(JwcDivisor);
  return static_cast<float>(value);
}

std::int32_t jwc_record_layer(const LineRecord& r, float rate, const JwcStyle& style) {
  return layer_of_class(classify_segment(r, rate, style.layers), style);
}

std::string jwc_header(std::int64_t count) {
  std::string header(kJwcHeaderSize, '\0');
  LittleEndianWriter w({reinterpret_cast<unsigned char*>(header.data()), header.size()});
  std::string block1(kJwcIdentification);
  block1 += kJwcProgramField;
  block1.append(32, ' ');
  w.put_block(block1);
  w.put_block(jwc_block2(count));
  w.put_block(std::string(kJwcBlock3) + '\0');
  w.put_block(std::string(kJwcBlock4) + '\0');
  w.fill(0x00, 909);
  for (const std::uint16_t v : kJwcFixedTable) w.put_u16(v);
  for (int i = 0; i < 16; ++i) w.put_u16(300);
  w.fill(0x01, 544);
  for (int k = 0; k < 16; ++k) w.put_u8(static_cast<std::uint8_t>(k * 16));
  assert(w.position() == kJwcHeaderSize);
  return header;
}

std::array<unsigned char, kJwcRecordSize> jwc_record(const LineRecord& r, float rate, const JwcStyle& style) {
  return record_bytes(
      {jwc_coordinate(r.x1, rate), jwc_coordinate(r.y1, rate), jwc_coordinate(r.x2, rate), jwc_coordinate(r.y2, rate)},
      jwc_record_layer(r, rate, style), style);
}

bool write_jwc(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress) {
  const auto count = static_cast<std::int64_t>(records.size());
  const std::string header = jwc_header(count);
  if (!write_bytes(out, header.data(), header.size())) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    const auto record = jwc_record(records[static_cast<std::size_t>(i)], rate, options.jwc);
    if (!write_bytes(out, record.data(), record.size())) return false;
    if (!progress.report(Phase::Save, i + 1, count)) return false;
  }
  return write_bytes(out, kTail, sizeof kTail);
}

bool write_jwc_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress) {
  const std::string header = jwc_header(cad_piece_count(drawing));
  if (!write_bytes(out, header.data(), header.size())) return false;
  const JwcStyle& style = options.jwc;
  const auto write_piece = [&](const cad::Line& piece, SegmentClass layer) {
    const auto record = record_bytes({jwc_real_coordinate(piece.a.x, rate), jwc_real_coordinate(piece.a.y, rate),
                                      jwc_real_coordinate(piece.b.x, rate), jwc_real_coordinate(piece.b.y, rate)},
                                     layer_of_class(layer, style), style);
    return write_bytes(out, record.data(), record.size());
  };
  if (!for_each_cad_piece(drawing, rate, style.layers, write_piece, progress)) return false;
  return write_bytes(out, kTail, sizeof kTail);
}

}  // namespace vp
