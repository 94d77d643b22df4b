// Start-up: the six windows, created once in their fixed order and reused
// until the program ends.
//
// TForm1 (the main window) comes first: it loads the settings before any
// dialog exists, and the scale calculator copies SCALE and DPI out of it.
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "app/gui/MainWindow.h"
#include "core/settings_storage.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/SavingDialog.h"
#include "dialogs/ScaleCalculatorDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/VersionDialog.h"

class QApplication;

namespace vp::gui {

// The running program's folder, with a trailing separator.
QString programFolder();

// Where the DXF header template is looked for: the user's own copy
// (AppDataLocation), beside the program, then the installed one.
DxfHeaderPlaces dxfHeaderPlaces(const QString& program_folder);

class Program {
 public:
  // Creates the six windows in order (the main window first) and shows the
  // main window.
  // `program_folder` (with trailing separator) holds a DXFHED.TXT and is the
  // default of both start folders.
  Program(SettingsStorage& storage, const QString& program_folder);
  ~Program();

  MainWindow& mainWindow() { return *main_window_; }
  ProgressDialog& progressDialog() { return *progress_dialog_; }
  ScaleCalculatorDialog& scaleCalculator() { return *scale_calculator_; }
  SavingDialog& savingDialog() { return *saving_dialog_; }
  SettingsDialog& settingsDialog() { return *settings_dialog_; }
  VersionDialog& versionDialog() { return *version_dialog_; }

  // Shows each window in turn and saves it as <folder>/TForm1.png ... (the
  // settings dialog once per tab) and a message box as MessageBox.png; under
  // a real window system with the window manager's frame. True when every
  // picture was written. With `drawing` (a bitmap) also the open and save
  // dialogs in its folder (OpenDialog1.png, SaveDialog1.png), the main window
  // after its conversion (TForm1-2.png), and the preview of the result:
  // TForm7.png whole, TForm7-2.png a close-up over the thinned grid, and the
  // two-point scale's dialog TForm8.png.
  bool saveScreenshots(const QString& folder, const QString& drawing = QString());

 private:
  bool shootPreview(const QString& drawing, const std::function<void(QWidget&, const QString&)>& shoot);

  std::unique_ptr<MainWindow> main_window_;
  std::unique_ptr<ProgressDialog> progress_dialog_;
  std::unique_ptr<ScaleCalculatorDialog> scale_calculator_;
  std::unique_ptr<SavingDialog> saving_dialog_;
  std::unique_ptr<SettingsDialog> settings_dialog_;
  std::unique_ptr<VersionDialog> version_dialog_;
};

// Installs Qt's Japanese translations when they are there (qtbase_ja in Qt's
// translations folder); false without them.
bool loadQtTranslations(QApplication& app);

// The application-wide look: Qt's texts in Japanese, the interface font and
// the window icon.
void initialiseApplication(QApplication& app);

// Start-up without the event loop: the first-start notice while FirstUp is 0
// (before any window exists), then the six windows.
std::unique_ptr<Program> startProgram(SettingsStorage& storage, const QString& program_folder);

// The whole program: the first-start notice while FirstUp is 0, the windows,
// the event loop until the main window closes. With VP_SCREENSHOT_DIR set, saves
// the screenshots there instead (with the preview of VP_SCREENSHOT_DRAWING, when
// set) and ends without touching the settings.
int runProgram(QApplication& app);

}  // namespace vp::gui
