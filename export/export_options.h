// What the writers are told, as plain numbers and switches. The front ends build
// it once per save, from the stored settings (core/export_settings.h) or from the
// converter's arguments, so no writer sees how a setting is stored.
#pragma once

#include <cstdint>
#include <string_view>

#include "export/export_rules.h"

namespace vp {

// jw_cad lines: the group, colour and line type of every line, and its layer.
struct JwcStyle {
  std::int32_t group = 0;      // 0..15
  std::int32_t colour = 0;     // 0..5: 水 白 緑 黄 紫 青
  std::int32_t line_type = 0;  // 0..8: 実線 ... 補助線
  std::int32_t layer = 0;      // when neither the split nor the short-line layer applies
  SegmentOptions layers;       // split and short-line switches, and the short limit
  std::int32_t horizontal_layer = 1;
  std::int32_t vertical_layer = 2;
  std::int32_t oblique_layer = 3;
  std::int32_t short_layer = 15;

  friend bool operator==(const JwcStyle&, const JwcStyle&) = default;
};

struct ExportOptions {
  // Coordinate text.
  char text_delimiter = ' ';
  int text_decimals = 4;
  // DXF, and SVG, which draws the DXF file's numbers and layers.
  int dxf_decimals = 4;
  SegmentOptions dxf_layers;
  // The DXF header template's bytes, written first. Not owned: the template
  // outlives the save.
  std::string_view dxf_header;
  JwcStyle jwc;

  friend bool operator==(const ExportOptions&, const ExportOptions&) = default;
};

}  // namespace vp
