// The scale calculator (TForm3, "倍率計算"): the magnification that turns pixels
// of a scan into millimetres of the real object, from the drawing's scale 1/N
// and the scan resolution: N ÷ dpi × 25.4.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <optional>

namespace vp::gui {

// The result label's text for the two boxes (see scale_result_text), or
// nothing when it cannot be computed: the label then keeps its text.
std::optional<QString> scaleResultText(const QString& scale, const QString& dpi);

class ScaleCalculatorDialog : public QDialog {
  Q_OBJECT

 public:
  // FormCreate: the boxes are filled from SCALE and DPI, in that order, each
  // fill recomputing the result.
  ScaleCalculatorDialog(const QString& scale, const QString& dpi, QWidget* parent = nullptr);

  // After OK: the result label's text for the magnification box, and the two
  // inputs for SCALE and DPI.
  QString resultText() const { return Label1->text(); }
  QString scaleText() const { return Edit1->text(); }
  QString dpiText() const { return Edit2->text(); }

 public slots:
  void Edit1Change();
  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QLabel* Label1;
};

}  // namespace vp::gui
