// The progress dialog (TForm2, "しんこうじょうきょう"): shown, modeless, for the
// whole of a conversion; one bar per stage, the special mode's checks and line
// counts, the elapsed time, and the abort button "中止".
//
// It is the conversion's host: the core moves its bars and labels through the
// ConversionHost calls, and serve_events() lets the window system run (at most
// every EventPump::kIntervalMs), so that the abort button and the clock are
// served while the conversion runs on this thread; it answers false once the
// abort button was pressed.
//
// The clock is monotonic and read when the conversion ends, so the completion
// message shows this conversion's true duration, across midnight too.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdint>

#include "core/conversion_host.h"
#include "dialogs/EventPump.h"

namespace vp::gui {

// An elapsed time as "h:mm:ss" (hours not wrapped at 24, seconds truncated).
QString formatElapsed(qint64 milliseconds);

class ProgressDialog : public QDialog, public ConversionHost {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr);

  // The window disabled while a conversion runs.
  void attach(QWidget* main_window);

  // ElapsedTime: the duration of the last conversion, taken when it ended.
  qint64 elapsedMs() const { return elapsed_ms_; }

  // ConversionHost
  void conversion_started() override;
  void conversion_finished() override;
  bool serve_events() override;
  void set_bar(ProgressBar bar, int position) override;
  void set_label(ProgressLabel label, std::string_view text) override;

 public slots:
  void abortClicked();
  void showElapsed();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // no close box, no Escape: only "中止" acts

 private:
  QWidget* main_window_ = nullptr;
  bool abort_asked_ = false;  // by the abort button, during the conversion under way
  bool running_ = false;
  EventPump pump_;
  QElapsedTimer clock_;  // since the dialog was last shown
  qint64 elapsed_ms_ = 0;

  QProgressBar* bars_[kProgressBarCount];
  QLabel* end_point_state_;
  QLabel* crossing_state_;
  QLabel* merged_count_;
  QLabel* traced_count_;
  QLabel* elapsed_label_;
  QPushButton* abort_button_;
  QTimer* tick_timer_;
};

}  // namespace vp::gui
