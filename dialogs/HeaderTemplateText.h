// The DXF header template as the settings dialog's box shows it.
//
// The template's lines are bytes, written back exactly as they came. The box
// shows them decoded: as UTF-8 when the whole template is UTF-8 (plain ASCII
// included), else as Shift-JIS when they decode as such, else byte for byte
// (Latin-1). The same encoding turns the box's text back into bytes, so an
// unchanged text gives back the same bytes; text the encoding cannot hold
// (Japanese typed into a Latin-1 template) makes the whole template UTF-8.
//
// Every line is followed by a line end in the box, and a line end at the very
// end of the text adds no empty line: the same rule as the template file.
#pragma once

#include <QString>

#include "export/dxf_header.h"

namespace vp::gui {

enum class HeaderEncoding { Utf8, ShiftJis, Latin1 };

HeaderEncoding detectHeaderEncoding(const DxfHeaderTemplate& header);
QString headerToText(const DxfHeaderTemplate& header, HeaderEncoding encoding);
// `used`, when given, receives the encoding the bytes were made in: `encoding`,
// or UTF-8 when the text does not fit it.
DxfHeaderTemplate headerFromText(const QString& text, HeaderEncoding encoding, HeaderEncoding* used = nullptr);

}  // namespace vp::gui
