// The settings dialog (TForm5, "せってい"): the output formats' settings, the
// special mode with its strength, the drawing as drawn (lines, arcs and
// circles, and whether a skewed scan keeps its skew), the scan clean-up (how ink is told from
// paper, and the largest speck removed), and the DXF header template file.
//
// edit() fills every control from the settings and the template file, then
// shows the dialog modally. OK copies every control back into those settings,
// and the box's text into the header template and its file; "中止" changes
// neither.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>

#include <span>
#include <variant>

#include "core/conversion_settings.h"
#include "dialogs/Controls.h"
#include "dialogs/DxfHeaderModel.h"
#include "export/dxf_header.h"

namespace vp::gui {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `header`: the template the box edits, the main window's; OK writes the
  // box back into it and into its file.
  explicit SettingsDialog(DxfHeaderModel& header, QWidget* parent = nullptr);

  // Fills, then shows modally; OK writes into `settings`. When the
  // template file is there but cannot be read, says so and does not show the
  // dialog (OK would otherwise replace the file with an empty box).
  void edit(ConversionSettings& settings);

  // Fill and copy-back without showing the dialog (for the screenshots).
  void fill(const ConversionSettings& settings);
  void copyBack(ConversionSettings& settings) const;
  // Rereads the template file into the model and shows it in the box.
  DxfHeaderLoadResult loadHeaderFile();

 public slots:
  void okClicked();
  void cancelClicked();
  void showStrength(int position);

 protected:
  // Ctrl+Tab, Ctrl+PgDn and their reverses change tabs from any control,
  // before a combo box or a box takes the keys as its own.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildCoordinateTab(QWidget* page);
  void buildJwcTab(QWidget* page);
  void buildDxfTab(QWidget* page);
  void buildOtherTab(QWidget* page);
  void buildScanTab(QWidget* page);
  // The grey level can be typed only while "a level" is the rule.
  void updateLevelEnabled();

  // A control that edits a setting, by the kind of value it holds: an index
  // (radio group, drop-down list), a 1 off / 2 on flag (check box), a number
  // (spin box), or tenths of a real (track bar).
  using Control =
      std::variant<RadioGroup * SettingsDialog::*, QComboBox * SettingsDialog::*, QCheckBox * SettingsDialog::*,
                   SpinEdit * SettingsDialog::*, QSlider * SettingsDialog::*>;
  struct Binding;
  static std::span<const Binding> bindings();
  void showSetting(const Binding& binding, const ConversionSettings& settings);
  void takeSetting(const Binding& binding, ConversionSettings& settings) const;

  DxfHeaderModel& header_;
  ConversionSettings* target_ = nullptr;

  QTabWidget* pages_;
  // 座標: the coordinate text.
  RadioGroup* separator_group_;
  RadioGroup* text_decimals_group_;
  RadioGroup* extension_group_;
  // JWC: where lines go, and the two layer options (short lines to a layer of
  // their own; horizontal, vertical and oblique lines each to theirs).
  QComboBox* jwc_group_list_;
  QComboBox* jwc_layer_list_;
  QComboBox* jwc_colour_list_;
  QComboBox* jwc_line_type_list_;
  QCheckBox* jwc_short_lines_check_;
  SpinEdit* jwc_short_length_spin_;
  QComboBox* jwc_short_layer_list_;
  QCheckBox* jwc_by_direction_check_;
  QComboBox* jwc_horizontal_layer_list_;
  QComboBox* jwc_vertical_layer_list_;
  QComboBox* jwc_oblique_layer_list_;
  // DXF: the header template's text, the decimals and the same two options.
  QPlainTextEdit* header_edit_;
  QComboBox* dxf_decimals_list_;
  QCheckBox* dxf_short_lines_check_;
  SpinEdit* dxf_short_length_spin_;
  QCheckBox* dxf_by_direction_check_;
  // その他: special mode and its merging strength in tenths.
  QCheckBox* special_check_;
  QSlider* strength_slider_;
  QLabel* strength_label_;
  // その他, below: lines, arcs and circles fitted to the ink, and a skewed scan left so.
  QCheckBox* cad_check_;
  QCheckBox* keep_skew_check_;
  // スキャン: how ink is told from paper, the largest speck removed, and the
  // resolution a PDF page that is not one scanned image is rendered at.
  RadioGroup* threshold_group_;  // in ThresholdRule order
  SpinEdit* grey_level_spin_;
  SpinEdit* speck_spin_;
  SpinEdit* pdf_dpi_spin_;
};

}  // namespace vp::gui
