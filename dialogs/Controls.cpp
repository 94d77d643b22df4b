#include "dialogs/Controls.h"

#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

namespace vp::gui {

// --- RadioGroup ------------------------------------------------------------

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  const int top = 26;  // below the caption
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(QStringLiteral("Item%1").arg(i));
    button->move(10, top + i * 22);
    button->adjustSize();
    buttons_->addButton(button, i);
  }
}

int RadioGroup::itemIndex() const { return buttons_->checkedId(); }

int RadioGroup::count() const { return static_cast<int>(buttons_->buttons().size()); }

void RadioGroup::setItemIndex(int index) {
  if (count() == 0) return;
  if (index < 0) {
    // An exclusive group cannot be emptied while exclusive.
    buttons_->setExclusive(false);
    for (QAbstractButton* button : buttons_->buttons()) button->setChecked(false);
    buttons_->setExclusive(true);
    return;
  }
  buttons_->button(std::min(index, count() - 1))->setChecked(true);
}

// --- SpinEdit --------------------------------------------------------------

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setKeyboardTracking(false);
}

int SpinEdit::valueOfText(const QString& text, int minimum, int maximum, int not_a_number) {
  bool ok = false;
  const qlonglong number = text.trimmed().toLongLong(&ok);
  if (!ok) return not_a_number;
  if (number < minimum) return minimum;
  if (number > maximum) return maximum;
  return static_cast<int>(number);
}

int SpinEdit::currentValue() const { return valueOfText(lineEdit()->text(), minimum(), maximum(), notANumberValue()); }

void SpinEdit::setTypingAllowed(bool allowed) { lineEdit()->setReadOnly(!allowed); }

QValidator::State SpinEdit::validate(QString& input, int&) const {
  for (const QChar c : input) {
    if (!c.isDigit() && c != u'-' && c != u'+' && c != u' ') return QValidator::Invalid;
  }
  bool ok = false;
  const qlonglong number = input.trimmed().toLongLong(&ok);
  if (ok && number >= minimum() && number <= maximum()) return QValidator::Acceptable;
  return QValidator::Intermediate;
}

void SpinEdit::fixup(QString& input) const {
  input = QString::number(valueOfText(input, minimum(), maximum(), notANumberValue()));
}

int SpinEdit::valueFromText(const QString& text) const {
  return valueOfText(text, minimum(), maximum(), notANumberValue());
}

}  // namespace vp::gui
