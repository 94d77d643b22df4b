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
  // The boxes are filled from SCALE and DPI, in that order, each
  // fill recomputing the result.
  ScaleCalculatorDialog(const QString& scale, const QString& dpi, QWidget* parent = nullptr);

  // After OK: the result label's text for the magnification box, and the two
  // inputs for SCALE and DPI.
  QString resultText() const { return result_label_->text(); }
  QString scaleText() const { return scale_edit_->text(); }
  QString dpiText() const { return dpi_edit_->text(); }

 public slots:
  void recompute();
  void okClicked();
  void cancelClicked();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* scale_edit_;
  QLineEdit* dpi_edit_;
  QLabel* result_label_;
};

}  // namespace vp::gui
