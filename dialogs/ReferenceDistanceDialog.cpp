#include "dialogs/ReferenceDistanceDialog.h"

#include "core/scale.h"
#include "dialogs/FormSupport.h"

namespace vp::gui {

ReferenceDistanceDialog::ReferenceDistanceDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm8"));
  setWindowTitle(QStringLiteral("ほんとうの長さ"));
  makeFixedWindow(this, 240, 112, true);  // closing cancels

  points_label_ = place(new QLabel(this), "Label2", 8, 10, 224, 16);
  makeLabel(this, "Label1", QStringLiteral("ほんとうの長さ"), 8, 42);
  distance_edit_ = place(new QLineEdit(this), "Edit1", 100, 38, 100, 20);
  makeLabel(this, "Label3", QStringLiteral("mm"), 206, 42);
  ok_button_ = makeButton(this, "Button1", QStringLiteral("OK"), QRect(72, 78, 75, 25));
  auto* cancel = makeButton(this, "Button2", QStringLiteral("中止"), QRect(157, 78, 75, 25));
  ok_button_->setDefault(true);
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(distance_edit_, &QLineEdit::textChanged, this, &ReferenceDistanceDialog::updateOkEnabled);
  setTabOrder(distance_edit_, ok_button_);
  setTabOrder(ok_button_, cancel);
  updateOkEnabled();
}

void ReferenceDistanceDialog::setPoints(cad::Point a, cad::Point b) {
  points_label_->setText(QStringLiteral("２点のあいだ：%1 ドット")
                             .arg(QString::fromStdString(fixed_text(static_cast<double>(grid_distance(a, b)), 2))));
  distance_edit_->clear();
  distance_edit_->setFocus();
}

std::optional<float> ReferenceDistanceDialog::distance() const {
  return parse_distance(distance_edit_->text().toStdString());
}

void ReferenceDistanceDialog::updateOkEnabled() { ok_button_->setEnabled(distance().has_value()); }

}  // namespace vp::gui
