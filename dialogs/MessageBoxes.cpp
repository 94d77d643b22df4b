#include "dialogs/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "dialogs/FormSupport.h"

namespace vp::gui {

QWidget* messageParent(QWidget* preferred) {
  if (preferred != nullptr && preferred->isVisible() && preferred->isEnabled()) return preferred;
  QWidget* active = QApplication::activeWindow();
  if (active != nullptr && active->isEnabled()) return active;
  return nullptr;
}

void showPlainMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok,
                  messageParent(parent));
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

void showErrorBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok,
                  messageParent(parent));
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

bool askWarningYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), text, QMessageBox::NoButton,
                  messageParent(parent));
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
  QMessageBox box(QMessageBox::Warning, QStringLiteral("注意"), firstStartNoticeText(),
                  QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace vp::gui
