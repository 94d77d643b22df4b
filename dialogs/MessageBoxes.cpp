#include "dialogs/MessageBoxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include "dialogs/FormSupport.h"

namespace vp::gui {

namespace {

// Room the window manager takes beside a title: the frame's buttons and edges.
constexpr int kTitleBarAllowance = 120;

// The text drawn with one break per line, and a box wide enough that a
// window manager does not cut its title to "…".
void prepare(QMessageBox& box, const QString& text) {
  box.setText(displayText(text));
  const int wanted = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarAllowance;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    // QMessageBox sizes itself from its layout, so the width goes in there.
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
}

}  // namespace

QString displayText(QString text) { return text.replace(QStringLiteral("\n\r"), QStringLiteral("\n")); }

QWidget* messageParent(QWidget* preferred) {
  if (preferred != nullptr && preferred->isVisible() && preferred->isEnabled()) return preferred;
  QWidget* active = QApplication::activeWindow();
  if (active != nullptr && active->isEnabled()) return active;
  return nullptr;
}

void showPlainMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, applicationTitle(), QString(), QMessageBox::Ok, messageParent(parent));
  prepare(box, text);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

void showErrorBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, applicationTitle(), QString(), QMessageBox::Ok, messageParent(parent));
  prepare(box, text);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

bool askWarningYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), QString(), QMessageBox::NoButton,
                  messageParent(parent));
  prepare(box, text);
  QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() != no;  // only いいえ stops
}

QString firstStartNoticeText() {
  return QStringLiteral(
      "はじめまして！\n"
      "このソフトは、白い紙に黒い線でくっきり描かれた図面の画像を、線のデータに変えるバナナです。\n"
      "写真や色の多い画像、薄い線やかすれた線はうまく変換できません。\n"
      "まずは「せってい」で保存の形式を選んでから、ふぁいるをひらいてください。");
}

void showFirstStartNotice(QWidget* parent) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("注意"), QString(), QMessageBox::Ok, parent);
  prepare(box, firstStartNoticeText());
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace vp::gui
