#include "core/export_settings.h"

#include "export/text_writer.h"

namespace vp {

ExportOptions export_options(const ConversionSettings& s, std::string_view dxf_header) {
  ExportOptions o;
  o.text_delimiter = text_delimiter(s.ZahyouDiv);
  o.text_decimals = DecimalDigits(s.ZahyouReal);
  o.dxf_decimals = DecimalDigits(s.DxfReal);
  o.dxf_layers = {flag_on(s.DxfOption2), flag_on(s.DxfOption1), s.DxfOption1_Len};
  o.dxf_header = dxf_header;
  o.jwc.group = s.JwcGroupe;
  o.jwc.colour = s.JwcColor;
  o.jwc.line_type = s.JwcType;
  o.jwc.layer = s.JwcLayer;
  o.jwc.layers = {flag_on(s.JwcOption2), flag_on(s.JwcOption1), s.JwcOption1_Len};
  o.jwc.horizontal_layer = s.JwcOption2_X;
  o.jwc.vertical_layer = s.JwcOption2_Y;
  o.jwc.oblique_layer = s.JwcOption2_R;
  o.jwc.short_layer = s.JwcOption1_Lay;
  return o;
}

}  // namespace vp
