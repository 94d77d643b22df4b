#include "app/gui/MissingQtTexts.h"

#include <cstring>

namespace vp::gui {

QString MissingQtTexts::translate(const char* context, const char* source, const char*, int) const {
  struct Text {
    const char* context;
    const char* source;
    const char* japanese;
  };
  // What the file icon provider names in the type column.
  static constexpr Text kTexts[] = {{"QAbstractFileIconProvider", "Folder", "フォルダー"},
                                    {"QAbstractFileIconProvider", "File Folder", "ファイル フォルダー"},
                                    {"QAbstractFileIconProvider", "Drive", "ドライブ"},
                                    {"QAbstractFileIconProvider", "File", "ファイル"}};
  if (context == nullptr || source == nullptr) return {};
  for (const Text& text : kTexts) {
    if (std::strcmp(context, text.context) == 0 && std::strcmp(source, text.source) == 0) {
      return QString::fromUtf8(text.japanese);
    }
  }
  return {};
}

}  // namespace vp::gui
