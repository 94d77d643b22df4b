#include "app/gui/ProgressDialog.h"

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
  Label7 = makeLabel(this, "Label7", QStringLiteral("OFF"), 136, 96);
  makeLabel(this, "Label4", QStringLiteral("ちぇっく２："), 232, 96);
  Label8 = makeLabel(this, "Label8", QStringLiteral("OFF"), 288, 96);
  makeLabel(this, "Label9", QStringLiteral("ちぇっく３："), 80, 116);
  Label12 = makeRightAlignedLabel(this, "Label12", QStringLiteral("0"), 179, 116);
  makeLabel(this, "Label13", QStringLiteral("ほん→"), 188, 116);
  Label10 = makeRightAlignedLabel(this, "Label10", QStringLiteral("0"), 278, 116);
  makeLabel(this, "Label11", QStringLiteral("ほん"), 284, 116);
  Label14 = makeLabel(this, "Label14", QStringLiteral("0:00:00"), 12, 124);

  Button2 = makeButton(this, "Button2", QStringLiteral("中止"), QRect(377, 114, 81, 25));
  connect(Button2, &QPushButton::clicked, this, &ProgressDialog::Button2Click);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may tick early and show a second late
  connect(Timer1, &QTimer::timeout, this, &ProgressDialog::Timer1Timer);

  centreOnScreen(this);  // FormCreate
}

void ProgressDialog::attach(QWidget* main_window) { main_window_ = main_window; }

// --- Handlers --------------------------------------------------------------

void ProgressDialog::showEvent(QShowEvent* event) {
  clock_.start();
  if (!Timer1->isActive()) Timer1->start();
  QDialog::showEvent(event);
}

void ProgressDialog::hideEvent(QHideEvent* event) {
  // Between conversions there is nothing to time.
  Timer1->stop();
  QDialog::hideEvent(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  Timer1->stop();
  QDialog::closeEvent(event);
}

void ProgressDialog::reject() {}

void ProgressDialog::Button2Click() {
  if (running_) abort_asked_ = true;
}

void ProgressDialog::Timer1Timer() {
  elapsed_ms_ = clock_.elapsed();
  setLabelText(Label14, formatElapsed(elapsed_ms_));
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
  Timer1Timer();
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
    case ProgressLabel::EndPointCheck: target = Label7; break;
    case ProgressLabel::CrossingCheck: target = Label8; break;
    case ProgressLabel::MergedCount: target = Label10; break;
    case ProgressLabel::TracedCount: target = Label12; break;
  }
  if (target != nullptr) setLabelText(target, displayText(qtext(text)));
}

}  // namespace vp::gui
