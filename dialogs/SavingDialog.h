// The saving dialog (TForm4, "保存中"): a small modeless window with a bar,
// shown while a writer writes. It is the writers' host: their messages, the
// bar, and the main window disabled while they run.
#pragma once

#include <QDialog>
#include <QProgressBar>

#include "dialogs/EventPump.h"
#include "export/save_host.h"

namespace vp::gui {

class SavingDialog : public QDialog, public SaveHost {
  Q_OBJECT

 public:
  explicit SavingDialog(QWidget* parent = nullptr);

  // The window disabled while a writer runs.
  void attach(QWidget* main_window) { main_window_ = main_window; }

  // SaveHost
  void show_message(std::string_view text) override;
  void begin_saving() override;
  void set_saving_bar(int position) override;
  void process_events() override;
  void end_saving() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // no close box: it goes when the writer is done

 private:
  QWidget* main_window_ = nullptr;
  bool saving_ = false;
  EventPump pump_;
  QProgressBar* bar_;
};

}  // namespace vp::gui
