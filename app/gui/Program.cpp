#include "app/gui/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>

#include "app/gui/PreviewWindow.h"
#include "app/gui/QtSettingsStorage.h"
#include "app/gui/SaveCommand.h"
#include "core/conversion_settings.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/Pictures.h"
#include "dialogs/ReferenceDistanceDialog.h"
#include "export/dxf_header.h"

namespace vp::gui {

QString programFolder() { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/'); }

bool loadQtTranslations(QApplication& app) {
  // Qt's own texts (standard dialogs, message box buttons, context menus) in
  // Japanese, like the rest of the program. Without the translations Qt
  // speaks English and the program runs as before.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  app.installTranslator(translator);
  return true;
}

DxfHeaderPlaces dxfHeaderPlaces(const QString& program_folder) {
  const auto file = [](const QString& folder) {
    return std::filesystem::path(QDir::cleanPath(QDir(folder).filePath(QString::fromLatin1(
                                                     kDxfHeaderFileName.data(), qsizetype(kDxfHeaderFileName.size()))))
                                     .toStdU16String());
  };
  DxfHeaderPlaces places;
  places.user = file(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
  places.bundled = {file(program_folder), file(program_folder + QStringLiteral("../share/velorin-pelkin")),
                    std::filesystem::path(VP_INSTALLED_DATA_DIR) / kDxfHeaderFileName};
  return places;
}

void initialiseApplication(QApplication& app) {
  loadQtTranslations(app);
  app.setOrganizationName(QStringLiteral("Quillet"));
  app.setApplicationName(QStringLiteral("VelorinPelkin"));
  app.setFont(interfaceFont());
  app.setWindowIcon(windowIcon());
}

Program::Program(SettingsStorage& storage, const QString& program_folder) {
  main_window_ = std::make_unique<MainWindow>(storage, program_folder, dxfHeaderPlaces(program_folder));
  progress_dialog_ = std::make_unique<ProgressDialog>();
  const ConversionSettings& settings = main_window_->settings();
  scale_calculator_ = std::make_unique<ScaleCalculatorDialog>(QString::fromStdString(settings.SCALE),
                                                              QString::fromStdString(settings.DPI));
  saving_dialog_ = std::make_unique<SavingDialog>();
  settings_dialog_ = std::make_unique<SettingsDialog>(main_window_->dxfHeader());
  version_dialog_ = std::make_unique<VersionDialog>();
  main_window_->attachDialogs(progress_dialog_.get(), scale_calculator_.get(), saving_dialog_.get(),
                              settings_dialog_.get(), version_dialog_.get());
  main_window_->show();
}

Program::~Program() = default;

namespace {

void settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

// Lets the window manager map, frame and paint what was just shown: under a
// window manager the frame arrives some time after the window.
void settleFramed(const QWidget& window) {
  for (int waited = 0; waited < 3000 && window.frameGeometry() == window.geometry(); waited += 50) settle(50);
  settle(300);
}

// The window as the user sees it: under a real window system with its frame
// (taken from the screen), else the window's own drawing.
QPixmap picture(QWidget& window) {
  QScreen* screen = window.screen();
  if (QGuiApplication::platformName() == QLatin1String("xcb") && screen != nullptr) {
    const QRect frame = window.frameGeometry();
    return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  }
  return window.grab();
}

}  // namespace

bool Program::saveScreenshots(const QString& folder, const QString& drawing) {
  QDir().mkpath(folder);
  bool ok = true;
  const auto save = [&](QWidget& window, const QString& name) {
    ok = picture(window).save(QDir(folder).filePath(name + QStringLiteral(".png"))) && ok;
  };
  const auto shoot = [&](QWidget& window, const QString& name) {
    window.show();
    window.raise();
    window.activateWindow();
    settleFramed(window);
    save(window, name);
  };
  shoot(*main_window_, QStringLiteral("TForm1"));
  QWidget* others[] = {progress_dialog_.get(), scale_calculator_.get(), saving_dialog_.get()};
  for (QWidget* window : others) {
    shoot(*window, window->objectName());
    window->hide();
  }
  auto* pages = settings_dialog_->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  settings_dialog_->fill(main_window_->settings());
  settings_dialog_->loadHeaderFile();
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    shoot(*settings_dialog_, i == 0 ? QStringLiteral("TForm5") : QStringLiteral("TForm5-%1").arg(i + 1));
  }
  settings_dialog_->hide();
  shoot(*version_dialog_, QStringLiteral("TForm6"));
  version_dialog_->hide();

  // A message box, answered as soon as it has been taken.
  QTimer::singleShot(0, [&] {
    settle(100);
    if (QWidget* box = QApplication::activeModalWidget()) {
      settleFramed(*box);
      // A window manager may place the box elsewhere than Qt believes: moved
      // once its frame is known, both agree.
      box->move(box->x() + 1, box->y());
      settle(300);
      save(*box, QStringLiteral("MessageBox"));
      box->close();
    }
  });
  showPlainMessage(main_window_.get(), QStringLiteral("保存しました。"));

  if (!drawing.isEmpty()) {
    // The open and save dialogs, in the drawing's folder.
    const QString where = QFileInfo(drawing).absolutePath();
    QFileDialog* open = main_window_->openDialog();
    open->setDirectory(where);
    shoot(*open, QStringLiteral("OpenDialog1"));
    open->hide();
    SaveFileDialog* saveDialog = main_window_->saveDialog();
    saveDialog->setDirectory(where);
    saveDialog->setFilterIndex(1);
    saveDialog->selectFile(QFileInfo(drawing).completeBaseName() + QStringLiteral(".TXT"));
    shoot(*saveDialog, QStringLiteral("SaveDialog1"));
    saveDialog->hide();
    ok = shootPreview(drawing, shoot) && ok;
  }
  return ok;
}

bool Program::shootPreview(const QString& drawing, const std::function<void(QWidget&, const QString&)>& shoot) {
  // Every layer and special mode's marks, at a magnification that makes
  // some lines short: a drawing at 1/1 scanned at 100 dpi.
  ConversionSettings& settings = main_window_->settings();
  settings.Special = kFlagOn;
  settings.DxfOption2 = kFlagOn;
  settings.DxfOption1 = kFlagOn;
  settings.DxfOption1_Len = 2;
  settings.DxfReal = 2;
  main_window_->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("0.254"));
  main_window_->convert(drawing, false);
  if (main_window_->lastOutcome() != Outcome::Done) return false;
  shoot(*main_window_, QStringLiteral("TForm1-2"));  // the outcome and the file name
  main_window_->showPreview();
  PreviewWindow& preview = *main_window_->preview();
  preview.resize(900, 680);
  shoot(preview, QStringLiteral("TForm7"));

  // A close-up of the middle over the thinned grid.
  preview.findChild<QComboBox*>(QStringLiteral("ComboBox1"))
      ->setCurrentIndex(static_cast<int>(PreviewWindow::Background::Thinned));
  PreviewCanvas& canvas = *preview.canvas();
  canvas.setView(canvas.view().zoomedAt(6.0, {canvas.width() / 2.0, canvas.height() / 2.0}, 0.0));
  shoot(preview, QStringLiteral("TForm7-2"));

  auto* distance = preview.findChild<ReferenceDistanceDialog*>(QStringLiteral("TForm8"));
  distance->setPoints({10, 10}, {410, 10});
  shoot(*distance, QStringLiteral("TForm8"));
  distance->hide();
  preview.hide();

  // The ink image of a phone's photo of the drawing: faint ink, light falling
  // off across the sheet, JPEG noise, dust; read by format (auto) with specks removed.
  QImage scan = QImage(drawing).convertToFormat(QImage::Format_Grayscale8);
  if (scan.isNull()) return false;
  for (int y = 0; y < scan.height(); ++y) {
    uchar* row = scan.scanLine(y);
    for (int x = 0; x < scan.width(); ++x) {
      const double light = 1.0 - 0.35 * (x + y) / (scan.width() + scan.height());
      const bool dust = (x * 7919 + y * 104729) % 997 == 0;
      row[x] = static_cast<uchar>((row[x] < 128 || dust ? 90 : 235) * light);
    }
  }
  const QString photo = QFileInfo(drawing).absolutePath() + QStringLiteral("/photo.jpg");
  if (!scan.save(photo, "JPEG", 75)) return false;
  settings.Special = kFlagOff;
  settings.ScanSpeck = 4;
  main_window_->convert(photo, false);
  if (main_window_->lastOutcome() != Outcome::Done) return false;
  main_window_->showPreview();
  preview.findChild<QComboBox*>(QStringLiteral("ComboBox1"))
      ->setCurrentIndex(static_cast<int>(PreviewWindow::Background::Ink));
  canvas.fitToWindow();
  shoot(preview, QStringLiteral("TForm7-3"));
  preview.hide();

  // The drawing as drawn: its lines, arcs and circles, on the layers split.
  settings.ScanSpeck = 0;
  settings.Cad = kFlagOn;
  main_window_->convert(drawing, false);
  if (main_window_->lastOutcome() != Outcome::Done) return false;
  main_window_->showPreview();
  preview.findChild<QComboBox*>(QStringLiteral("ComboBox1"))
      ->setCurrentIndex(static_cast<int>(PreviewWindow::Background::Ink));
  canvas.fitToWindow();
  shoot(preview, QStringLiteral("TForm7-4"));
  preview.hide();
  return true;
}

std::unique_ptr<Program> startProgram(SettingsStorage& storage, const QString& program_folder) {
  if (read_first_up(storage) == 0) showFirstStartNotice(nullptr);
  return std::make_unique<Program>(storage, program_folder);
}

int runProgram(QApplication& app) {
  initialiseApplication(app);
  QtSettingsStorage storage;
  const QString screenshots = qEnvironmentVariable("VP_SCREENSHOT_DIR");
  if (!screenshots.isEmpty()) {
    return Program(storage, programFolder()).saveScreenshots(screenshots, qEnvironmentVariable("VP_SCREENSHOT_DRAWING"))
               ? 0
               : 1;
  }
  const std::unique_ptr<Program> program = startProgram(storage, programFolder());
  return app.exec();
}

}  // namespace vp::gui
