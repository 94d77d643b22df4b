#include "dialogs/PageDialog.h"

#include <QPushButton>

#include "dialogs/FormSupport.h"

namespace vp::gui {

PageDialog::PageDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PageDialog"));
  setWindowTitle(QStringLiteral("どのページ？"));
  makeFixedWindow(this, 240, 112, true);  // closing cancels

  count_label_ = place(new QLabel(this), "PageCountLabel", 8, 10, 224, 16);
  makeLabel(this, "PageLabel", QStringLiteral("このページにする："), 8, 42);
  page_spin_ = place(new QSpinBox(this), "PageSpin", 120, 38, 70, 20);
  makeLabel(this, "PageSuffix", QStringLiteral("ページ目"), 196, 42);
  auto* ok = makeButton(this, "PageOk", QStringLiteral("OK"), QRect(72, 78, 75, 25));
  auto* cancel = makeButton(this, "PageCancel", QStringLiteral("中止"), QRect(157, 78, 75, 25));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setTabOrder(page_spin_, ok);
  setTabOrder(ok, cancel);
}

void PageDialog::setPageCount(int pages) {
  count_label_->setText(QStringLiteral("このファイルは %1 ページあるよ。どれにする？").arg(pages));
  page_spin_->setRange(1, pages);
  page_spin_->setValue(1);
  page_spin_->setFocus();
  page_spin_->selectAll();
}

QString pageText(int page) { return QStringLiteral("%1ページ目").arg(page); }

}  // namespace vp::gui
