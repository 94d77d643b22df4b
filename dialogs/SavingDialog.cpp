#include "dialogs/SavingDialog.h"

#include <QCloseEvent>

#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"

namespace vp::gui {

SavingDialog::SavingDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("保存中"));
  makeFixedWindow(this, 192, 73, false);
  makeLabel(this, "Label1", QStringLiteral("保存中です・・・"), 57, 8);
  bar_ = place(new QProgressBar(this), "ProgressBar1", 8, 32, 177, 17);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  centreOnScreen(this);
  keepPlace(this);
}

void SavingDialog::show_message(std::string_view text) { showPlainMessage(main_window_, qtext(text)); }

void SavingDialog::begin_saving() {
  saving_ = true;
  if (main_window_ != nullptr) main_window_->setEnabled(false);
  show();
  pump_.restart();
  pump_.pump();  // let it appear even for a writer that never asks
}

void SavingDialog::set_saving_bar(int position) { bar_->setValue(position); }

void SavingDialog::process_events() { pump_.pump(); }

void SavingDialog::end_saving() {
  saving_ = false;
  hide();
  if (main_window_ != nullptr) main_window_->setEnabled(true);
}

void SavingDialog::closeEvent(QCloseEvent* event) {
  if (saving_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void SavingDialog::reject() {}

}  // namespace vp::gui
