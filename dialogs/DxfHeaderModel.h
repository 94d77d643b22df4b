// The DXF header template in hand: the lines every DXF file starts with, and
// the places its file DXFHED.TXT is looked for. The main window owns it; the
// settings dialog shows its text for editing and hands the edit back on OK;
// the DXF save starts from it.
//
// It is empty until the file is first read, by the settings dialog or by a
// DXF save (which rereads the file before each save when it is there).
#pragma once

#include <QString>

#include <filesystem>
#include <utility>

#include "dialogs/HeaderTemplateText.h"
#include "export/dxf_header.h"

namespace vp::gui {

class DxfHeaderModel {
 public:
  explicit DxfHeaderModel(DxfHeaderPlaces places) : places_(std::move(places)) {}
  // A single template file, read and written in place.
  explicit DxfHeaderModel(std::filesystem::path path) : DxfHeaderModel(DxfHeaderPlaces{std::move(path), {}}) {}

  const DxfHeaderTemplate& header() const { return header_; }
  // New lines, as a save reread them: their text is shown in their own encoding.
  void setHeader(const DxfHeaderTemplate& header);

  // The lines as an editor shows them, and an edited text back into lines,
  // in the encoding the lines came in (see HeaderTemplateText.h).
  QString text() const { return headerToText(header_, encoding_); }
  void setText(const QString& text);

  // The template file in use: the first of the places where one is.
  std::filesystem::path path() const { return find_dxf_header(places_); }

  // Reads the file in use afresh: its lines when it could be read, else none.
  DxfHeaderLoadResult load();
  // Writes the lines over the file in use, or to the user's own copy when that
  // one may not be written.
  DxfHeaderSaveResult save() const { return save_dxf_header(places_, header_); }

 private:
  DxfHeaderPlaces places_;
  DxfHeaderTemplate header_;
  // Kept when the file goes missing: what is typed next is written as the
  // template was before.
  HeaderEncoding encoding_ = HeaderEncoding::Utf8;
};

}  // namespace vp::gui
