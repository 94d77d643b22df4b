#include "dialogs/ScaleCalculatorDialog.h"

#include <QFrame>
#include <QPushButton>

#include "core/scale.h"
#include "dialogs/FormSupport.h"

namespace vp::gui {

std::optional<QString> scaleResultText(const QString& scale, const QString& dpi) {
  const std::optional<std::string> text = scale_result_text(scale.toStdString(), dpi.toStdString());
  if (!text) return std::nullopt;
  return QString::fromStdString(*text);
}

ScaleCalculatorDialog::ScaleCalculatorDialog(const QString& scale, const QString& dpi, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("倍率計算"));
  makeFixedWindow(this, 266, 166, true);  // closing is 中止

  makeWrappedLabel(this, "Label2", QStringLiteral("スキャナで詠み込んだ図面のスケール"), QRect(8, 16, 103, 24));
  makeLabel(this, "Label5", QStringLiteral("1/"), 144, 20);
  scale_edit_ = place(new QLineEdit(QStringLiteral("100"), this), "Edit1", 160, 16, 65, 20);
  makeWrappedLabel(this, "Label3", QStringLiteral("スキャナの読みとり解像度"), QRect(8, 56, 98, 24));
  dpi_edit_ = place(new QLineEdit(QStringLiteral("100"), this), "Edit2", 160, 56, 65, 20);
  makeLabel(this, "Label6", QStringLiteral("dpi"), 232, 60);

  auto* bevel = place(new QFrame(this), "Bevel1", 8, 96, 249, 9);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);

  makeLabel(this, "Label4", QStringLiteral("倍　率"), 8, 112);
  result_label_ = makeRightAlignedLabel(this, "Label1", QStringLiteral("Label1"), 225, 112);

  auto* ok = makeButton(this, "Button1", QStringLiteral("OK"), QRect(96, 136, 75, 25));
  auto* cancel = makeButton(this, "Button2", QStringLiteral("中止"), QRect(184, 136, 75, 25));
  connect(ok, &QPushButton::clicked, this, &ScaleCalculatorDialog::okClicked);
  connect(cancel, &QPushButton::clicked, this, &ScaleCalculatorDialog::cancelClicked);
  connect(scale_edit_, &QLineEdit::textChanged, this, &ScaleCalculatorDialog::recompute);
  connect(dpi_edit_, &QLineEdit::textChanged, this, &ScaleCalculatorDialog::recompute);
  setTabOrder(scale_edit_, dpi_edit_);
  setTabOrder(dpi_edit_, ok);
  setTabOrder(ok, cancel);

  // The scale first: while it recomputes, the resolution box still holds "100".
  centreOnScreen(this);
  keepPlace(this);
  scale_edit_->setText(scale);
  dpi_edit_->setText(dpi);
}

void ScaleCalculatorDialog::recompute() {
  if (const std::optional<QString> result = scaleResultText(scale_edit_->text(), dpi_edit_->text())) {
    setLabelText(result_label_, *result);
  }
}

void ScaleCalculatorDialog::showEvent(QShowEvent* event) {
  recompute();  // the boxes may have been edited since the last showing
  QDialog::showEvent(event);
}

void ScaleCalculatorDialog::okClicked() { accept(); }

void ScaleCalculatorDialog::cancelClicked() { reject(); }

}  // namespace vp::gui
