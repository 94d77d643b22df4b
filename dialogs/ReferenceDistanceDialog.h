// The small dialog of the two-point scale (TForm8, "ほんとうの長さ"): the user
// has picked two segment ends (of a fitted drawing: line or arc ends, arc or
// circle centres) in the preview and types how far apart they are on the real
// object, in millimetres.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "cad/cad_drawing.h"

namespace vp::gui {

class ReferenceDistanceDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReferenceDistanceDialog(QWidget* parent = nullptr);

  // Shows how far apart the two points are in pixels and empties the box.
  void setPoints(cad::Point a, cad::Point b);
  // The typed distance, when it is a number greater than 0.
  std::optional<float> distance() const;
  QString distanceText() const { return distance_edit_->text(); }

 public slots:
  void updateOkEnabled();  // OK only for a distance that can be used

 private:
  QLabel* points_label_;
  QLineEdit* distance_edit_;
  QPushButton* ok_button_;
};

}  // namespace vp::gui
