// The few texts of Qt's file dialogs that Debian's Japanese catalogue lacks
// (the type column's "Folder"), installed after Qt's own translations.
#pragma once

#include <QTranslator>

namespace vp::gui {

class MissingQtTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* disambiguation = nullptr,
                    int n = -1) const override;
};

}  // namespace vp::gui
