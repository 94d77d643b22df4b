// The settings dialog (TForm5, "せってい"): the output formats' settings, the
// special mode with its strength, the scan clean-up (how ink is told from
// paper, and the largest speck removed), and the DXF header template file.
//
// edit() fills every control from the settings and the template file, then
// shows the dialog modally. OK copies every control back into those settings
// and writes the box's lines to the template file; "中止" changes nothing.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>

#include <filesystem>

#include "core/conversion_settings.h"
#include "dialogs/Controls.h"
#include "dialogs/HeaderTemplateText.h"
#include "export/dxf_header.h"

namespace vp::gui {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `places`: where the template file is looked for, the user's own copy
  // first; OK writes over the one found, or the user's own when that fails.
  explicit SettingsDialog(DxfHeaderPlaces places, QWidget* parent = nullptr);
  // A single template file, read and written in place.
  explicit SettingsDialog(std::filesystem::path header_path, QWidget* parent = nullptr)
      : SettingsDialog(DxfHeaderPlaces{std::move(header_path), {}}, parent) {}

  // N3Click: fill, then show modally; OK writes into `settings`. When the
  // template file is there but cannot be read, says so and does not show the
  // dialog (OK would otherwise replace the file with an empty box).
  void edit(ConversionSettings& settings);

  // The fill and copy-back steps on their own.
  void fill(const ConversionSettings& settings);
  void copyBack(ConversionSettings& settings) const;
  // Clears the box and loads the template file into it when the file is there.
  DxfHeaderLoadResult loadHeaderFile();

  // The box's lines: the header template the DXF writer starts from.
  DxfHeaderTemplate headerTemplate() const;
  void setHeaderTemplate(const DxfHeaderTemplate& header);

  // The template file in use: the first of the places where one is.
  std::filesystem::path headerPath() const { return find_dxf_header(header_places_); }

 public slots:
  void Button1Click();
  void Button2Click();
  void TrackBar1Change(int position);

 private:
  void buildCoordinateTab(QWidget* page);
  void buildJwcTab(QWidget* page);
  void buildDxfTab(QWidget* page);
  void buildOtherTab(QWidget* page);
  void buildScanTab(QWidget* page);
  // The grey level can be typed only while "a level" is the rule.
  void updateLevelEnabled();

  DxfHeaderPlaces header_places_;
  HeaderEncoding header_encoding_ = HeaderEncoding::Utf8;
  ConversionSettings* target_ = nullptr;

  QTabWidget* PageControl1;
  RadioGroup* RadioGroup1;
  RadioGroup* RadioGroup2;
  RadioGroup* RadioGroup3;
  QComboBox* ComboBox1;
  QComboBox* ComboBox2;
  QComboBox* ComboBox3;
  QComboBox* ComboBox4;
  QComboBox* ComboBox5;
  QComboBox* ComboBox6;
  QComboBox* ComboBox7;
  QComboBox* ComboBox8;
  QComboBox* ComboBox9;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox5;
  SpinEdit* SpinEdit1;
  SpinEdit* SpinEdit2;
  QPlainTextEdit* Memo1;
  QSlider* TrackBar1;
  QLabel* Label10;
  RadioGroup* RadioGroup4;  // the threshold rule, in ThresholdRule order
  SpinEdit* SpinEdit3;      // its grey level
  SpinEdit* SpinEdit4;      // the largest speck
};

}  // namespace vp::gui
