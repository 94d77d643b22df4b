#include "app/gui/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTabWidget>

#include "app/core/conversion_settings.h"
#include "app/gui/PreviewWindow.h"
#include "app/gui/QtSettingsStorage.h"
#include "app/gui/ReferenceDistanceDialog.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/Pictures.h"
#include "export/dxf_header.h"

namespace vp::gui {

QString programFolder() {
  return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/');
}

DxfHeaderPlaces dxfHeaderPlaces(const QString& program_folder) {
  const auto file = [](const QString& folder) {
    return std::filesystem::path(QDir::cleanPath(QDir(folder).filePath(QString::fromLatin1(kDxfHeaderFileName.data(), qsizetype(kDxfHeaderFileName.size())))).toStdU16String());
  };
  DxfHeaderPlaces places;
  places.user = file(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
  places.bundled = {file(program_folder), file(program_folder + QStringLiteral("../share/velorin-pelkin")),
                    std::filesystem::path(VP_INSTALLED_DATA_DIR) / kDxfHeaderFileName};
  return places;
}

void initialiseApplication(QApplication& app) {
  app.setOrganizationName(QStringLiteral("Quillet"));
  app.setApplicationName(QStringLiteral("VelorinPelkin"));
  app.setFont(interfaceFont());
  app.setWindowIcon(windowIcon());
}

Program::Program(SettingsStorage& storage, const QString& program_folder) {
  form1_ = std::make_unique<MainWindow>(storage, program_folder);
  form2_ = std::make_unique<ProgressDialog>();
  const ConversionSettings& settings = form1_->settings();
  form3_ = std::make_unique<ScaleCalculatorDialog>(QString::fromStdString(settings.SCALE),
                                                   QString::fromStdString(settings.DPI));
  form4_ = std::make_unique<SavingDialog>();
  form5_ = std::make_unique<SettingsDialog>(dxfHeaderPlaces(program_folder));
  form6_ = std::make_unique<VersionDialog>();
  form1_->attachForms(form2_.get(), form3_.get(), form4_.get(), form5_.get(), form6_.get());
  form1_->show();
}

Program::~Program() = default;

bool Program::saveScreenshots(const QString& folder, const QString& drawing) {
  QDir().mkpath(folder);
  bool ok = true;
  const auto shoot = [&](QWidget& window, const QString& name) {
    window.show();
    window.raise();
    QApplication::processEvents();
    ok = window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png"))) && ok;
  };
  shoot(*form1_, QStringLiteral("TForm1"));
  QWidget* others[] = {form2_.get(), form3_.get(), form4_.get()};
  for (QWidget* window : others) {
    shoot(*window, window->objectName());
    window->hide();
  }
  auto* pages = form5_->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  form5_->fill(form1_->settings());
  form5_->loadHeaderFile();
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    shoot(*form5_, i == 0 ? QStringLiteral("TForm5") : QStringLiteral("TForm5-%1").arg(i + 1));
  }
  form5_->hide();
  shoot(*form6_, QStringLiteral("TForm6"));
  form6_->hide();
  if (!drawing.isEmpty()) ok = shootPreview(drawing, shoot) && ok;
  return ok;
}

bool Program::shootPreview(const QString& drawing,
                           const std::function<void(QWidget&, const QString&)>& shoot) {
  // Every layer and special mode's marks, at a magnification that makes
  // some lines short: a drawing at 1/1 scanned at 100 dpi.
  ConversionSettings& settings = form1_->settings();
  settings.Special = kFlagOn;
  settings.DxfOption2 = kFlagOn;
  settings.DxfOption1 = kFlagOn;
  settings.DxfOption1_Len = 2;
  settings.DxfReal = 2;
  form1_->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("0.254"));
  form1_->convert(drawing, false);
  if (form1_->conversion().CancelState != 0) return false;
  form1_->Preview1Click();
  PreviewWindow& preview = *form1_->preview();
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
    return Program(storage, programFolder())
                   .saveScreenshots(screenshots, qEnvironmentVariable("VP_SCREENSHOT_DRAWING"))
               ? 0
               : 1;
  }
  const std::unique_ptr<Program> program = startProgram(storage, programFolder());
  return app.exec();
}

}  // namespace vp::gui
