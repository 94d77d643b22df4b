#include "dialogs/DxfHeaderModel.h"

namespace vp::gui {

void DxfHeaderModel::setHeader(const DxfHeaderTemplate& header) {
  header_ = header;
  encoding_ = detectHeaderEncoding(header_);
}

void DxfHeaderModel::setText(const QString& text) { header_ = headerFromText(text, encoding_, &encoding_); }

DxfHeaderLoadResult DxfHeaderModel::load() {
  DxfHeaderTemplate loaded;
  const DxfHeaderLoadResult result = reload_dxf_header(path(), loaded);
  if (result.outcome == DxfHeaderLoad::Loaded) {
    setHeader(loaded);
  } else {
    header_ = DxfHeaderTemplate();
  }
  return result;
}

}  // namespace vp::gui
