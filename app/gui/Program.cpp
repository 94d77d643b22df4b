#include "app/gui/Program.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include "app/core/conversion_settings.h"
#include "app/gui/QtSettingsStorage.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/Pictures.h"
#include "export/dxf_header.h"

namespace vp::gui {

QString programFolder() {
  return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/');
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
  form5_ = std::make_unique<SettingsDialog>(
      dxf_header_path(std::filesystem::path(program_folder.toStdU16String())));
  form6_ = std::make_unique<VersionDialog>();
  form1_->attachForms(form2_.get(), form3_.get(), form4_.get(), form5_.get(), form6_.get());
  form1_->show();
}

Program::~Program() = default;

bool Program::saveScreenshots(const QString& folder) {
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
  return ok;
}

std::unique_ptr<Program> startProgram(SettingsStorage& storage, const QString& program_folder) {
  if (read_first_up(storage) == 0) showFirstStartNotice(nullptr);
  return std::make_unique<Program>(storage, program_folder);
}

int runProgram(QApplication& app) {
  initialiseApplication(app);
  QtSettingsStorage storage;
  const QString screenshots = qEnvironmentVariable("VP_SCREENSHOT_DIR");
  if (!screenshots.isEmpty()) return Program(storage, programFolder()).saveScreenshots(screenshots) ? 0 : 1;
  const std::unique_ptr<Program> program = startProgram(storage, programFolder());
  return app.exec();
}

}  // namespace vp::gui
