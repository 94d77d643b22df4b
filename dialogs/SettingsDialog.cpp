#include "dialogs/SettingsDialog.h"

#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "imageio/image_reader.h"
#include "scan/dust_removal.h"

namespace vp::gui {
namespace {

const QStringList kHexDigits = {QStringLiteral("０"), QStringLiteral("１"), QStringLiteral("２"), QStringLiteral("３"),
                                QStringLiteral("４"), QStringLiteral("５"), QStringLiteral("６"), QStringLiteral("７"),
                                QStringLiteral("８"), QStringLiteral("９"), QStringLiteral("Ａ"), QStringLiteral("Ｂ"),
                                QStringLiteral("Ｃ"), QStringLiteral("Ｄ"), QStringLiteral("Ｅ"), QStringLiteral("Ｆ")};
const QStringList kPrecisions = {QStringLiteral("無し"), QStringLiteral("１桁"), QStringLiteral("２桁"),
                                 QStringLiteral("３桁"), QStringLiteral("４桁"), QStringLiteral("実数")};

QComboBox* makeList(QWidget* parent, const char* name, const QStringList& items, int left, int top, int width) {
  auto* list = new QComboBox(parent);
  list->addItems(items);
  list->setMaxVisibleItems(16);
  return place(list, name, left, top, width, 21);
}

QString nativePath(const std::filesystem::path& path) {
  return QDir::toNativeSeparators(QString::fromStdString(path.string()));
}

// A check box shows a 1 off / 2 on setting; any other value leaves it as it was.
void showFlag(QCheckBox* box, std::int32_t value) {
  if (value == kFlagOff) box->setChecked(false);
  if (value == kFlagOn) box->setChecked(true);
}

std::int32_t flagOf(const QCheckBox* box) { return flag_value(box->isChecked()); }

using Dialog = SettingsDialog;

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

const SettingRow& settingRow(std::string_view key) {
  for (const SettingRow& row : settings_table()) {
    if (row.name == key) return row;
  }
  throw std::logic_error("no stored setting " + std::string(key));
}

// The field a stored name is held in; a binding to a setting of another kind
// throws (std::bad_variant_access), which every fill shows at once.
std::int32_t ConversionSettings::*integerField(std::string_view key) {
  return std::get<IntegerSetting>(settingRow(key).kind).field;
}
float ConversionSettings::*tenthsField(std::string_view key) {
  return std::get<TenthsSetting>(settingRow(key).kind).field;
}

}  // namespace

SettingsDialog::SettingsDialog(DxfHeaderModel& header, QWidget* parent) : QDialog(parent), header_(header) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("せってい"));
  makeFixedWindow(this, 466, 310, true);  // closing is 中止

  pages_ = place(new QTabWidget(this), "PageControl1", 8, 8, 449, 265);
  const char* names[] = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4", "TabSheet5"};
  const QString captions[] = {QStringLiteral("座標"), QStringLiteral("JWC"), QStringLiteral("DXF"),
                              QStringLiteral("その他"), QStringLiteral("スキャン")};
  QWidget* pages[5];
  for (int i = 0; i < 5; ++i) {
    pages[i] = new QWidget;
    pages[i]->setObjectName(QString::fromLatin1(names[i]));
    pages_->addTab(pages[i], captions[i]);
  }
  buildCoordinateTab(pages[0]);
  buildJwcTab(pages[1]);
  buildDxfTab(pages[2]);
  buildOtherTab(pages[3]);
  buildScanTab(pages[4]);

  auto* ok = makeButton(this, "Button1", QStringLiteral("OK"), QRect(304, 280, 75, 25));
  auto* cancel = makeButton(this, "Button2", QStringLiteral("中止"), QRect(384, 280, 75, 25));
  connect(ok, &QPushButton::clicked, this, &SettingsDialog::okClicked);
  connect(cancel, &QPushButton::clicked, this, &SettingsDialog::cancelClicked);
  connect(strength_slider_, &QSlider::valueChanged, this, &SettingsDialog::showStrength);
  for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);
  centreOnScreen(this);
  keepPlace(this);
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* key = static_cast<const QKeyEvent*>(event);
  if (!(key->modifiers() & Qt::ControlModifier)) return false;
  int step = 0;
  if (key->key() == Qt::Key_PageDown || (key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier))) {
    step = 1;
  } else if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_Backtab ||
             (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier))) {
    step = -1;
  }
  if (step == 0) return false;
  pages_->setCurrentIndex((pages_->currentIndex() + step + pages_->count()) % pages_->count());
  return true;
}

void SettingsDialog::buildCoordinateTab(QWidget* page) {
  separator_group_ = place(new RadioGroup(QStringLiteral("　仕切文字　"),
                                          {QStringLiteral("半角スペース"), QStringLiteral("カンマ（，)"),
                                           QStringLiteral("マイナス（－）"), QStringLiteral("スラッシュ（／）")},
                                          page),
                           "RadioGroup1", 8, 8, 137, 120);
  text_decimals_group_ =
      place(new RadioGroup(QStringLiteral("　小数点以下精度　"), kPrecisions, page), "RadioGroup2", 153, 8, 137, 164);
  extension_group_ = place(new RadioGroup(QStringLiteral("　拡張子　"),
                                          {QStringLiteral("TXT"), QStringLiteral("TEXT"), QStringLiteral("CSV")}, page),
                           "RadioGroup3", 298, 8, 129, 98);
}

void SettingsDialog::buildJwcTab(QWidget* page) {
  auto* basic = place(new QGroupBox(QStringLiteral(" 基本設定 "), page), "GroupBox2", 8, 4, 425, 80);
  makeLabel(basic, "Label1", QStringLiteral("ｸﾞﾙｰﾌﾟ"), 10, 29);
  jwc_group_list_ = makeList(basic, "ComboBox2", kHexDigits, 48, 26, 52);
  makeLabel(basic, "Label2", QStringLiteral("ﾚｲﾔｰ"), 110, 29);
  jwc_layer_list_ = makeList(basic, "ComboBox3", kHexDigits, 138, 26, 52);
  makeLabel(basic, "Label3", QStringLiteral("線色"), 200, 29);
  jwc_colour_list_ = makeList(basic, "ComboBox4",
                              {QStringLiteral("水"), QStringLiteral("白"), QStringLiteral("緑"), QStringLiteral("黄"),
                               QStringLiteral("紫"), QStringLiteral("青")},
                              228, 26, 52);
  makeLabel(basic, "Label4", QStringLiteral("線種"), 290, 29);
  jwc_line_type_list_ = makeList(basic, "ComboBox5",
                                 {QStringLiteral("実線"), QStringLiteral("点線１"), QStringLiteral("点線２"),
                                  QStringLiteral("点線３"), QStringLiteral("一点鎖線１"), QStringLiteral("一点鎖線２"),
                                  QStringLiteral("二点鎖線１"), QStringLiteral("二点鎖線２"), QStringLiteral("補助線")},
                                 318, 26, 96);
  makeLabel(basic, "Label13", QStringLiteral("※縦横斜めを分けた場合このﾚｲﾔｰ設定は無効になります。"), 10, 56);

  auto* options = place(new QGroupBox(QStringLiteral(" ｵﾌﾟｼｮﾝ　"), page), "GroupBox3", 8, 90, 425, 142);
  jwc_short_lines_check_ =
      place(new QCheckBox(QStringLiteral("所定長さ以下の線の処理（優先）"), options), "CheckBox3", 10, 26, 300, 20);
  jwc_short_length_spin_ = place(new SpinEdit(options), "SpinEdit1", 30, 50, 60, 22);
  jwc_short_length_spin_->setRange(0, 1000);
  jwc_short_length_spin_->setTypingAllowed(false);
  makeLabel(options, "Label5", QStringLiteral("mm以下（実寸）の線を"), 96, 53);
  makeLabel(options, "Label6", QStringLiteral("ﾚｲﾔｰ"), 236, 53);
  jwc_short_layer_list_ = makeList(options, "ComboBox1", kHexDigits, 264, 50, 52);
  makeLabel(options, "Label7", QStringLiteral("に移動する。"), 322, 53);

  jwc_by_direction_check_ =
      place(new QCheckBox(QStringLiteral("縦横斜めをﾚｲﾔｰ分けする"), options), "CheckBox2", 10, 84, 300, 20);
  makeLabel(options, "Label8", QStringLiteral("横"), 30, 111);
  jwc_horizontal_layer_list_ = makeList(options, "ComboBox6", kHexDigits, 46, 108, 52);
  makeLabel(options, "Label11", QStringLiteral("縦"), 116, 111);
  jwc_vertical_layer_list_ = makeList(options, "ComboBox7", kHexDigits, 132, 108, 52);
  makeLabel(options, "Label12", QStringLiteral("斜め"), 202, 111);
  jwc_oblique_layer_list_ = makeList(options, "ComboBox8", kHexDigits, 230, 108, 52);
}

void SettingsDialog::buildDxfTab(QWidget* page) {
  makeLabel(page, "Label14", QStringLiteral("ヘッダー部"), 8, 4);
  header_edit_ = place(new QPlainTextEdit(page), "Memo1", 8, 24, 265, 193);
  header_edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  header_edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  header_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* precision = place(new QGroupBox(QStringLiteral(" 小数点以下精度 "), page), "GroupBox4", 282, 4, 151, 60);
  dxf_decimals_list_ = makeList(precision, "ComboBox9", kPrecisions, 10, 28, 100);

  auto* options = place(new QGroupBox(QStringLiteral(" ｵﾌﾟｼｮﾝ "), page), "GroupBox5", 282, 70, 151, 147);
  dxf_short_lines_check_ = place(new QCheckBox(options), "CheckBox4", 8, 28, 18, 18);
  // Widths that break the two captions between words: "…線の" / "処理（優先）"
  // and "…ﾚｲﾔｰ" / "分けする。".
  makeWrappedLabel(options, "Label15", QStringLiteral("所定長さ以下の線の処理（優先）"), QRect(28, 27, 110, 38));
  dxf_short_length_spin_ = place(new SpinEdit(options), "SpinEdit2", 28, 70, 66, 22);
  dxf_short_length_spin_->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  dxf_short_length_spin_->setNotANumberValue(0);
  makeLabel(options, "Label16", QStringLiteral("mm以下"), 98, 73);
  dxf_by_direction_check_ = place(new QCheckBox(options), "CheckBox5", 8, 104, 18, 18);
  makeWrappedLabel(options, "Label17", QStringLiteral("縦横斜めをﾚｲﾔｰ分けする。"), QRect(28, 103, 90, 38));
}

void SettingsDialog::buildOtherTab(QWidget* page) {
  // Special mode above, the drawing as drawn below it: the group is as tall as
  // its last caption needs.
  auto* group = place(new QGroupBox(QStringLiteral(" スペシャルバナナ "), page), "GroupBox1", 8, 4, 425, 176);
  special_check_ = place(new QCheckBox(QStringLiteral("使う！"), group), "CheckBox1", 16, 28, 120, 20);
  makeLabel(group, "Label9", QStringLiteral("刺激度："), 16, 54);
  strength_label_ = makeLabel(group, "Label10", QStringLiteral("5.0"), 70, 54);
  strength_slider_ = place(new QSlider(Qt::Horizontal, group), "TrackBar1", 16, 68, 389, 45);
  strength_slider_->setRange(1, 100);
  strength_slider_->setValue(50);
  strength_slider_->setTickPosition(QSlider::TicksBelow);
  strength_slider_->setTickInterval(5);
  strength_slider_->setPageStep(10);
  makeLabel(group, "Label11", QStringLiteral("※このオプションを使うとより線の本数が減らせます。"), 16, 114);
  makeRed(makeLabel(group, "Label20", QStringLiteral("※注意："), 16, 132));
  makeRed(makeWrappedLabel(group, "Label19",
                           QStringLiteral("スペシャルバナナをつかうと、ほとんどの線が斜めになります"
                                          "ので、JWC・DXFの設定にある縦横斜めのレイヤー分けがうま"
                                          "くいきません。"),
                           QRect(16, 148, 393, 24)));

  auto* drawn = place(new QGroupBox(QStringLiteral(" かいたとおりに（せん・えんこ・えん） "), page), "GroupBox7", 8,
                      184, 425, 48);
  cad_check_ = place(new QCheckBox(QStringLiteral("使う！"), drawn), "CheckBox6", 16, 22, 120, 20);
  cad_check_->setToolTip(QStringLiteral("ほそくした線を、ちょくせん・えんこ・えんにしてほぞんします。"));
  keep_skew_check_ = place(new QCheckBox(QStringLiteral("かたむきはそのまま"), drawn), "CheckBox7", 140, 22, 200, 20);
  keep_skew_check_->setToolTip(QStringLiteral("「使う！」のとき、スキャンのかたむき（5°まで）をなおしません。"));
}

void SettingsDialog::buildScanTab(QWidget* page) {
  // Items in ThresholdRule order: the index is the stored ScanThreshold.
  threshold_group_ =
      place(new RadioGroup(QStringLiteral(" いんくのみわけかた "),
                           {QStringLiteral("ふぁいるしだい（スキャンはおまかせ）"),
                            QStringLiteral("いちばん黒い色だけ（nearest-black）"), QStringLiteral("おまかせ（auto）"),
                            QStringLiteral("ぜんたいで（otsu）"), QStringLiteral("ばしょごと（adaptive）"),
                            QStringLiteral("このこさより黒い：")},
                           page),
            "RadioGroup4", 8, 4, 257, 164);
  grey_level_spin_ = place(new SpinEdit(threshold_group_), "SpinEdit3", 140, 134, 50, 22);
  grey_level_spin_->setRange(1, 255);
  makeLabel(threshold_group_, "Label22", QStringLiteral("（1～255）"), 194, 137);
  for (QRadioButton* item : threshold_group_->findChildren<QRadioButton*>()) {
    connect(item, &QRadioButton::toggled, this, &SettingsDialog::updateLevelEnabled);
  }

  auto* specks = place(new QGroupBox(QStringLiteral(" ごみとり "), page), "GroupBox6", 273, 4, 160, 164);
  speck_spin_ = place(new SpinEdit(specks), "SpinEdit4", 10, 28, 60, 22);
  speck_spin_->setRange(0, scan::kMaxSpeck);
  makeLabel(specks, "Label23", QStringLiteral("ぴくせる以下"), 76, 31);
  makeWrappedLabel(specks, "Label24",
                   QStringLiteral("ちいさな点（ほこりやノイズ）を線にするまえにけします。0ならけしません。"),
                   QRect(10, 60, 140, 36));

  makeWrappedLabel(page, "Label25",
                   QStringLiteral("※グレーやカラーでスキャンしたBMPには「おまかせ」がおすすめです。\n"
                                  "白黒の画像はどれをえらんでもそのままよみこみます。"),
                   QRect(8, 172, 425, 36));

  // The converter's --dpi: only pages drawn otherwise than as one scanned image are rendered.
  makeLabel(page, "Label26", QStringLiteral("PDFをえにするこまかさ："), 8, 213);
  pdf_dpi_spin_ = place(new SpinEdit(page), "SpinEdit5", 170, 210, 60, 22);
  pdf_dpi_spin_->setRange(PageChoice::kLowestDpi, PageChoice::kHighestDpi);
  pdf_dpi_spin_->setToolTip(
      QStringLiteral("スキャンした画像1まいだけのページは、このこまかさによらず、そのままよみこみます。"));
  makeLabel(page, "Label27", QStringLiteral("dpi（50～1200）"), 236, 213);
  updateLevelEnabled();
}

void SettingsDialog::updateLevelEnabled() {
  grey_level_spin_->setEnabled(threshold_group_->itemIndex() == static_cast<int>(scan::ThresholdRule::Level));
}

// --- Fill and copy back ----------------------------------------------------

// Which control edits which stored setting, tab by tab. Fill and copy-back
// both walk this one table, so a control added to a tab is bound once.
struct SettingsDialog::Binding {
  std::string_view key;  // the stored name, as settings_table() lists it
  Control control;
};

std::span<const SettingsDialog::Binding> SettingsDialog::bindings() {
  static constexpr Binding kBindings[] = {
      {"ZahyouDiv", &Dialog::separator_group_},
      {"ZahyouReal", &Dialog::text_decimals_group_},
      {"ZahyouExt", &Dialog::extension_group_},
      {"JwcGroupe", &Dialog::jwc_group_list_},
      {"JwcLayer", &Dialog::jwc_layer_list_},
      {"JwcColor", &Dialog::jwc_colour_list_},
      {"JwcType", &Dialog::jwc_line_type_list_},
      {"JwcOption1", &Dialog::jwc_short_lines_check_},
      {"JwcOption1_Len", &Dialog::jwc_short_length_spin_},
      {"JwcOption1_Lay", &Dialog::jwc_short_layer_list_},
      {"JwcOption2", &Dialog::jwc_by_direction_check_},
      {"JwcOption2_X", &Dialog::jwc_horizontal_layer_list_},
      {"JwcOption2_Y", &Dialog::jwc_vertical_layer_list_},
      {"JwcOption2_R", &Dialog::jwc_oblique_layer_list_},
      {"DxfReal", &Dialog::dxf_decimals_list_},
      {"DxfOption1", &Dialog::dxf_short_lines_check_},
      {"DxfOption1_Len", &Dialog::dxf_short_length_spin_},
      {"DxfOption2", &Dialog::dxf_by_direction_check_},
      {"Special", &Dialog::special_check_},
      {"Ave", &Dialog::strength_slider_},
      {"Cad", &Dialog::cad_check_},
      {"CadKeepSkew", &Dialog::keep_skew_check_},
      {"ScanThreshold", &Dialog::threshold_group_},
      {"ScanLevel", &Dialog::grey_level_spin_},
      {"ScanSpeck", &Dialog::speck_spin_},
      {"PdfDpi", &Dialog::pdf_dpi_spin_},
  };
  return kBindings;
}

void SettingsDialog::showSetting(const Binding& binding, const ConversionSettings& s) {
  std::visit(Overload{
                 [&](RadioGroup* Dialog::*group) { (this->*group)->setItemIndex(s.*integerField(binding.key)); },
                 [&](QComboBox* Dialog::*list) { (this->*list)->setCurrentIndex(s.*integerField(binding.key)); },
                 [&](QCheckBox* Dialog::*box) { showFlag(this->*box, s.*integerField(binding.key)); },
                 [&](SpinEdit* Dialog::*spin) { (this->*spin)->setValue(s.*integerField(binding.key)); },
                 [&](QSlider* Dialog::*bar) {
                   // A value that is not a number leaves the bar where it is.
                   (this->*bar)->setValue(real_to_tenths(s.*tenthsField(binding.key), (this->*bar)->value()));
                 },
             },
             binding.control);
}

void SettingsDialog::takeSetting(const Binding& binding, ConversionSettings& s) const {
  std::visit(Overload{
                 [&](RadioGroup* Dialog::*group) { s.*integerField(binding.key) = (this->*group)->itemIndex(); },
                 [&](QComboBox* Dialog::*list) { s.*integerField(binding.key) = (this->*list)->currentIndex(); },
                 [&](QCheckBox* Dialog::*box) { s.*integerField(binding.key) = flagOf(this->*box); },
                 [&](SpinEdit* Dialog::*spin) { s.*integerField(binding.key) = (this->*spin)->currentValue(); },
                 [&](QSlider* Dialog::*bar) { s.*tenthsField(binding.key) = tenths_to_real((this->*bar)->value()); },
             },
             binding.control);
}

void SettingsDialog::fill(const ConversionSettings& settings) {
  // The scan clean-up as the conversion takes it: an unknown rule as "by
  // format", the numbers clamped.
  ConversionSettings shown = settings;
  set_scan_cleanup(shown, scan_cleanup_of(settings));
  for (const Binding& binding : bindings()) showSetting(binding, shown);
  pages_->setCurrentIndex(0);  // every showing starts on the 座標 tab
  updateLevelEnabled();
}

void SettingsDialog::copyBack(ConversionSettings& settings) const {
  for (const Binding& binding : bindings()) takeSetting(binding, settings);
  // No rule chosen (a dialog never filled) is stored as "by format".
  set_scan_cleanup(settings, scan_cleanup_of(settings));
}

DxfHeaderLoadResult SettingsDialog::loadHeaderFile() {
  const DxfHeaderLoadResult loaded = header_.load();
  header_edit_->setPlainText(header_.text());
  return loaded;
}

void SettingsDialog::edit(ConversionSettings& settings) {
  fill(settings);
  if (loadHeaderFile().outcome == DxfHeaderLoad::Unreadable) {
    showErrorBox(parentWidget(), qtext(dxf_header_unreadable_message(header_.path())));
    return;
  }
  target_ = &settings;
  exec();
  target_ = nullptr;
}

// --- Handlers --------------------------------------------------------------

void SettingsDialog::okClicked() {
  if (target_ != nullptr) copyBack(*target_);
  header_.setText(header_edit_->toPlainText());
  // An installed template the user may not change gives way to the user's own copy.
  const DxfHeaderSaveResult saved = header_.save();
  if (saved.error) {
    // The settings stay copied; the dialog stays open.
    showErrorBox(this, QStringLiteral("ファイル %1 を作成できません").arg(nativePath(saved.path)));
    return;
  }
  accept();
}

void SettingsDialog::cancelClicked() { reject(); }

void SettingsDialog::showStrength(int position) { setLabelText(strength_label_, QString::number(position)); }

}  // namespace vp::gui
