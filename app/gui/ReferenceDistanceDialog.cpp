#include "app/gui/ReferenceDistanceDialog.h"

#include "app/gui/PreviewModel.h"
#include "dialogs/FormSupport.h"

namespace vp::gui {

ReferenceDistanceDialog::ReferenceDistanceDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm8"));
  setWindowTitle(QStringLiteral("ほんとうの長さ"));
  makeFixedWindow(this, 240, 112, true);  // closing cancels

  Label2 = place(new QLabel(this), "Label2", 8, 10, 224, 16);
  makeLabel(this, "Label1", QStringLiteral("ほんとうの長さ"), 8, 42);
  Edit1 = place(new QLineEdit(this), "Edit1", 100, 38, 100, 20);
  makeLabel(this, "Label3", QStringLiteral("mm"), 206, 42);
  Button1 = makeButton(this, "Button1", QStringLiteral("OK"), QRect(72, 78, 75, 25));
  auto* cancel = makeButton(this, "Button2", QStringLiteral("中止"), QRect(157, 78, 75, 25));
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(Edit1, &QLineEdit::textChanged, this, &ReferenceDistanceDialog::Edit1Change);
  setTabOrder(Edit1, Button1);
  setTabOrder(Button1, cancel);
  Edit1Change();
}

void ReferenceDistanceDialog::setPoints(GridPoint a, GridPoint b) {
  Label2->setText(QStringLiteral("２点のあいだ：%1 ドット")
                      .arg(QString::fromStdString(fixedText(static_cast<double>(gridDistance(a, b)), 2))));
  Edit1->clear();
  Edit1->setFocus();
}

std::optional<float> ReferenceDistanceDialog::distance() const { return parseDistance(Edit1->text().toStdString()); }

void ReferenceDistanceDialog::Edit1Change() { Button1->setEnabled(distance().has_value()); }

}  // namespace vp::gui
