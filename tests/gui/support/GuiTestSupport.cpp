#include "support/GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <QImage>

#include "imageio/image_formats.h"
#include "testkit/bmp_writer.h"

namespace vp::gui::testing {

// --- ModalAnswerer ---------------------------------------------------------

ModalAnswerer::ModalAnswerer() {
  timer_.setInterval(2);
  connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::tick);
  timer_.start();
}

ModalAnswerer::~ModalAnswerer() { timer_.stop(); }

SeenBox describe(const QMessageBox* box) {
  SeenBox seen;
  seen.caption = box->windowTitle();
  seen.text = box->text();
  seen.icon = box->icon();
  seen.width = box->width();
  for (const QAbstractButton* button : box->buttons()) seen.buttons << button->text();
  if (box->defaultButton() != nullptr) seen.defaultButton = box->defaultButton()->text();
  if (box->escapeButton() != nullptr) seen.escapeButton = box->escapeButton()->text();
  return seen;
}

void ModalAnswerer::tick() {
  if (idle_) idle_();
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible() || answered_.contains(modal)) return;
  // Answered once per showing: a dialog that is reused is answered again when
  // it comes back (see eventFilter).
  answered_.insert(modal);
  modal->installEventFilter(this);
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (box != nullptr) boxes_.append(describe(box));
  // VP_TEST_TRACE=1 lists every modal window answered, to find a test that hangs.
  if (qEnvironmentVariableIsSet("VP_TEST_TRACE")) {
    qDebug() << "answering" << modal->metaObject()->className() << modal->objectName()
             << (box != nullptr ? box->text() : QString());
  }
  Step step;
  if (!steps_.empty()) {
    step = std::move(steps_.front());
    steps_.pop_front();
  } else {
    step = [](QWidget* w) {
      auto* unexpected = qobject_cast<QMessageBox*>(w);
      if (unexpected != nullptr && unexpected->defaultButton() != nullptr) {
        unexpected->defaultButton()->click();
      } else if (unexpected != nullptr && unexpected->buttons().size() == 1) {
        unexpected->buttons().constFirst()->click();
      } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
        dialog->reject();
      }
    };
  }
  // Run from the event loop, not from inside this timer's signal: a timer does
  // not fire again while its own signal runs, so a modal window opened by the
  // step could not be answered.
  QPointer<QWidget> target(modal);
  QMetaObject::invokeMethod(
      this,
      [target, step = std::move(step)] {
        if (target) step(target);
      },
      Qt::QueuedConnection);
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide || event->type() == QEvent::Destroy) {
    answered_.remove(static_cast<QWidget*>(watched));
    watched->removeEventFilter(this);
  }
  return false;
}

QStringList ModalAnswerer::texts() const {
  QStringList all;
  for (const SeenBox& box : boxes_) all << box.text;
  return all;
}

void chooseFile(QFileDialog* dialog, const QString& path) {
  // As a user does: go to the folder, type the name, press the dialog's button.
  // (selectFile would not touch the name box while it has the focus.)
  const QFileInfo info(path);
  dialog->setDirectory(info.absolutePath());
  dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(info.fileName());
  static_cast<QDialog*>(dialog)->accept();
}

void ModalAnswerer::thenChooseFile(const QString& path) {
  then([path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      qobject_cast<QDialog*>(modal)->reject();
      return;
    }
    chooseFile(dialog, path);
  });
}

void ModalAnswerer::thenCancelFileDialog() {
  then([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
}

void ModalAnswerer::thenClick(const QString& button_text) {
  then([button_text](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box != nullptr) {
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == button_text) {
          button->click();
          return;
        }
      }
    }
    qobject_cast<QDialog*>(modal)->reject();
  });
}

void ModalAnswerer::thenKey(int key) {
  then([key](QWidget* modal) { QTest::keyClick(modal, static_cast<Qt::Key>(key)); });
}

// --- Settings --------------------------------------------------------------

ScratchSettings::ScratchSettings() {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
  // The user's own files (the DXF header template's user copy) start afresh too.
  qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("data"))));
}

QString ScratchSettings::rawValue(const QString& name) const {
  QSettings settings(QStringLiteral("Quillet"), QStringLiteral("VelorinPelkin"));
  const QVariant value = settings.value(QStringLiteral("System/") + name);
  return value.isValid() ? value.toString() : QString();
}

void ScratchSettings::setRawValue(const QString& name, const QString& value) {
  QSettings settings(QStringLiteral("Quillet"), QStringLiteral("VelorinPelkin"));
  settings.setValue(QStringLiteral("System/") + name, value);
}

void ScratchSettings::clearAll() {
  QSettings settings(QStringLiteral("Quillet"), QStringLiteral("VelorinPelkin"));
  settings.clear();
}

// --- Bitmaps ---------------------------------------------------------------

InkImage smallDrawing() {
  InkImage image(64, 48);
  for (int y = 8; y < 11; ++y) image.fill_span(y, 4, 56);
  for (int y = 36; y < 39; ++y) image.fill_span(y, 4, 56);
  for (int y = 8; y < 39; ++y) image.fill_span(y, 30, 32);
  for (int i = 0; i < 20; ++i) image.fill_span(14 + i, 40 + i, 42 + i);
  return image;
}

InkImage largeDrawing() {
  DrawingOptions options;
  options.text = false;
  options.hatching = false;
  options.coverage = 0.02;
  return generate_drawing(5000, 5000, 7, options);
}

bool writeBmp(const QString& path, const InkImage& image) {
  return write_bmp_file(QFile::encodeName(path).toStdString(), image, BmpWriteOptions{});
}

bool writeUnsupportedBmp(const QString& path) {
  std::vector<std::uint8_t> bytes = encode_bmp(smallDrawing(), BmpWriteOptions{});
  if (bytes.size() < 30) return false;
  bytes[28] = 4;  // bits per pixel
  bytes[29] = 0;
  return writeBytes(path,
                    QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

Conversion referenceConversion(const std::string& file, int passes, const ConversionSettings& settings) {
  Conversion conversion;
  QuietHost host;
  conversion.ChangeImage(file, passes, host, settings);
  return conversion;
}

Conversion referenceScanConversion(const std::string& file, int passes, const ConversionSettings& settings,
                                   InkObserver observer) {
  Conversion conversion(any_image_reader_factory());
  conversion.set_ink_observer(std::move(observer));
  QuietHost host;
  conversion.ChangeImage(file, passes, host, settings);
  return conversion;
}

bool writeDegradedScan(const QString& path, const InkImage& clean, const QString& kind) {
  vp::testing::ScanLook look;
  look.light_falloff = 0.3;
  if (kind == QStringLiteral("colour png")) {
    const std::uint8_t paper[3] = {245, 236, 190}, ink[3] = {40, 60, 170};
    std::copy_n(paper, 3, look.paper);
    std::copy_n(ink, 3, look.ink);
  }
  const vp::testing::ScanImage scan = vp::testing::degrade(clean, look);
  const int channels = scan.colour ? 3 : 1;
  const std::size_t row = static_cast<std::size_t>(scan.width) * static_cast<std::size_t>(channels);
  QImage image(scan.width, scan.height, scan.colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
  for (std::int32_t r = 0; r < scan.height; ++r) {
    std::copy_n(scan.pixels.data() + static_cast<std::size_t>(r) * row, row, image.scanLine(r));
  }
  const bool jpeg = kind == QStringLiteral("jpeg");
  return image.save(path, jpeg ? "JPEG" : "PNG", jpeg ? 75 : -1);
}

}  // namespace vp::gui::testing
