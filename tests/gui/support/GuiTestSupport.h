// What the desktop program's tests share: a stand-in user who answers every
// modal window as it appears, scratch folders for the settings and the
// program's folder, and bitmaps to convert.
#pragma once

#include <QFileDialog>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

#include "core/conversion.h"
#include "core/conversion_settings.h"
#include "core/settings_storage.h"
#include "export/save_host.h"
#include "support/degraded_scan.h"
#include "testkit/synthetic_drawing.h"

namespace vp::gui::testing {

// A message box as the user saw it.
struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;  // their texts, in the box's order
  QString defaultButton;
  QString escapeButton;
  int width = 0;  // as shown
};

// Answers modal windows from a timer, so that code which runs a modal loop can
// be driven without a person. Every message box is recorded; it is answered
// by the next queued step when there is one, else with its default button.
// File dialogs are answered by the next queued step, else cancelled.
class ModalAnswerer : public QObject {
 public:
  // A step gets the modal window; it must close it (accept, reject, click).
  using Step = std::function<void(QWidget* modal)>;

  ModalAnswerer();
  ~ModalAnswerer() override;

  void then(Step step) { steps_.push_back(std::move(step)); }
  // Called at every tick, modal window or not (to press a button mid-run).
  void setIdle(std::function<void()> idle) { idle_ = std::move(idle); }

  // Steps for the common answers.
  void thenChooseFile(const QString& path);  // a file dialog: choose `path`, accept
  void thenCancelFileDialog();
  void thenClick(const QString& button_text);  // a message box: click this button
  void thenKey(int key);                       // a message box: press a key (Enter, Escape)

  const QList<SeenBox>& boxes() const { return boxes_; }
  QStringList texts() const;
  int pendingSteps() const { return static_cast<int>(steps_.size()); }
  void clear() { boxes_.clear(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void tick();

  QTimer timer_;
  std::deque<Step> steps_;
  std::function<void()> idle_;
  QList<SeenBox> boxes_;
  QSet<QWidget*> answered_;
};

SeenBox describe(const QMessageBox* box);

// Chooses `path` in an open file dialog and accepts it.
void chooseFile(QFileDialog* dialog, const QString& path);

// The settings and the user's data live in a fresh folder for the life of the
// object (QSettings' user scope and XDG_DATA_HOME are pointed there).
class ScratchSettings {
 public:
  ScratchSettings();
  QString folder() const { return dir_.path(); }
  // Every stored value, straight from the settings file.
  QString rawValue(const QString& name) const;
  void setRawValue(const QString& name, const QString& value);
  void clearAll();

 private:
  QTemporaryDir dir_;
};

// A small drawing with known strokes: two horizontal bars, one vertical, one diagonal.
InkImage smallDrawing();
// A large drawing that takes a while to convert.
InkImage largeDrawing();
// Writes a 1-bit BMP; false when it could not be written.
bool writeBmp(const QString& path, const InkImage& image);
// A BMP of a pixel format the program does not read (4 bits per pixel).
bool writeUnsupportedBmp(const QString& path);

QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

// A conversion or a save run by the core alone, for the results to expect.
class QuietHost final : public ConversionHost, public SaveHost {
 public:
  void conversion_started() override {}
  void conversion_finished() override {}
  bool serve_events() override { return true; }
  void process_events() override {}
  void set_bar(ProgressBar, int) override {}
  void set_label(ProgressLabel, std::string_view) override {}
  void show_message(std::string_view) override {}
  void begin_saving() override {}
  void set_saving_bar(int) override {}
  void end_saving() override {}
};

// What the core alone makes of `file` (a local path) with these passes and settings.
Conversion referenceConversion(const std::string& file, int passes, const ConversionSettings& settings);
// The same with every image format the program reads; `observer` sees the ink.
Conversion referenceScanConversion(const std::string& file, int passes, const ConversionSettings& settings,
                                   InkObserver observer = {});

// Writes a scan of `clean` as a scanner or a phone would deliver it: a little
// blur and noise and light that falls off across the sheet, as `kind`: "jpeg"
// (grey, quality 75), "grey png" or "colour png" (blue ink on yellowish paper).
bool writeDegradedScan(const QString& path, const InkImage& clean, const QString& kind);

// The named control, or a fatal failure when there is none.
template <typename T>
T* child(QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no control %s", name);
  return found;
}

}  // namespace vp::gui::testing
