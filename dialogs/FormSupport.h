// What every window of the desktop program shares: the interface font, fixed
// borders, centring on the screen, and controls placed at fixed pixel positions
// of the client area, each with the object name it is known by.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>

namespace vp::gui {

// The interface font: "ＭＳ Ｐゴシック" at 12 pixels where it is installed, else
// the first installed Japanese gothic, so that every Japanese text renders.
QFont interfaceFont();
// The family interfaceFont() picked, for the screenshot script's log and the tests.
QString interfaceFontFamily();

// The application's title, the caption of plain message boxes.
QString applicationTitle();

// A fixed-size window: the client area is exactly `width` × `height`, nothing
// resizes it, and the title bar has no maximise box. `closeBox` false also
// removes the system menu and the close box (the dialogs' border).
void makeFixedWindow(QWidget* window, int width, int height, bool closeBox);

// left := (screen width − window width) ÷ 2, top := (screen height − window height) ÷ 2.
void centreOnScreen(QWidget* window);

// A control at (left, top) with the given size, named `name`.
template <typename Control>
Control* place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// A label at (left, top), as large as its text needs.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top);
// A label of fixed size whose text wraps inside it.
QLabel* makeWrappedLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
// A label whose right edge stays at `right` whatever its text (numbers).
QLabel* makeRightAlignedLabel(QWidget* parent, const char* name, const QString& text, int right,
                              int top, int width);
QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

// Draws `label`'s text in red.
void makeRed(QLabel* label);

}  // namespace vp::gui
