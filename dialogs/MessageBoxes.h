// The program's message boxes. Every one is modal and returns when the user
// has answered it.
#pragma once

#include <QString>
#include <QWidget>

#include <string_view>

namespace vp::gui {

// Qt's text for one of the program's own texts (UTF-8).
inline QString qtext(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A system text as it is drawn: its two-line texts hold a line feed followed
// by a carriage return, which the old platform drew as one line break.
QString displayText(QString text);

// A plain message: the application's title as caption, no icon, one OK button.
void showPlainMessage(QWidget* parent, const QString& text);

// A failure no command handles itself: an error icon and one OK button.
void showErrorBox(QWidget* parent, const QString& text);

// A question with the caption "警告", a warning icon and the buttons
// "はい(&Y)" (the default, Enter) and "いいえ(&N)" (also Escape). False only for いいえ.
bool askWarningYesNo(QWidget* parent, const QString& text);

// The first-start notice: caption "注意", exclamation icon, OK only.
void showFirstStartNotice(QWidget* parent);
QString firstStartNoticeText();

// A parent for a message box: `preferred` when it can take input, else the
// active window, else none (a box whose parent is disabled could not be answered).
QWidget* messageParent(QWidget* preferred);

}  // namespace vp::gui
