// The main window (TForm1, "Velorin Pelkin Ⅱ"): the number of thinning passes
// and the magnification, the commands (open, save, preview, scale calculator,
// settings, version, exit), the outcome label and the status bar.
//
// After a conversion the outcome label's tool tip gives the drawing's size in
// millimetres at the current magnification; the preview (TForm7) opens from
// the menu or by a double click on that label, and only while saving is possible.
//
// It owns the conversion's state and the settings: FormCreate (the constructor)
// loads them, FormClose (closing the window) writes them back. The dialogs are
// created after it and handed over with attachForms().
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

#include "core/conversion.h"
#include "core/conversion_settings.h"
#include "app/gui/InkPlane.h"
#include "app/gui/SaveCommand.h"
#include "dialogs/Controls.h"
#include "export/dxf_writer.h"
#include "export/save_host.h"

namespace vp::gui {

class PreviewWindow;
class ProgressDialog;
class ScaleCalculatorDialog;
class SavingDialog;
class SettingsDialog;
class VersionDialog;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // FormCreate: loads every setting from `storage`, checks the two folders;
  // `program_folder` (with trailing separator) is their default.
  MainWindow(SettingsStorage& storage, const QString& program_folder, QWidget* parent = nullptr);
  ~MainWindow() override;

  void attachForms(ProgressDialog* form2, ScaleCalculatorDialog* form3, SavingDialog* form4,
                   SettingsDialog* form5, VersionDialog* form6);

  ConversionSettings& settings() { return settings_; }
  Conversion& conversion() { return conversion_; }
  const QString& openedFileName() const { return OpenedFileName; }
  SaveFileDialog* saveDialog() const { return SaveDialog1; }
  QFileDialog* openDialog() const { return OpenDialog1; }
  // True while a conversion or a save runs.
  bool busy() const { return busy_; }
  PreviewWindow* preview() const { return Form7; }
  // A conversion of `path` as the open command makes it; `announce` false
  // leaves out the closing message (for the screenshots).
  void convert(const QString& path, bool announce = true);
  // How the last conversion ended (Done before the first).
  Outcome lastOutcome() const { return last_conversion_.outcome; }

 public slots:
  void Button1Click();  // open
  void Button3Click();  // save
  void Button4Click();  // scale calculator
  void Preview1Click(); // preview
  void Label6DblClick();
  void Edit1Change();   // the magnification text was changed
  void N3Click();       // settings
  void N2Click();       // version
  void Exit1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void buildMenu();
  void FormClose();
  void setStatus(const QString& text);
  void setSaveEnabled(bool enabled);
  void reportConversion(const QString& path, bool announce);
  void adviseOnScan();
  void updateTrueSize();
  DxfOptions dxfOptions() const;
  SaveResult runWriter(int filter_index, const QString& path);

  SettingsStorage& storage_;
  QString program_folder_;
  ConversionSettings settings_;
  Conversion conversion_;
  ConversionResult last_conversion_;
  QString OpenedFileName;
  bool busy_ = false;
  // The image of the conversion in hand as it was loaded, and its ink as the
  // thinning received it, for the preview.
  LoadedInkCopy ink_copy_;
  std::shared_ptr<const InkPlane> loaded_ink_;
  std::shared_ptr<const InkPlane> cleaned_ink_;

  ProgressDialog* Form2 = nullptr;
  ScaleCalculatorDialog* Form3 = nullptr;
  SavingDialog* Form4 = nullptr;
  SettingsDialog* Form5 = nullptr;
  VersionDialog* Form6 = nullptr;
  PreviewWindow* Form7 = nullptr;

  QLabel* Label6;
  QLineEdit* Edit1;
  QPushButton* Button3;
  SpinEdit* SpinEdit1;
  QStatusBar* StatusBar1;
  QLabel* StatusText;
  QAction* Save1;
  QAction* Preview1;
  QFileDialog* OpenDialog1;
  SaveFileDialog* SaveDialog1;
};

}  // namespace vp::gui
