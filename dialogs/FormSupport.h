// What every window of the desktop program shares: the interface font, fixed
// borders, centring on the screen, and controls placed at fixed pixel positions
// of the client area, each with the object name it is known by.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace vp::gui {

// The interface font: "ＭＳ Ｐゴシック" at 12 pixels. Where it is missing, Qt
// substitutes IPAPGothic (same metrics), then Noto Sans CJK JP.
QFont interfaceFont();
// The family that actually draws interfaceFont(), for the screenshot log and the tests.
QString interfaceFontFamily();

// The application's title, the caption of plain message boxes.
QString applicationTitle();

// A fixed-size window: the client area is exactly `width` × `height`, nothing
// resizes it, and the frame has a title bar without minimise and maximise
// boxes. `closeBox` adds the close box, for windows whose close is handled as
// the cancel it stands for.
void makeFixedWindow(QWidget* window, int width, int height, bool closeBox);

// left := (screen width − window width) ÷ 2, top := (screen height − window height) ÷ 2.
void centreOnScreen(QWidget* window);

// Under X11, where a window manager frames `window` only after it is mapped:
// each showing restores the window's last frame position, and once framed the
// position is set again, so that Qt places it where the server has it. The
// position is kept on hiding only from a window that has been framed.
void keepPlace(QWidget* window);

// A control at (left, top) with the given size, named `name`.
template <typename Control>
Control* place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// A label at (left, top), as large as its text needs (an auto-sizing label:
// change its text with setLabelText).
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top);
// A label of fixed size whose text wraps inside it, its lines the font's
// pixel size apart, broken between phrases where that takes no more lines.
QLabel* makeWrappedLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
// The lines a label made by makeWrappedLabel shows (empty for another label).
QStringList wrappedLines(const QLabel* label);
// An auto-sizing label whose right edge stays at `right` whatever its text (numbers).
QLabel* makeRightAlignedLabel(QWidget* parent, const char* name, const QString& text, int right, int top);
QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

// Sets an auto-sizing label's text and its size to the text's; a right-aligned
// label keeps its right edge.
void setLabelText(QLabel* label, const QString& text);

// Sets a status-bar text that may be longer than its panel: the end gives way
// to an ellipsis, and the whole text goes to the tool tip.
void setElidedText(QLabel* label, const QString& text);

// Draws `label`'s text in red.
void makeRed(QLabel* label);

}  // namespace vp::gui
