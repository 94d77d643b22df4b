#include "dialogs/ProgressDialog.h"

#include <QCloseEvent>
#include <QFrame>

#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"

namespace vp::gui {

QString formatElapsed(qint64 milliseconds) {
  const qint64 seconds = milliseconds < 0 ? 0 : milliseconds / 1000;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("しんこうじょうきょう"));
  makeFixedWindow(this, 480, 152, false);

  struct Stage {
    const char* label;
    const char* caption;
    const char* bar;
  };
  static constexpr Stage kStages[] = {{"Label1", "へんかん１", "ProgressBar1"},
                                      {"Label2", "へんかん２", "ProgressBar2"},
                                      {"Label3", "へんかん３", "ProgressBar3"},
                                      {"Label5", "へんかん４", "ProgressBar4"}};
  for (int i = 0; i < 4; ++i) {
    const int top = 8 + 20 * i;
    makeLabel(this, kStages[i].label, QString::fromUtf8(kStages[i].caption), 8, top);
    bars_[i] = place(new QProgressBar(this), kStages[i].bar, 72, top, 400, 13);
    bars_[i]->setRange(0, 100);
    bars_[i]->setValue(0);
    bars_[i]->setTextVisible(false);
  }

  auto* bevel = place(new QFrame(this), "Bevel1", 72, 88, 293, 49);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  makeLabel(this, "Label6", QStringLiteral("ちぇっく１："), 80, 96);
  end_point_state_ = makeLabel(this, "Label7", QStringLiteral("OFF"), 136, 96);
  makeLabel(this, "Label4", QStringLiteral("ちぇっく２："), 232, 96);
  crossing_state_ = makeLabel(this, "Label8", QStringLiteral("OFF"), 288, 96);
  makeLabel(this, "Label9", QStringLiteral("ちぇっく３："), 80, 116);
  traced_count_ = makeRightAlignedLabel(this, "Label12", QStringLiteral("0"), 179, 116);
  makeLabel(this, "Label13", QStringLiteral("ほん→"), 188, 116);
  merged_count_ = makeRightAlignedLabel(this, "Label10", QStringLiteral("0"), 278, 116);
  makeLabel(this, "Label11", QStringLiteral("ほん"), 284, 116);
  elapsed_label_ = makeLabel(this, "Label14", QStringLiteral("0:00:00"), 12, 124);

  abort_button_ = makeButton(this, "Button2", QStringLiteral("中止"), QRect(377, 114, 81, 25));
  connect(abort_button_, &QPushButton::clicked, this, &ProgressDialog::abortClicked);

  tick_timer_ = new QTimer(this);
  tick_timer_->setObjectName(QStringLiteral("Timer1"));
  tick_timer_->setInterval(1000);
  tick_timer_->setTimerType(Qt::PreciseTimer);  // a coarse timer may tick early and show a second late
  connect(tick_timer_, &QTimer::timeout, this, &ProgressDialog::showElapsed);

  centreOnScreen(this);
  keepPlace(this);
}

void ProgressDialog::attach(QWidget* main_window) { main_window_ = main_window; }

// --- Handlers --------------------------------------------------------------

void ProgressDialog::showEvent(QShowEvent* event) {
  clock_.start();
  if (!tick_timer_->isActive()) tick_timer_->start();
  QDialog::showEvent(event);
}

void ProgressDialog::hideEvent(QHideEvent* event) {
  // Between conversions there is nothing to time.
  tick_timer_->stop();
  QDialog::hideEvent(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  tick_timer_->stop();
  QDialog::closeEvent(event);
}

void ProgressDialog::reject() {}

void ProgressDialog::abortClicked() {
  if (running_) abort_asked_ = true;
}

void ProgressDialog::showElapsed() {
  elapsed_ms_ = clock_.elapsed();
  setLabelText(elapsed_label_, formatElapsed(elapsed_ms_));
}

// --- ConversionHost --------------------------------------------------------

void ProgressDialog::conversion_started() {
  running_ = true;
  abort_asked_ = false;
  show();
  if (main_window_ != nullptr) main_window_->setEnabled(false);
  pump_.restart();
  pump_.pump();  // let the dialog appear before the first line is worked
}

void ProgressDialog::conversion_finished() {
  showElapsed();
  running_ = false;
  hide();
  if (main_window_ != nullptr) main_window_->setEnabled(true);
}

bool ProgressDialog::serve_events() {
  pump_.pump();
  return !abort_asked_;
}

void ProgressDialog::set_bar(ProgressBar bar, int position) {
  const int index = static_cast<int>(bar);
  if (index >= 0 && index < kProgressBarCount) bars_[index]->setValue(position);
}

void ProgressDialog::set_label(ProgressLabel label, std::string_view text) {
  QLabel* target = nullptr;
  switch (label) {
    case ProgressLabel::EndPointCheck:
      target = end_point_state_;
      break;
    case ProgressLabel::CrossingCheck:
      target = crossing_state_;
      break;
    case ProgressLabel::MergedCount:
      target = merged_count_;
      break;
    case ProgressLabel::TracedCount:
      target = traced_count_;
      break;
  }
  if (target != nullptr) setLabelText(target, displayText(qtext(text)));
}

}  // namespace vp::gui
