// The version dialog (TForm6, "ばーじょんじょうほう"): the product line, the
// version number, a one-line notice and four bananas with their tool tips.
#pragma once

#include <QDialog>

namespace vp::gui {

class VersionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit VersionDialog(QWidget* parent = nullptr);

 public slots:
  void closeClicked();
};

}  // namespace vp::gui
