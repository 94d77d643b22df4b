// The main window (TForm1, "Velorin Pelkin Ⅱ"): the number of thinning passes
// and the magnification, the commands (open, save, preview, scale calculator,
// settings, version, exit), the outcome label and the status bar.
//
// After a conversion the outcome label's tool tip gives the drawing's size in
// millimetres at the current magnification (with Cad on, of the fitted drawing,
// and the skew measured); the preview (TForm7) opens from
// the menu or by a double click on that label, and only while saving is possible.
//
// It owns the conversion's state and the settings: the constructor loads them,
// closing the window writes them back. The dialogs are created after it and
// handed over with attachDialogs().
#pragma once

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>

#include <memory>
#include <string>

#include "app/gui/InkPlane.h"
#include "app/gui/PreviewModel.h"
#include "app/gui/SaveCommand.h"
#include "core/conversion.h"
#include "core/conversion_settings.h"
#include "dialogs/Controls.h"
#include "dialogs/DxfHeaderModel.h"
#include "export/dxf_writer.h"
#include "export/save_host.h"

namespace vp::gui {

class PreviewWindow;
class ProgressDialog;
class ScaleCalculatorDialog;
class SavingDialog;
class SettingsDialog;
class VersionDialog;
class PageDialog;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Loads every setting from `storage`, checks the two folders;
  // `program_folder` (with trailing separator) is their default.
  // `header_places`: where the DXF header template's file is looked for.
  MainWindow(SettingsStorage& storage, const QString& program_folder, DxfHeaderPlaces header_places,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  void attachDialogs(ProgressDialog* progress, ScaleCalculatorDialog* scale_calculator, SavingDialog* saving,
                     SettingsDialog* settings_dialog, VersionDialog* version);

  ConversionSettings& settings() { return settings_; }
  // The DXF header template, which the settings dialog edits and the DXF save starts from.
  DxfHeaderModel& dxfHeader() { return dxf_header_; }
  Conversion& conversion() { return conversion_; }
  const QString& openedFileName() const { return opened_file_name_; }
  SaveFileDialog* saveDialog() const { return save_dialog_; }
  QFileDialog* openDialog() const { return open_dialog_; }
  // True while a conversion or a save runs.
  bool busy() const { return busy_; }
  PreviewWindow* preview() const { return preview_; }
  // A conversion of `path` as the open command makes it; `announce` false
  // leaves out the closing message (for the screenshots).
  void convert(const QString& path, bool announce = true);
  // How the last conversion ended (Done before the first).
  Outcome lastOutcome() const { return last_conversion_.outcome; }

 public slots:
  void openCommand();
  void saveCommand();
  void showScaleCalculator();
  void showPreview();
  void outcomeDoubleClicked();
  void magnificationChanged();
  void showSettings();
  void showVersion();
  void exitProgram();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void buildMenu();
  void writeBackOnClose();
  void setStatus(const QString& text);
  void setSaveEnabled(bool enabled);
  void reportConversion(const QString& path, bool announce);
  void adviseOnScan();
  bool foundNextToNoInk() const;
  void updateTrueSize();
  DxfOptions dxfOptions() const;
  SaveResult runWriter(int filter_index, const QString& path);

  SettingsStorage& storage_;
  QString program_folder_;
  ConversionSettings settings_;
  DxfHeaderModel dxf_header_;
  Conversion conversion_;
  ConversionResult last_conversion_;
  QString opened_file_name_;
  int page_in_hand_ = 0;  // the page converted of a file of several, from 1; 0 for a one-page file
  bool busy_ = false;
  // The image of the conversion in hand as it was loaded, and its ink as the
  // thinning received it, for the preview.
  LoadedInkCopy ink_copy_;
  std::shared_ptr<const InkPlane> loaded_ink_;
  std::shared_ptr<const GreyPicture> loaded_grey_;  // only after a conversion that found next to no ink
  std::shared_ptr<const InkPlane> cleaned_ink_;

  ProgressDialog* progress_dialog_ = nullptr;
  ScaleCalculatorDialog* scale_calculator_ = nullptr;
  SavingDialog* saving_dialog_ = nullptr;
  SettingsDialog* settings_dialog_ = nullptr;
  VersionDialog* version_dialog_ = nullptr;
  PageDialog* page_dialog_ = nullptr;
  PreviewWindow* preview_ = nullptr;

  QLabel* outcome_label_;
  QLineEdit* magnification_edit_;
  QPushButton* save_button_;
  SpinEdit* passes_spin_;
  QStatusBar* status_bar_;
  QLabel* status_text_;
  QAction* save_action_;
  QAction* preview_action_;
  QFileDialog* open_dialog_;
  SaveFileDialog* save_dialog_;
};

}  // namespace vp::gui
