// The small dialog that asks which page of a file of several (a PDF, a
// multi-page TIFF) to convert, before the conversion starts.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QSpinBox>

namespace vp::gui {

class PageDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PageDialog(QWidget* parent = nullptr);

  // Says how many pages there are and offers page 1 of them.
  void setPageCount(int pages);
  int page() const { return page_spin_->value(); }  // from 1

 private:
  QLabel* count_label_;
  QSpinBox* page_spin_;
};

// "3ページ目": how the status bar and the outcome's tooltip name a page.
QString pageText(int page);

}  // namespace vp::gui
