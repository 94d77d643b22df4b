// Controls that behave as the program's forms expect, where Qt's own differ.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QSpinBox>
#include <QStringList>

#include <optional>

namespace vp::gui {

// A framed group of radio buttons edited as one index, counted from 0.
// setItemIndex shows the last item for a too-large index and none for a
// negative one; itemIndex() is -1 while none is chosen.
class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  int itemIndex() const;
  void setItemIndex(int index);
  int count() const;

 private:
  QButtonGroup* buttons_;
};

// A spin box whose text is the truth: value() reads the text as a whole number,
// and a text that is not one reads as the minimum (or the value set by
// setNotANumberValue, for a box without bounds). Out-of-range numbers are
// brought into the range when the box loses the focus, when it is set, and when
// it is read. Only digits and signs can be typed.
class SpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  // The value of the text as it stands, even while it is being typed.
  int currentValue() const;
  // What a text reads as: the whole number, clamped, or the minimum.
  static int valueOfText(const QString& text, int minimum, int maximum, int not_a_number);
  void setNotANumberValue(int value) { not_a_number_ = value; }

  // Arrows only: the text cannot be typed into.
  void setTypingAllowed(bool allowed);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  int valueFromText(const QString& text) const override;

 private:
  int notANumberValue() const { return not_a_number_.value_or(minimum()); }
  std::optional<int> not_a_number_;
};

}  // namespace vp::gui
