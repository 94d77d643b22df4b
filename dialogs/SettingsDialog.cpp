#include "dialogs/SettingsDialog.h"

#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <limits>
#include <utility>

#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "scan/dust_removal.h"

namespace vp::gui {
namespace {

const QStringList kHexDigits = {
    QStringLiteral("０"), QStringLiteral("１"), QStringLiteral("２"), QStringLiteral("３"),
    QStringLiteral("４"), QStringLiteral("５"), QStringLiteral("６"), QStringLiteral("７"),
    QStringLiteral("８"), QStringLiteral("９"), QStringLiteral("Ａ"), QStringLiteral("Ｂ"),
    QStringLiteral("Ｃ"), QStringLiteral("Ｄ"), QStringLiteral("Ｅ"), QStringLiteral("Ｆ")};
const QStringList kPrecisions = {QStringLiteral("無し"), QStringLiteral("１桁"),
                                 QStringLiteral("２桁"), QStringLiteral("３桁"),
                                 QStringLiteral("４桁"), QStringLiteral("実数")};

QComboBox* makeList(QWidget* parent, const char* name, const QStringList& items, int left, int top,
                    int width) {
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

}  // namespace

SettingsDialog::SettingsDialog(DxfHeaderPlaces places, QWidget* parent)
    : QDialog(parent), header_places_(std::move(places)) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("せってい"));
  makeFixedWindow(this, 466, 310, true);  // closing is 中止

  PageControl1 = place(new QTabWidget(this), "PageControl1", 8, 8, 449, 265);
  const char* names[] = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4", "TabSheet5"};
  const QString captions[] = {QStringLiteral("座標"), QStringLiteral("JWC"), QStringLiteral("DXF"),
                              QStringLiteral("その他"), QStringLiteral("スキャン")};
  QWidget* pages[5];
  for (int i = 0; i < 5; ++i) {
    pages[i] = new QWidget;
    pages[i]->setObjectName(QString::fromLatin1(names[i]));
    PageControl1->addTab(pages[i], captions[i]);
  }
  buildCoordinateTab(pages[0]);
  buildJwcTab(pages[1]);
  buildDxfTab(pages[2]);
  buildOtherTab(pages[3]);
  buildScanTab(pages[4]);

  auto* ok = makeButton(this, "Button1", QStringLiteral("OK"), QRect(304, 280, 75, 25));
  auto* cancel = makeButton(this, "Button2", QStringLiteral("中止"), QRect(384, 280, 75, 25));
  connect(ok, &QPushButton::clicked, this, &SettingsDialog::Button1Click);
  connect(cancel, &QPushButton::clicked, this, &SettingsDialog::Button2Click);
  connect(TrackBar1, &QSlider::valueChanged, this, &SettingsDialog::TrackBar1Change);
  centreOnScreen(this);
}

void SettingsDialog::buildCoordinateTab(QWidget* page) {
  RadioGroup1 = place(new RadioGroup(QStringLiteral("　仕切文字　"),
                                     {QStringLiteral("半角スペース"), QStringLiteral("カンマ（，)"),
                                      QStringLiteral("マイナス（－）"),
                                      QStringLiteral("スラッシュ（／）")},
                                     page),
                      "RadioGroup1", 8, 8, 137, 120);
  RadioGroup2 = place(new RadioGroup(QStringLiteral("　小数点以下精度　"), kPrecisions, page),
                      "RadioGroup2", 153, 8, 137, 164);
  RadioGroup3 = place(new RadioGroup(QStringLiteral("　拡張子　"),
                                     {QStringLiteral("TXT"), QStringLiteral("TEXT"),
                                      QStringLiteral("CSV")},
                                     page),
                      "RadioGroup3", 298, 8, 129, 98);
}

void SettingsDialog::buildJwcTab(QWidget* page) {
  auto* basic = place(new QGroupBox(QStringLiteral(" 基本設定 "), page), "GroupBox2", 8, 4, 425, 80);
  makeLabel(basic, "Label1", QStringLiteral("ｸﾞﾙｰﾌﾟ"), 10, 29);
  ComboBox2 = makeList(basic, "ComboBox2", kHexDigits, 48, 26, 52);
  makeLabel(basic, "Label2", QStringLiteral("ﾚｲﾔｰ"), 110, 29);
  ComboBox3 = makeList(basic, "ComboBox3", kHexDigits, 138, 26, 52);
  makeLabel(basic, "Label3", QStringLiteral("線色"), 200, 29);
  ComboBox4 = makeList(basic, "ComboBox4",
                       {QStringLiteral("水"), QStringLiteral("白"), QStringLiteral("緑"),
                        QStringLiteral("黄"), QStringLiteral("紫"), QStringLiteral("青")},
                       228, 26, 52);
  makeLabel(basic, "Label4", QStringLiteral("線種"), 290, 29);
  ComboBox5 = makeList(basic, "ComboBox5",
                       {QStringLiteral("実線"), QStringLiteral("点線１"), QStringLiteral("点線２"),
                        QStringLiteral("点線３"), QStringLiteral("一点鎖線１"),
                        QStringLiteral("一点鎖線２"), QStringLiteral("二点鎖線１"),
                        QStringLiteral("二点鎖線２"), QStringLiteral("補助線")},
                       318, 26, 96);
  makeLabel(basic, "Label13", QStringLiteral("※縦横斜めを分けた場合このﾚｲﾔｰ設定は無効になります。"),
            10, 56);

  auto* options =
      place(new QGroupBox(QStringLiteral(" ｵﾌﾟｼｮﾝ　"), page), "GroupBox3", 8, 90, 425, 142);
  CheckBox3 = place(new QCheckBox(QStringLiteral("所定長さ以下の線の処理（優先）"), options),
                    "CheckBox3", 10, 26, 300, 20);
  SpinEdit1 = place(new SpinEdit(options), "SpinEdit1", 30, 50, 60, 22);
  SpinEdit1->setRange(0, 1000);
  SpinEdit1->setTypingAllowed(false);
  makeLabel(options, "Label5", QStringLiteral("mm以下（実寸）の線を"), 96, 53);
  makeLabel(options, "Label6", QStringLiteral("ﾚｲﾔｰ"), 236, 53);
  ComboBox1 = makeList(options, "ComboBox1", kHexDigits, 264, 50, 52);
  makeLabel(options, "Label7", QStringLiteral("に移動する。"), 322, 53);

  CheckBox2 = place(new QCheckBox(QStringLiteral("縦横斜めをﾚｲﾔｰ分けする"), options), "CheckBox2",
                    10, 84, 300, 20);
  makeLabel(options, "Label8", QStringLiteral("横"), 30, 111);
  ComboBox6 = makeList(options, "ComboBox6", kHexDigits, 46, 108, 52);
  makeLabel(options, "Label11", QStringLiteral("縦"), 116, 111);
  ComboBox7 = makeList(options, "ComboBox7", kHexDigits, 132, 108, 52);
  makeLabel(options, "Label12", QStringLiteral("斜め"), 202, 111);
  ComboBox8 = makeList(options, "ComboBox8", kHexDigits, 230, 108, 52);
}

void SettingsDialog::buildDxfTab(QWidget* page) {
  makeLabel(page, "Label14", QStringLiteral("ヘッダー部"), 8, 4);
  Memo1 = place(new QPlainTextEdit(page), "Memo1", 8, 24, 265, 193);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* precision = place(new QGroupBox(QStringLiteral(" 小数点以下精度 "), page), "GroupBox4",
                          282, 4, 151, 60);
  ComboBox9 = makeList(precision, "ComboBox9", kPrecisions, 10, 28, 100);

  auto* options =
      place(new QGroupBox(QStringLiteral(" ｵﾌﾟｼｮﾝ "), page), "GroupBox5", 282, 70, 151, 147);
  CheckBox4 = place(new QCheckBox(options), "CheckBox4", 8, 28, 18, 18);
  // Widths that break the two captions between words: "…線の" / "処理（優先）"
  // and "…ﾚｲﾔｰ" / "分けする。".
  makeWrappedLabel(options, "Label15", QStringLiteral("所定長さ以下の線の処理（優先）"),
                   QRect(28, 27, 110, 38));
  SpinEdit2 = place(new SpinEdit(options), "SpinEdit2", 28, 70, 66, 22);
  SpinEdit2->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  SpinEdit2->setNotANumberValue(0);
  makeLabel(options, "Label16", QStringLiteral("mm以下"), 98, 73);
  CheckBox5 = place(new QCheckBox(options), "CheckBox5", 8, 104, 18, 18);
  makeWrappedLabel(options, "Label17", QStringLiteral("縦横斜めをﾚｲﾔｰ分けする。"),
                   QRect(28, 103, 90, 38));
}

void SettingsDialog::buildOtherTab(QWidget* page) {
  auto* group = place(new QGroupBox(QStringLiteral(" スペシャルバナナ "), page), "GroupBox1", 8,
                      4, 425, 228);
  CheckBox1 = place(new QCheckBox(QStringLiteral("使う！"), group), "CheckBox1", 16, 28, 120, 20);
  makeLabel(group, "Label9", QStringLiteral("刺激度："), 16, 54);
  Label10 = makeLabel(group, "Label10", QStringLiteral("5.0"), 70, 54);
  TrackBar1 = place(new QSlider(Qt::Horizontal, group), "TrackBar1", 16, 72, 389, 45);
  TrackBar1->setRange(1, 100);
  TrackBar1->setValue(50);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(5);
  TrackBar1->setPageStep(10);
  makeLabel(group, "Label11", QStringLiteral("※このオプションを使うとより線の本数が減らせます。"),
            16, 122);
  makeRed(makeLabel(group, "Label20", QStringLiteral("※注意："), 16, 146));
  makeRed(makeWrappedLabel(group, "Label19",
                           QStringLiteral("スペシャルバナナをつかうと、ほとんどの線が斜めになります"
                                          "ので、JWC・DXFの設定にある縦横斜めのレイヤー分けがうま"
                                          "くいきません。"),
                           QRect(16, 166, 393, 56)));
}

void SettingsDialog::buildScanTab(QWidget* page) {
  // Items in ThresholdRule order: the index is the stored ScanThreshold.
  RadioGroup4 = place(new RadioGroup(QStringLiteral(" いんくのみわけかた "),
                                     {QStringLiteral("ふぁいるしだい（JPEGはおまかせ）"),
                                      QStringLiteral("いちばん黒い色だけ（nearest-black）"),
                                      QStringLiteral("おまかせ（auto）"), QStringLiteral("ぜんたいで（otsu）"),
                                      QStringLiteral("ばしょごと（adaptive）"),
                                      QStringLiteral("このこさより黒い：")},
                                     page),
                      "RadioGroup4", 8, 4, 257, 164);
  SpinEdit3 = place(new SpinEdit(RadioGroup4), "SpinEdit3", 140, 134, 50, 22);
  SpinEdit3->setRange(1, 255);
  makeLabel(RadioGroup4, "Label22", QStringLiteral("（1～255）"), 194, 137);
  for (QRadioButton* item : RadioGroup4->findChildren<QRadioButton*>()) {
    connect(item, &QRadioButton::toggled, this, &SettingsDialog::updateLevelEnabled);
  }

  auto* specks = place(new QGroupBox(QStringLiteral(" ごみとり "), page), "GroupBox6", 273, 4, 160, 164);
  SpinEdit4 = place(new SpinEdit(specks), "SpinEdit4", 10, 28, 60, 22);
  SpinEdit4->setRange(0, scan::kMaxSpeck);
  makeLabel(specks, "Label23", QStringLiteral("ぴくせる以下"), 76, 31);
  makeWrappedLabel(specks, "Label24",
                   QStringLiteral("ちいさな点（ほこりやノイズ）を線にするまえにけします。0ならけしません。"),
                   QRect(10, 60, 140, 36));

  makeWrappedLabel(page, "Label25",
                   QStringLiteral("※グレーやカラーでスキャンした画像やJPEGには「おまかせ」がおすすめです。\n"
                                  "白黒の画像はどれをえらんでもそのままよみこみます。"),
                   QRect(8, 180, 425, 36));
  updateLevelEnabled();
}

void SettingsDialog::updateLevelEnabled() {
  SpinEdit3->setEnabled(RadioGroup4->itemIndex() == static_cast<int>(scan::ThresholdRule::Level));
}

// --- Fill and copy back ----------------------------------------------------

void SettingsDialog::fill(const ConversionSettings& s) {
  showFlag(CheckBox1, s.Special);
  TrackBar1->setValue(real_to_tenths(s.Ave, TrackBar1->value()));
  PageControl1->setCurrentIndex(0);
  RadioGroup1->setItemIndex(s.ZahyouDiv);
  RadioGroup2->setItemIndex(s.ZahyouReal);
  RadioGroup3->setItemIndex(s.ZahyouExt);
  ComboBox2->setCurrentIndex(s.JwcGroupe);
  ComboBox3->setCurrentIndex(s.JwcLayer);
  ComboBox4->setCurrentIndex(s.JwcColor);
  ComboBox5->setCurrentIndex(s.JwcType);
  showFlag(CheckBox3, s.JwcOption1);
  SpinEdit1->setValue(s.JwcOption1_Len);
  ComboBox1->setCurrentIndex(s.JwcOption1_Lay);
  showFlag(CheckBox2, s.JwcOption2);
  ComboBox6->setCurrentIndex(s.JwcOption2_X);
  ComboBox7->setCurrentIndex(s.JwcOption2_Y);
  ComboBox8->setCurrentIndex(s.JwcOption2_R);
  ComboBox9->setCurrentIndex(s.DxfReal);
  showFlag(CheckBox4, s.DxfOption1);
  SpinEdit2->setValue(s.DxfOption1_Len);
  showFlag(CheckBox5, s.DxfOption2);
  // As the conversion takes them: an unknown rule as "by format", the numbers clamped.
  const scan::CleanupSettings cleanup = scan_cleanup_of(s);
  RadioGroup4->setItemIndex(static_cast<int>(cleanup.threshold.rule));
  SpinEdit3->setValue(cleanup.threshold.level);
  SpinEdit4->setValue(cleanup.despeckle);
  updateLevelEnabled();
}

void SettingsDialog::copyBack(ConversionSettings& s) const {
  s.ZahyouDiv = RadioGroup1->itemIndex();
  s.ZahyouReal = RadioGroup2->itemIndex();
  s.ZahyouExt = RadioGroup3->itemIndex();
  s.JwcGroupe = ComboBox2->currentIndex();
  s.JwcLayer = ComboBox3->currentIndex();
  s.JwcColor = ComboBox4->currentIndex();
  s.JwcType = ComboBox5->currentIndex();
  s.JwcOption1 = flagOf(CheckBox3);
  s.JwcOption1_Len = SpinEdit1->currentValue();
  s.JwcOption1_Lay = ComboBox1->currentIndex();
  s.JwcOption2 = flagOf(CheckBox2);
  s.JwcOption2_X = ComboBox6->currentIndex();
  s.JwcOption2_Y = ComboBox7->currentIndex();
  s.JwcOption2_R = ComboBox8->currentIndex();
  s.DxfReal = ComboBox9->currentIndex();
  s.DxfOption1 = flagOf(CheckBox4);
  s.DxfOption1_Len = SpinEdit2->currentValue();
  s.DxfOption2 = flagOf(CheckBox5);
  s.Special = flagOf(CheckBox1);
  s.Ave = tenths_to_real(TrackBar1->value());
  scan::CleanupSettings cleanup;
  cleanup.threshold.rule = static_cast<scan::ThresholdRule>(std::max(RadioGroup4->itemIndex(), 0));
  cleanup.threshold.level = SpinEdit3->currentValue();
  cleanup.despeckle = SpinEdit4->currentValue();
  set_scan_cleanup(s, cleanup);
}

DxfHeaderLoadResult SettingsDialog::loadHeaderFile() {
  Memo1->clear();
  DxfHeaderTemplate header;
  const DxfHeaderLoadResult loaded = reload_dxf_header(headerPath(), header);
  if (loaded.outcome == DxfHeaderLoad::Loaded) setHeaderTemplate(header);
  return loaded;
}

DxfHeaderTemplate SettingsDialog::headerTemplate() const {
  return headerFromText(Memo1->toPlainText(), header_encoding_);
}

void SettingsDialog::setHeaderTemplate(const DxfHeaderTemplate& header) {
  header_encoding_ = detectHeaderEncoding(header);
  Memo1->setPlainText(headerToText(header, header_encoding_));
}

void SettingsDialog::edit(ConversionSettings& settings) {
  fill(settings);
  if (loadHeaderFile().outcome == DxfHeaderLoad::Unreadable) {
    showErrorBox(parentWidget(), qtext(dxf_header_unreadable_message(headerPath())));
    return;
  }
  target_ = &settings;
  exec();
  target_ = nullptr;
}

// --- Handlers --------------------------------------------------------------

void SettingsDialog::Button1Click() {
  if (target_ != nullptr) copyBack(*target_);
  // An installed template the user may not change gives way to the user's own copy.
  const DxfHeaderSaveResult saved = save_dxf_header(header_places_, headerTemplate());
  if (saved.error) {
    // The settings stay copied; the dialog stays open.
    showErrorBox(this, QStringLiteral("ファイル %1 を作成できません").arg(nativePath(saved.path)));
    return;
  }
  accept();
}

void SettingsDialog::Button2Click() { reject(); }

void SettingsDialog::TrackBar1Change(int position) { setLabelText(Label10, QString::number(position)); }

}  // namespace vp::gui
