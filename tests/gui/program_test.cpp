// The whole desktop program, driven as a user would: start-up and the
// first-start notice, settings across a restart, the open command's outcomes,
// the save command in every format, the scale calculator and the settings
// dialog reached from the main window. Every modal window is answered by a
// ModalAnswerer; nothing waits for a person.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <sstream>

#include "app/gui/Program.h"
#include "app/gui/QtSettingsStorage.h"
#include "app/gui/StartFolders.h"
#include "core/conversion.h"
#include "core/export_settings.h"
#include "core/messages.h"
#include "dialogs/Controls.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "export/dxf_header.h"
#include "support/GuiTestSupport.h"
#include "testkit/pdf_writer.h"
#include "tests/support/written_bytes.h"

using namespace vp;
using namespace vp::gui;
using namespace vp::gui::testing;

namespace {

const QString kSaved = QStringLiteral("保存しました。");
const QString kNotSaved = QStringLiteral("保存できませんでした。");
const QString kBadRate = QStringLiteral("倍率の数値が不正です。");

// Records when a widget is enabled, disabled, shown and hidden.
class StateRecorder : public QObject {
 public:
  explicit StateRecorder(QWidget* widget) { widget->installEventFilter(this); }
  QStringList events;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::EnabledChange) events << (widget->isEnabled() ? "enabled" : "disabled");
    if (event->type() == QEvent::Show) events << "shown";
    if (event->type() == QEvent::Hide) events << "hidden";
    return false;
  }
};

QString nativeFolder(const QString& folder) { return QDir::toNativeSeparators(folder + u'/'); }

}  // namespace

class ProgramTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScratchSettings> settings_;
  std::unique_ptr<QTemporaryDir> folder_;  // the program's folder and the drawings
  std::unique_ptr<QtSettingsStorage> storage_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<ModalAnswerer> answerer_;

  QString path(const QString& name) const { return folder_->filePath(name); }
  QString programFolder() const { return nativeFolder(folder_->path()); }
  MainWindow& mainWindow() { return program_->mainWindow(); }

  void start() {
    storage_ = std::make_unique<QtSettingsStorage>();
    program_ = startProgram(*storage_, programFolder());
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow()));
  }
  // Ends the program as closing the main window does.
  void closeProgram() {
    QVERIFY(mainWindow().close());
    program_.reset();
    storage_.reset();
  }
  // Ends the program without closing the main window, as if it had been killed.
  void killProgram() {
    program_.reset();
    storage_.reset();
  }

  void clickButton(QWidget* window, const char* name) {
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
  }
  void trigger(const char* action) { child<QAction>(&mainWindow(), action)->trigger(); }
  QString statusText() { return child<QLabel>(&mainWindow(), "SimpleText")->text(); }
  QString outcomeLabel() { return child<QLabel>(&mainWindow(), "Label6")->text(); }
  // The save button and the save menu item together: "on", "off", or "mixed".
  QString saving() {
    const bool button = child<QPushButton>(&mainWindow(), "Button3")->isEnabled();
    const bool item = child<QAction>(&mainWindow(), "Save1")->isEnabled();
    if (button != item) return QStringLiteral("mixed");
    return button ? QStringLiteral("on") : QStringLiteral("off");
  }
  void typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  // Converts `file` through the open command.
  void openFile(const QString& file) {
    answerer_->thenChooseFile(file);
    clickButton(&mainWindow(), "Button1");
  }

  // The count and segments the core finds in `file` with `passes` passes.
  static Conversion reference(const QString& file, int passes,
                              const ConversionSettings& settings = default_settings("/")) {
    return referenceConversion(localPath(file), passes, settings);
  }

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("VelorinPelkin"));
    QApplication::setFont(interfaceFont());
  }

  void init() {
    settings_ = std::make_unique<ScratchSettings>();
    folder_ = std::make_unique<QTemporaryDir>();
    answerer_ = std::make_unique<ModalAnswerer>();
    QVERIFY(writeBmp(path("drawing.bmp"), smallDrawing()));
  }

  void cleanup() {
    if (program_) killProgram();
    answerer_.reset();
    folder_.reset();
    settings_.reset();
  }

  // --- Start-up ------------------------------------------------------------

  void firstStartNotice_data() {
    QTest::addColumn<QString>("firstUp");  // "<none>": no value
    QTest::addColumn<bool>("shown");
    QTest::newRow("no settings at all") << "<none>" << true;
    QTest::newRow("FirstUp 0") << "0" << true;
    QTest::newRow("FirstUp not a number") << "once" << true;
    QTest::newRow("FirstUp 1") << "1" << false;
  }

  void firstStartNotice() {
    QFETCH(QString, firstUp);
    QFETCH(bool, shown);
    if (firstUp != "<none>") settings_->setRawValue("FirstUp", firstUp);
    bool windowsBeforeNotice = true;
    if (shown) {
      answerer_->then([&](QWidget* modal) {
        windowsBeforeNotice = false;
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (qobject_cast<MainWindow*>(w) != nullptr) windowsBeforeNotice = true;
        }
        qobject_cast<QMessageBox*>(modal)->buttons().constFirst()->click();
      });
    }
    start();
    QCOMPARE(answerer_->boxes().size(), shown ? 1 : 0);
    if (shown) {
      const SeenBox& notice = answerer_->boxes()[0];
      QCOMPARE(notice.caption, QStringLiteral("注意"));
      QCOMPARE(notice.icon, QMessageBox::Warning);
      QCOMPARE(notice.buttons, QStringList{QStringLiteral("OK")});
      QCOMPARE(notice.text, firstStartNoticeText());
      QVERIFY2(!windowsBeforeNotice, "the notice comes before any window");
    }

    // Ended without closing the main window: the notice comes again.
    killProgram();
    answerer_->clear();
    start();
    QCOMPARE(answerer_->boxes().size(), shown ? 1 : 0);

    // Once closed normally, never again.
    closeProgram();
    QCOMPARE(settings_->rawValue("FirstUp"), QStringLiteral("1"));
    answerer_->clear();
    start();
    QCOMPARE(answerer_->boxes().size(), 0);
  }

  // The first start: defaults everywhere, both folders the program's folder.
  void firstStartDefaults() {
    start();
    QCOMPARE(child<SpinEdit>(&mainWindow(), "SpinEdit1")->value(), 3);
    QCOMPARE(child<QLineEdit>(&mainWindow(), "Edit1")->text(), QStringLiteral("1.0"));
    QCOMPARE(mainWindow().pos(), QPoint(0, 0));
    QCOMPARE(QString::fromStdString(mainWindow().settings().OpenDir), programFolder());
    QCOMPARE(QString::fromStdString(mainWindow().settings().SaveDir), programFolder());
    QCOMPARE(outcomeLabel(), QStringLiteral("VelorinPelkinⅡ"));
    QCOMPARE(statusText(), QStringLiteral("ﾌｧｲﾙ名:"));
    // Saving is off, and the menu item does nothing.
    QCOMPARE(answerer_->texts(), QStringList{firstStartNoticeText()});
    QCOMPARE(saving(), QStringLiteral("off"));
    bool dialogShown = false;
    answerer_->then([&](QWidget* modal) {
      dialogShown = true;
      static_cast<QDialog*>(modal)->reject();
    });
    trigger("Save1");
    QVERIFY(!dialogShown);
    QCOMPARE(answerer_->boxes().size(), 1);
  }

  void settingsSurviveRestart() {
    settings_->setRawValue("FirstUp", "1");
    settings_->setRawValue("OpenDir", path("gone") + u'/');  // a folder that is not there
    settings_->setRawValue("JwcLayer", "many");              // not a number: the default
    start();
    QCOMPARE(QString::fromStdString(mainWindow().settings().OpenDir), programFolder());

    // The scale calculator, confirmed.
    answerer_->then([&](QWidget* modal) {
      typeInto(child<QLineEdit>(modal, "Edit1"), "200");
      typeInto(child<QLineEdit>(modal, "Edit2"), "400");
      clickButton(modal, "Button1");
    });
    clickButton(&mainWindow(), "Button4");
    QCOMPARE(child<QLineEdit>(&mainWindow(), "Edit1")->text(), QStringLiteral("12.69999981"));
    // The pass count, typed; the window moved.
    auto* spin = child<SpinEdit>(&mainWindow(), "SpinEdit1");
    typeInto(spin->findChild<QLineEdit*>(), "7");
    child<QLineEdit>(&mainWindow(), "Edit1")->setFocus();
    mainWindow().move(33, 44);
    // The settings dialog, confirmed.
    answerer_->then([&](QWidget* modal) {
      child<RadioGroup>(modal, "RadioGroup3")->setItemIndex(2);
      child<QCheckBox>(modal, "CheckBox1")->setChecked(true);
      child<QSlider>(modal, "TrackBar1")->setValue(35);
      clickButton(modal, "Button1");
    });
    trigger("N3");
    closeProgram();

    // Stored as text, in the section System.
    const QMap<QString, QString> stored = {{"FirstUp", "1"}, {"Rate", "12.69999981"}, {"SCALE", "200"},
                                           {"DPI", "400"},   {"Loop", "7"},           {"ZahyouExt", "2"},
                                           {"Special", "2"}, {"Ave", "35"},           {"Left", "33"},
                                           {"Top", "44"},    {"JwcLayer", "0"},       {"OpenDir", programFolder()},
                                           {"SaveMode", "1"}};
    for (auto it = stored.begin(); it != stored.end(); ++it) {
      QCOMPARE(settings_->rawValue(it.key()), it.value());
    }
    QSettings raw(QStringLiteral("Quillet"), QStringLiteral("VelorinPelkin"));
    QCOMPARE(raw.value("System/Loop").typeId(), QMetaType::QString);

    start();
    QCOMPARE(answerer_->boxes().size(), 0);
    QCOMPARE(child<QLineEdit>(&mainWindow(), "Edit1")->text(), QStringLiteral("12.69999981"));
    QCOMPARE(child<SpinEdit>(&mainWindow(), "SpinEdit1")->value(), 7);
    QCOMPARE(mainWindow().pos(), QPoint(33, 44));
    QCOMPARE(mainWindow().settings().ZahyouExt, 2);
    QCOMPARE(mainWindow().settings().Special, 2);
    QCOMPARE(mainWindow().settings().Ave, 3.5f);
    QCOMPARE(program_->scaleCalculator().scaleText(), QStringLiteral("200"));
    QCOMPARE(program_->scaleCalculator().dpiText(), QStringLiteral("400"));
  }

  // Every stored value damaged in one way: the program starts with defaults or
  // clamped values, the settings dialog can be confirmed, and what is written
  // back at close reads as a valid value again.
  void badStoredSettings_data() {
    QTest::addColumn<QString>("integer");
    QTest::newRow("letters") << "many";
    QTest::newRow("negative") << "-7";
    QTest::newRow("beyond 32 bits") << "99999999999";
    QTest::newRow("out of every range") << "500";
    QTest::newRow("empty") << "";
  }

  void badStoredSettings() {
    QFETCH(QString, integer);
    settings_->setRawValue("FirstUp", "1");
    for (const SettingRow& row : settings_table()) {
      const QString name = QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size()));
      if (std::holds_alternative<IntegerSetting>(row.kind) || std::holds_alternative<TenthsSetting>(row.kind))
        settings_->setRawValue(name, integer);
    }
    settings_->setRawValue("Rate", "garbage");
    settings_->setRawValue("OpenDir", path("gone") + u'/');  // missing
    settings_->setRawValue("SaveDir", path("drawing.bmp"));  // a file, not a folder
    start();
    const std::optional<std::int32_t> stored = parse_setting_integer(integer.toStdString());
    QCOMPARE(child<SpinEdit>(&mainWindow(), "SpinEdit1")->value(), clamp_pass_count(stored.value_or(3)));
    QCOMPARE(child<QLineEdit>(&mainWindow(), "Edit1")->text(), QStringLiteral("garbage"));
    QCOMPARE(QString::fromStdString(mainWindow().settings().OpenDir), programFolder());
    QCOMPARE(QString::fromStdString(mainWindow().settings().SaveDir), programFolder());
    // The settings dialog shows what it can of them and is confirmed as it stands.
    answerer_->then([&](QWidget* modal) { clickButton(modal, "Button1"); });
    trigger("N3");
    QCOMPARE(answerer_->boxes().size(), 0);
    closeProgram();

    for (const SettingRow& row : settings_table()) {
      const QString name = QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size()));
      const QString value = settings_->rawValue(name);
      if (std::holds_alternative<IntegerSetting>(row.kind) || std::holds_alternative<TenthsSetting>(row.kind)) {
        QVERIFY2(parse_setting_integer(value.toStdString()).has_value(), qPrintable(name + " = " + value));
      }
    }
    QCOMPARE(settings_->rawValue("Rate"), QStringLiteral("garbage"));  // kept as typed
    QCOMPARE(settings_->rawValue("OpenDir"), programFolder());
    QCOMPARE(settings_->rawValue("SaveDir"), programFolder());
    const QString loop = settings_->rawValue("Loop");
    QVERIFY2(loop.toInt() >= 1 && loop.toInt() <= 100, qPrintable(loop));
    // And it starts again from what it wrote.
    start();
    QCOMPARE(answerer_->boxes().size(), 0);
  }

  // --- The open command ----------------------------------------------------

  void openCommand_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("savingOn");
    QTest::addColumn<QStringList>("messages");
    const QString noData = QStringLiteral("キャンセルされたのでデータがないよ。");
    const QString dash = QStringLiteral("ﾌｧｲﾙ名:-");
    QTest::newRow("dialog cancelled") << "cancel"
                                      << "" << QStringLiteral("ﾌｧｲﾙ名:drawing.bmp") << true << QStringList{};
    QTest::newRow("aborted") << "abort" << noData << dash << false
                             << QStringList{QStringLiteral("途中でキャンセルされました。")};
    QTest::newRow("out of memory") << "memory" << noData << dash << false
                                   << QStringList{QStringLiteral("メモリ不足です。\nキャンセルされました。")};
    QTest::newRow("unreadable") << "unreadable" << QStringLiteral("画像に問題あり？？？") << dash << false
                                << QStringList{QStringLiteral("画像ファイルを読込めませんでした。")};
    QTest::newRow("unsupported") << "unsupported" << QStringLiteral("画像に問題あり？？？") << dash << false
                                 << QStringList{QStringLiteral("対応していないファイル形式です。"),
                                                QStringLiteral("画像ファイルを読込めませんでした。")};
  }

  // A successful conversion first, then the case of the row.
  void openCommand() {
    QFETCH(QString, kind);
    QFETCH(QString, label);
    QFETCH(QString, status);
    QFETCH(bool, savingOn);
    QFETCH(QStringList, messages);
    settings_->setRawValue("FirstUp", "1");
    start();
    auto* spin = child<SpinEdit>(&mainWindow(), "SpinEdit1");
    spin->setValue(1);

    openFile(path("drawing.bmp"));
    const Conversion expected = reference(path("drawing.bmp"), 1);
    QVERIFY(expected.LineCount() > 0);
    QVERIFY(!std::ranges::equal(expected.records(), reference(path("drawing.bmp"), 3).records()));
    const QString done = QString::number(expected.LineCount()) + QStringLiteral("本のデータがあるよ。");
    // Its line feed and carriage return make one line break.
    QCOMPARE(answerer_->texts(), QStringList{QStringLiteral("完了！\nTIME:0:00:00")});
    QCOMPARE(answerer_->boxes()[0].caption, QStringLiteral("VelorinPelkin"));
    // Wide enough for the whole title beside a window manager's buttons.
    const int title = QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("VelorinPelkin"));
    QVERIFY2(answerer_->boxes()[0].width >= title + 100, qPrintable(QString::number(answerer_->boxes()[0].width)));
    QCOMPARE(answerer_->boxes()[0].icon, QMessageBox::NoIcon);
    QCOMPARE(outcomeLabel(), done);
    QCOMPARE(statusText(), QStringLiteral("ﾌｧｲﾙ名:drawing.bmp"));
    QCOMPARE(saving(), QStringLiteral("on"));
    QVERIFY(std::ranges::equal(mainWindow().conversion().records(), expected.records()));
    QCOMPARE(mainWindow().openedFileName(), QStringLiteral("drawing.bmp"));
    const std::string openDir = mainWindow().settings().OpenDir;
    QCOMPARE(QString::fromStdString(openDir), programFolder());
    answerer_->clear();

    // The case of the row.
    QString file = path("drawing.bmp");
    QStringList seenDuringRun;
    bool pressed = false;
    if (kind == "cancel") {
      answerer_->thenCancelFileDialog();
      clickButton(&mainWindow(), "Button1");
    } else {
      if (kind == "abort") {
        file = path("large.bmp");
        QVERIFY(writeBmp(file, largeDrawing()));
        answerer_->setIdle([&] {
          if (pressed || !program_->progressDialog().isVisible()) return;
          pressed = true;
          seenDuringRun << (mainWindow().isEnabled() ? "main enabled" : "main disabled")
                        << (mainWindow().menuBar()->isEnabled() ? "menu enabled" : "menu disabled");
          clickButton(&program_->progressDialog(), "Button2");  // 中止
        });
      } else if (kind == "memory") {
        mainWindow().conversion().lines().fail_next_growth_for_testing();
      } else if (kind == "unreadable") {
        file = path("broken.bmp");
        QVERIFY(writeBytes(file, "BM this is not a bitmap"));
      } else if (kind == "unsupported") {
        file = path("four-bit.bmp");
        QVERIFY(writeUnsupportedBmp(file));
      }
      answerer_->then([&](QWidget* modal) {
        // The open dialog starts in the folder of the last good conversion.
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        seenDuringRun << QDir::toNativeSeparators(dialog->directory().absolutePath() + u'/');
        chooseFile(dialog, file);
      });
      clickButton(&mainWindow(), "Button1");
      QCOMPARE(seenDuringRun.value(0), QString::fromStdString(openDir));
    }
    answerer_->setIdle(nullptr);

    QCOMPARE(answerer_->texts(), messages);
    QCOMPARE(outcomeLabel(), label.isEmpty() ? done : label);
    QCOMPARE(statusText(), status);
    QCOMPARE(saving(), QString(savingOn ? "on" : "off"));
    QVERIFY(mainWindow().isEnabled());
    QVERIFY(!program_->progressDialog().isVisible());
    // A failure keeps what the good conversion left.
    QCOMPARE(mainWindow().openedFileName(), QStringLiteral("drawing.bmp"));
    QCOMPARE(mainWindow().settings().OpenDir, openDir);
    if (kind == "abort") {
      QCOMPARE(seenDuringRun.mid(1), (QStringList{"main disabled", "menu disabled"}));
      QVERIFY(mainWindow().lastOutcome() == Outcome::Aborted);
    }
  }

  // Special mode follows the setting, and its checks and counts show in the
  // progress dialog.
  // The open dialog offers every kind at once, then BMP and the scanners' other formats, and a PBM and a JPEG
  // of the drawing convert exactly as their BMPs do.
  void openOtherImageTypes() {
    settings_->setRawValue("FirstUp", "1");
    start();
    QCOMPARE(child<QFileDialog>(&mainWindow(), "OpenDialog1")->nameFilters(),
             (QStringList{QStringLiteral("読込めるﾌｧｲﾙ全部 (*.bmp *.tif *.tiff *.png *.pbm *.jpg *.jpeg *.jpe "
                                         "*.jfif *.pdf)"),
                          QStringLiteral("BMPｲﾒｰｼﾞ (*.bmp)"), QStringLiteral("TIFFｲﾒｰｼﾞ (*.tif *.tiff)"),
                          QStringLiteral("PNGｲﾒｰｼﾞ (*.png)"), QStringLiteral("PBMｲﾒｰｼﾞ (*.pbm)"),
                          QStringLiteral("JPEGｲﾒｰｼﾞ (*.jpg *.jpeg *.jpe *.jfif)"), QStringLiteral("PDFﾌｧｲﾙ (*.pdf)")}));
    const InkImage image = smallDrawing();
    std::string pbm = "P1\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n";
    for (std::int32_t r = 0; r < image.height; ++r) {
      for (std::int32_t c = 0; c < image.width; ++c) pbm += image.get(c, r) ? "1 " : "0 ";
      pbm += '\n';
    }
    QVERIFY(writeBytes(path("drawing.pbm"), QByteArray::fromStdString(pbm)));
    openFile(path("drawing.pbm"));
    const Conversion expected = reference(path("drawing.bmp"), 3);
    QVERIFY(expected.LineCount() > 0);
    QCOMPARE(outcomeLabel(), QString::number(expected.LineCount()) + QStringLiteral("本のデータがあるよ。"));
    QVERIFY(std::ranges::equal(mainWindow().conversion().records(), expected.records()));
    QCOMPARE(statusText(), QStringLiteral("ﾌｧｲﾙ名:drawing.pbm"));

    // A grey JPEG of the drawing in flat 8 x 8 blocks, which quality 100 keeps pure
    // black and white, converts as the BMP of those blocks.
    InkImage blocks(image.width * 8, image.height * 8);
    QImage jpeg(blocks.width, blocks.height, QImage::Format_Grayscale8);
    for (std::int32_t r = 0; r < blocks.height; ++r) {
      uchar* line = jpeg.scanLine(r);
      for (std::int32_t c = 0; c < blocks.width; ++c) {
        blocks.set(c, r, image.get(c / 8, r / 8));
        line[c] = blocks.get(c, r) ? 0 : 255;
      }
    }
    QVERIFY(jpeg.save(path("blocks.jpg"), "JPEG", 100));
    QVERIFY(writeBmp(path("blocks.bmp"), blocks));
    openFile(path("blocks.jpg"));
    const Conversion expectedBlocks = reference(path("blocks.bmp"), 3);
    QVERIFY(expectedBlocks.LineCount() > 0);
    QVERIFY(std::ranges::equal(mainWindow().conversion().records(), expectedBlocks.records()));
    QCOMPARE(statusText(), QStringLiteral("ﾌｧｲﾙ名:blocks.jpg"));
  }

  // A file of several pages asks which one, with the count, and the status bar
  // and the outcome's tooltip name the page converted.
  void openMultiPageFile() {
    start();
    PdfPage cross, frame;
    cross.width_pt = cross.height_pt = frame.width_pt = frame.height_pt = 72;
    cross.content = "0 G 2 w 8 8 m 64 64 l S 8 64 m 64 8 l S\n";
    frame.content = "0 G 2 w 8 8 m 64 8 l 64 64 l 8 64 l h S\n";
    const std::vector<std::uint8_t> pdf = pdf_bytes({cross, frame});
    QVERIFY(writeBytes(path("sheets.pdf"),
                       QByteArray(reinterpret_cast<const char*>(pdf.data()), static_cast<qsizetype>(pdf.size()))));
    answerer_->thenChooseFile(path("sheets.pdf"));
    answerer_->then([this](QWidget* modal) {
      QCOMPARE(modal->objectName(), QStringLiteral("PageDialog"));
      QVERIFY(child<QLabel>(modal, "PageCountLabel")->text().contains(QStringLiteral("2 ページ")));
      auto* spin = child<QSpinBox>(modal, "PageSpin");
      QCOMPARE(spin->maximum(), 2);
      spin->setValue(2);
      clickButton(modal, "PageOk");
    });
    clickButton(&mainWindow(), "Button1");
    QCOMPARE(statusText(), QStringLiteral("ﾌｧｲﾙ名:sheets.pdf 2ページ目"));
    QVERIFY(child<QLabel>(&mainWindow(), "Label6")->toolTip().startsWith(QStringLiteral("2ページ目\n")));
    QVERIFY(mainWindow().conversion().records().size() > 0);

    // A locked PDF says so before it is refused as not supported.
    const std::vector<std::uint8_t> locked = pdf_bytes({cross}, true);
    QVERIFY(writeBytes(path("locked.pdf"), QByteArray(reinterpret_cast<const char*>(locked.data()),
                                                      static_cast<qsizetype>(locked.size()))));
    answerer_->clear();
    openFile(path("locked.pdf"));
    const QStringList said = answerer_->texts();
    QVERIFY(!said.isEmpty());
    QCOMPARE(said.constFirst(), QString::fromUtf8(messages::kPasswordProtected.data(),
                                                  static_cast<qsizetype>(messages::kPasswordProtected.size())));
    QVERIFY(said.contains(QString::fromUtf8(messages::kUnsupportedFormat.data(),
                                            static_cast<qsizetype>(messages::kUnsupportedFormat.size()))));
  }

  // Scans as scanners, copiers and phones deliver them, through the open
  // command. "By format" reads a JPEG, and a PNG of many grey levels, with
  // auto; with nearest-black chosen in the スキャン tab a scan finds next to no
  // ink and says so once, after the outcome. With auto, the lines are about as
  // many as the clean drawing's.
  void convertScans_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("choose");  // the rule chosen in the tab; -1: left as it is
    QTest::addColumn<bool>("close");  // else next to no lines, and the advice
    QTest::newRow("clean bitmap") << "bmp" << -1 << true;
    QTest::newRow("jpeg by format") << "jpeg" << -1 << true;
    QTest::newRow("jpeg with auto") << "jpeg" << 2 << true;
    QTest::newRow("jpeg with nearest-black") << "jpeg" << 1 << false;
    QTest::newRow("grey png by format") << "grey png" << -1 << true;
    QTest::newRow("grey png with auto") << "grey png" << 2 << true;
    QTest::newRow("grey png with nearest-black") << "grey png" << 1 << false;
    QTest::newRow("colour png by format") << "colour png" << -1 << true;
    QTest::newRow("colour png with auto") << "colour png" << 2 << true;
  }

  void convertScans() {
    QFETCH(QString, kind);
    QFETCH(int, choose);
    QFETCH(bool, close);
    const InkImage clean = vp::testing::scan_drawing(600, 420, 7, false);
    QVERIFY(writeBmp(path("clean.bmp"), clean));
    const std::int32_t expected = reference(path("clean.bmp"), 3).LineCount();
    QVERIFY(expected > 50);
    const QString file = kind == "bmp" ? path("clean.bmp") : path(kind == "jpeg" ? "scan.jpg" : "scan.png");
    if (kind != "bmp") QVERIFY(writeDegradedScan(file, clean, kind));
    settings_->setRawValue("FirstUp", "1");
    start();
    if (choose >= 0) {
      answerer_->then([&](QWidget* modal) {
        child<QTabWidget>(modal, "PageControl1")->setCurrentIndex(4);
        auto* rules = child<RadioGroup>(modal, "RadioGroup4");
        QTest::mouseClick(rules->findChild<QRadioButton*>(QStringLiteral("Item%1").arg(choose)), Qt::LeftButton, {},
                          QPoint(6, 8));
        clickButton(modal, "Button1");
      });
      trigger("N3");
      QCOMPARE(mainWindow().settings().ScanThreshold, choose);
    }
    openFile(file);
    const std::int32_t found = mainWindow().conversion().LineCount();
    const QStringList texts = answerer_->texts();
    QVERIFY2(texts.value(0).startsWith(QStringLiteral("完了！\nTIME:")), qPrintable(texts.join(u'|')));
    if (close) {
      QVERIFY2(std::abs(found - expected) <= expected / 10,
               qPrintable(QStringLiteral("%1 for %2").arg(found).arg(expected)));
      QCOMPARE(texts.size(), 1);
    } else {
      QVERIFY2(found < expected / 10, qPrintable(QString::number(found)));
      QCOMPARE(texts.mid(1), QStringList{QStringLiteral(
                                 "グレーかカラーのスキャン画像みたい。黒いところがほとんど見つからなかったよ。\n"
                                 "「せってい」の「スキャン」で「おまかせ（auto）」をえらんでみてね。")});
    }
    // Looking at the preview does not bring the advice back.
    trigger("Preview1");
    QCOMPARE(answerer_->texts(), texts);
  }

  // A file name longer than the status bar ends in an ellipsis, whole
  // glyphs before it; the tool tip has it all.
  void longFileNameInStatusBar() {
    settings_->setRawValue("FirstUp", "1");
    start();
    const QString name =
        QStringLiteral("とてもながいなまえの図面ファイル_二〇二六年十二月七日_スキャン済み_第三版.bmp");
    QVERIFY(QFile::copy(path("drawing.bmp"), path(name)));
    openFile(path(name));
    const auto* status = child<QLabel>(&mainWindow(), "SimpleText");
    const QString shown = status->text();
    QVERIFY2(shown.endsWith(u'…') && shown.size() > 12, qPrintable(shown));
    QVERIFY((QStringLiteral("ﾌｧｲﾙ名:") + name).startsWith(shown.chopped(1)));
    QVERIFY(status->fontMetrics().horizontalAdvance(shown) <= status->contentsRect().width());
    QCOMPARE(status->toolTip(), QStringLiteral("ﾌｧｲﾙ名:") + name);
  }

  void specialMode_data() {
    QTest::addColumn<int>("special");
    QTest::newRow("off") << 1;
    QTest::newRow("on") << 2;
  }

  void specialMode() {
    QFETCH(int, special);
    settings_->setRawValue("FirstUp", "1");
    settings_->setRawValue("Special", QString::number(special));
    settings_->setRawValue("Ave", "30");
    QVERIFY(writeBmp(path("plan.bmp"), generate_drawing(300, 200, 11)));
    start();
    openFile(path("plan.bmp"));

    ConversionSettings settings = default_settings("/");
    settings.Special = special;
    settings.Ave = 3.0f;
    const Conversion plain = reference(path("plan.bmp"), 3);
    const Conversion expected = reference(path("plan.bmp"), 3, settings);
    if (special == 2) QVERIFY(expected.LineCount() < plain.LineCount());
    QCOMPARE(outcomeLabel(), QString::number(expected.LineCount()) + QStringLiteral("本のデータがあるよ。"));
    QVERIFY(std::ranges::equal(mainWindow().conversion().records(), expected.records()));

    QWidget* progress = &program_->progressDialog();
    const bool on = special == 2;
    QCOMPARE(child<QLabel>(progress, "Label7")->text(), on ? QStringLiteral("おわり") : QStringLiteral("OFF"));
    QCOMPARE(child<QLabel>(progress, "Label8")->text(), on ? QStringLiteral("おわり") : QStringLiteral("OFF"));
    QCOMPARE(child<QLabel>(progress, "Label12")->text(), on ? QString::number(plain.LineCount()) : "0");
    QCOMPARE(child<QLabel>(progress, "Label10")->text(), on ? QString::number(expected.LineCount()) : "0");
    QCOMPARE(child<QProgressBar>(progress, "ProgressBar3")->value(), 100);
    const int bar4 = child<QProgressBar>(progress, "ProgressBar4")->value();
    QVERIFY2(on ? bar4 > 66 : bar4 == 0, qPrintable(QString::number(bar4)));
  }

  // --- The save command ----------------------------------------------------

  void saveEachFormat_data() {
    QTest::addColumn<int>("saveMode");
    QTest::addColumn<int>("zahyouExt");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<QString>("written");
    QTest::newRow("text, TXT") << 1 << 0 << "drawing.TXT"
                               << "drawing.txt";
    QTest::newRow("text, TEXT") << 1 << 1 << "drawing.TEXT"
                                << "drawing.text";
    QTest::newRow("text, CSV") << 1 << 2 << "drawing.CSV"
                               << "drawing.csv";
    QTest::newRow("DXF") << 2 << 0 << "drawing.DXF"
                         << "drawing.dxf";
    QTest::newRow("jw_cad") << 3 << 1 << "drawing.JWC"
                            << "drawing.jwc";
    QTest::newRow("SVG") << 4 << 0 << "drawing.SVG"
                         << "drawing.svg";
  }

  void saveEachFormat() {
    QFETCH(int, saveMode);
    QFETCH(int, zahyouExt);
    QFETCH(QString, defaultName);
    QFETCH(QString, written);
    settings_->setRawValue("FirstUp", "1");
    QVERIFY(writeBytes(path("DXFHED.TXT"), "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"));
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();

    // Settings away from their defaults, so that a mix-up shows in the file.
    ConversionSettings& s = mainWindow().settings();
    s.SaveMode = saveMode;
    s.ZahyouExt = zahyouExt;
    s.ZahyouDiv = 1;
    s.ZahyouReal = 2;
    s.DxfReal = 1;
    s.DxfOption1 = 2;
    s.DxfOption1_Len = 3;
    s.DxfOption2 = 2;
    s.JwcGroupe = 2;
    s.JwcLayer = 10;
    s.JwcColor = 3;
    s.JwcType = 4;
    s.JwcOption1 = 2;
    s.JwcOption1_Len = 2;
    s.JwcOption1_Lay = 7;
    s.JwcOption2 = 2;
    s.JwcOption2_X = 4;
    s.JwcOption2_Y = 5;
    s.JwcOption2_R = 6;
    typeInto(child<QLineEdit>(&mainWindow(), "Edit1"), "0.254");

    QVERIFY(QDir(folder_->path()).mkdir("out"));
    const QString out = path("out");
    QString shownName, shownFolder;
    int shownType = 0;
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      shownName = dialog->fileNameBox()->text();
      shownFolder = nativeFolder(dialog->directory().absolutePath());
      shownType = dialog->filterIndex();
      dialog->setDirectory(out);  // the user goes to another folder, keeps the name
      dialog->fileNameBox()->setText(shownName);
      static_cast<QDialog*>(dialog)->accept();
    });
    StateRecorder mainStates(&mainWindow());
    StateRecorder savingStates(&program_->savingDialog());
    clickButton(&mainWindow(), "Button3");

    QCOMPARE(shownName, defaultName);
    QCOMPARE(shownFolder, programFolder());
    QCOMPARE(shownType, saveMode);
    QCOMPARE(answerer_->texts(), QStringList{kSaved});
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{written});
    QCOMPARE(mainStates.events, (QStringList{"disabled", "enabled"}));
    QCOMPARE(savingStates.events, (QStringList{"shown", "hidden"}));
    QCOMPARE(QString::fromStdString(s.SaveDir), nativeFolder(out));
    QCOMPARE(s.SaveMode, saveMode);

    // The bytes are the core writer's for these settings.
    const auto records = mainWindow().conversion().records();
    ConversionSettings chosen;
    chosen.ZahyouDiv = 1;
    chosen.ZahyouReal = 2;
    chosen.DxfReal = 1;
    chosen.DxfOption1 = 2;
    chosen.DxfOption1_Len = 3;
    chosen.DxfOption2 = 2;
    chosen.JwcGroupe = 2;
    chosen.JwcLayer = 10;
    chosen.JwcColor = 3;
    chosen.JwcType = 4;
    chosen.JwcOption1 = 2;
    chosen.JwcOption1_Len = 2;
    chosen.JwcOption1_Lay = 7;
    chosen.JwcOption2 = 2;
    chosen.JwcOption2_X = 4;
    chosen.JwcOption2_Y = 5;
    chosen.JwcOption2_R = 6;
    const DxfHeaderTemplate header = DxfHeaderTemplate::from_bytes("  0\r\nSECTION\r\n  2\r\nENTITIES\r\n");
    const std::string bytes = vp::testing::written_bytes(format_by_filter_index(saveMode)->name, records,
                                                         *parse_rate("0.254"), export_options(chosen, header.bytes()));
    QCOMPARE(readBytes(QDir(out).filePath(written)), QByteArray::fromStdString(bytes));
    QCOMPARE(saving(), QStringLiteral("on"));
  }

  // A bitmap named scan.txt, converted: saving its lines as scan.txt would destroy
  // the drawing, so the command refuses before any question.
  void saveOverTheConvertedImageIsRefused() {
    settings_->setRawValue("FirstUp", "1");
    start();
    QVERIFY(QFile::copy(path("drawing.bmp"), path("scan.txt")));
    openFile(path("scan.txt"));
    answerer_->clear();
    const QByteArray before = readBytes(path("scan.txt"));
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      dialog->setFilterIndex(1);
      dialog->setDirectory(folder_->path());
      dialog->fileNameBox()->setText("scan");
      static_cast<QDialog*>(dialog)->accept();
    });
    answerer_->thenKey(Qt::Key_Return);
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(answerer_->boxes().size(), 1);
    QCOMPARE(answerer_->boxes()[0].text, QStringLiteral("ファイル") + QDir::toNativeSeparators(path("scan.txt")) +
                                             QStringLiteral("は変換した画像です\n上書きできません。"));
    QCOMPARE(readBytes(path("scan.txt")), before);
  }

  void overwriteQuestion_data() {
    QTest::addColumn<int>("answer");  // a key, or 0 for a click on the button below
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("はい") << 0 << "はい(&Y)" << true;
    QTest::newRow("いいえ") << 0 << "いいえ(&N)" << false;
    QTest::newRow("Enter") << int(Qt::Key_Return) << "" << true;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << "" << false;
  }

  // plan.CSV is tested for, plan.csv is written: the question shows the first.
  void overwriteQuestion() {
    QFETCH(int, answer);
    QFETCH(QString, button);
    QFETCH(bool, replaced);
    settings_->setRawValue("FirstUp", "1");
    settings_->setRawValue("ZahyouExt", "2");
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();
    QVERIFY(writeBytes(path("drawing.csv"), "old"));
    mainWindow().settings().SaveDir = "/";

    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      dialog->setDirectory(folder_->path());
      dialog->fileNameBox()->setText("drawing");
      static_cast<QDialog*>(dialog)->accept();
    });
    if (answer != 0)
      answerer_->thenKey(answer);
    else
      answerer_->thenClick(button);
    clickButton(&mainWindow(), "Button3");

    const SeenBox question = answerer_->boxes().value(0);
    QCOMPARE(question.caption, QStringLiteral("警告"));
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.buttons, (QStringList{"はい(&Y)", "いいえ(&N)"}));
    QCOMPARE(question.defaultButton, QStringLiteral("はい(&Y)"));
    QCOMPARE(question.escapeButton, QStringLiteral("いいえ(&N)"));
    QCOMPARE(question.text, QStringLiteral("ファイル") + QDir::toNativeSeparators(path("drawing.CSV")) +
                                QStringLiteral("は既に存在します\n上書きしますか？"));
    QCOMPARE(answerer_->boxes().size(), replaced ? 2 : 1);
    if (replaced) {
      QCOMPARE(answerer_->boxes()[1].text, kSaved);
      QVERIFY(readBytes(path("drawing.csv")) != "old");
      QCOMPARE(QString::fromStdString(mainWindow().settings().SaveDir), programFolder());
    } else {
      QCOMPARE(readBytes(path("drawing.csv")), QByteArray("old"));
      QCOMPARE(mainWindow().settings().SaveDir, std::string("/"));
    }
    QVERIFY(!QFile::exists(path("drawing.CSV")));
  }

  // Picking another type while the dialog is open renames the name in the box.
  void typeChangeRenames_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("boxEnd");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("saveMode");
    QTest::newRow("to DXF") << QList<int>{Qt::Key_Down} << "drawing.dxf"
                            << "drawing.dxf" << 2;
    QTest::newRow("to jw_cad") << QList<int>{Qt::Key_Down, Qt::Key_Down} << "drawing.jwc"
                               << "drawing.jwc" << 3;
    QTest::newRow("to SVG") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << "drawing.svg"
                            << "drawing.svg" << 4;
    // Type 1 puts ".txt" in the box whatever the extension setting; the file
    // written still takes it from the setting.
    QTest::newRow("there and back") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up} << "drawing.txt"
                                    << "drawing.csv" << 1;
  }

  void typeChangeRenames() {
    QFETCH(QList<int>, keys);
    QFETCH(QString, boxEnd);
    QFETCH(QString, written);
    QFETCH(int, saveMode);
    settings_->setRawValue("FirstUp", "1");
    settings_->setRawValue("ZahyouExt", "2");
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();
    QVERIFY(QDir(folder_->path()).mkdir("out"));
    mainWindow().settings().SaveDir = nativeFolder(path("out")).toStdString();

    QStringList boxTexts;
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      boxTexts << dialog->fileNameBox()->text();
      auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      for (int key : keys) {
        types->setFocus();
        QTest::keyClick(types, static_cast<Qt::Key>(key));
        boxTexts << dialog->fileNameBox()->text();
      }
      QVERIFY(dialog->isVisible());
      static_cast<QDialog*>(dialog)->accept();
    });
    clickButton(&mainWindow(), "Button3");

    QCOMPARE(boxTexts.value(0), QStringLiteral("drawing.CSV"));
    QCOMPARE(boxTexts.size(), keys.size() + 1);
    QCOMPARE(boxTexts.last(), QDir::toNativeSeparators(path("out/") + boxEnd));
    QCOMPARE(answerer_->texts(), QStringList{kSaved});
    QCOMPARE(QDir(path("out")).entryList(QDir::Files), QStringList{written});
    QCOMPARE(mainWindow().settings().SaveMode, saveMode);
  }

  void invalidMagnification_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("saveMode");
    QTest::addColumn<QStringList>("messages");
    const QStringList invalid{kBadRate, kNotSaved};
    QTest::newRow("trailing space") << "2 " << 1 << invalid;
    QTest::newRow("comma") << "1,5" << 2 << invalid;
    QTest::newRow("letters after") << "1.5x" << 3 << invalid;
    QTest::newRow("empty") << "" << 1 << invalid;
    QTest::newRow("lone minus") << "-" << 2 << invalid;
    QTest::newRow("beyond float") << "1e40" << 3 << invalid;
    QTest::newRow("leading space is fine") << " 2" << 1 << QStringList{kSaved};
  }

  void invalidMagnification() {
    QFETCH(QString, rate);
    QFETCH(int, saveMode);
    QFETCH(QStringList, messages);
    settings_->setRawValue("FirstUp", "1");
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();
    QVERIFY(QDir(folder_->path()).mkdir("out"));
    mainWindow().settings().SaveMode = saveMode;
    typeInto(child<QLineEdit>(&mainWindow(), "Edit1"), rate);
    StateRecorder savingStates(&program_->savingDialog());

    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      dialog->setDirectory(path("out"));
      static_cast<QDialog*>(dialog)->accept();
    });
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(answerer_->texts(), messages);
    const bool saved = messages == QStringList{kSaved};
    QCOMPARE(QDir(path("out")).entryList(QDir::Files).size(), saved ? 1 : 0);
    QCOMPARE(savingStates.events.isEmpty(), !saved);
    QCOMPARE(mainWindow().settings().SaveMode, saveMode);
    QCOMPARE(QString::fromStdString(mainWindow().settings().SaveDir),
             saved ? nativeFolder(path("out")) : programFolder());
  }

  // The file cannot be created (a folder has its name): each format says so
  // its own way, and nothing is remembered.
  void saveCannotCreate_data() {
    QTest::addColumn<int>("saveMode");
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("icon");
    QTest::newRow("text") << 1 << "drawing.txt" << QStringList{QStringLiteral("ファイルへのアクセスが拒否されました")}
                          << int(QMessageBox::Critical);
    QTest::newRow("DXF") << 2 << "drawing.dxf" << QStringList{kNotSaved} << int(QMessageBox::NoIcon);
    QTest::newRow("jw_cad") << 3 << "drawing.jwc" << QStringList{QStringLiteral("保存ができませんでした。"), kNotSaved}
                            << int(QMessageBox::NoIcon);
  }

  void saveCannotCreate() {
    QFETCH(int, saveMode);
    QFETCH(QString, blocked);
    QFETCH(QStringList, messages);
    QFETCH(int, icon);
    settings_->setRawValue("FirstUp", "1");
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();
    QVERIFY(QDir(folder_->path()).mkpath("out/" + blocked));
    mainWindow().settings().SaveMode = saveMode;

    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      dialog->setDirectory(path("out"));
      static_cast<QDialog*>(dialog)->accept();
    });
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(answerer_->texts(), messages);
    QCOMPARE(int(answerer_->boxes()[0].icon), icon);
    QVERIFY(QFileInfo(path("out/" + blocked)).isDir());
    QCOMPARE(QString::fromStdString(mainWindow().settings().SaveDir), programFolder());
    QCOMPARE(mainWindow().settings().SaveMode, saveMode);
    QVERIFY(mainWindow().isEnabled());
    QVERIFY(!program_->savingDialog().isVisible());
    QCOMPARE(saving(), QStringLiteral("on"));
  }

  // A failed save leaves type and folder; the next save opens with them.
  void failedSaveKeepsTypeAndFolder() {
    settings_->setRawValue("FirstUp", "1");
    start();
    openFile(path("drawing.bmp"));
    QVERIFY(QDir(folder_->path()).mkdir("good"));
    QVERIFY(QDir(folder_->path()).mkdir("bad"));
    mainWindow().settings().SaveMode = 2;
    answerer_->then([&](QWidget* modal) {
      qobject_cast<QFileDialog*>(modal)->setDirectory(path("good"));
      static_cast<QDialog*>(modal)->accept();
    });
    clickButton(&mainWindow(), "Button3");
    typeInto(child<QLineEdit>(&mainWindow(), "Edit1"), "oops");
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      dialog->setFilterIndex(3);
      dialog->setDirectory(path("bad"));
      static_cast<QDialog*>(dialog)->accept();
    });
    clickButton(&mainWindow(), "Button3");
    int type = 0;
    QString folder;
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<SaveFileDialog*>(modal);
      type = dialog->filterIndex();
      folder = nativeFolder(dialog->directory().absolutePath());
      static_cast<QDialog*>(dialog)->reject();
    });
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(type, 2);
    QCOMPARE(folder, nativeFolder(path("good")));
    QCOMPARE(QDir(path("bad")).entryList(QDir::Files).size(), 0);
  }

  // Where the dialogs start: an installed program's folder cannot take a
  // save, so a fresh user starts in pictures, documents or home, in that order.
  void startFolders() {
    const QString kept = nativeFolder(path("kept"));
    QVERIFY(QDir(folder_->path()).mkpath("kept"));
    const QString gone = nativeFolder(path("gone"));
    QTemporaryDir home;
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    const QString user = nativeFolder(home.path());
    struct Case {
      const char* name;
      QString remembered;
      bool programWritable;
      QString expected;
    } cases[] = {
        {"a remembered folder stays", kept, false, kept},
        {"the program's folder where it can be written", programFolder(), true, programFolder()},
        {"not the program's folder when it cannot", programFolder(), false, user},
        {"missing: the program's folder", gone, true, programFolder()},
        {"missing, program's folder read-only", gone, false, user},
        {"nothing remembered", QString(), false, user},
    };
    for (const Case& c : cases) {
      const auto writable = [&](const QString& f) { return c.programWritable || f != programFolder(); };
      QVERIFY2(startFolder(c.remembered, programFolder(), writable) == c.expected, c.name);
    }
    QVERIFY(QDir(home.path()).mkdir("Documents"));
    QCOMPARE(userStartFolder(), nativeFolder(home.filePath("Documents")));
    QVERIFY(QDir(home.path()).mkdir("Pictures"));
    QCOMPARE(userStartFolder(), nativeFolder(home.filePath("Pictures")));
    qputenv("HOME", realHome);
  }

  // --- The other commands --------------------------------------------------

  void scaleCalculator() {
    settings_->setRawValue("FirstUp", "1");
    start();
    auto* rate = child<QLineEdit>(&mainWindow(), "Edit1");
    answerer_->then([&](QWidget* modal) {
      QCOMPARE(modal->objectName(), QStringLiteral("TForm3"));
      typeInto(child<QLineEdit>(modal, "Edit2"), "400");
      QCOMPARE(child<QLabel>(modal, "Label1")->text(), QStringLiteral("6.34999990"));
      clickButton(modal, "Button1");
    });
    trigger("T1");
    QCOMPARE(rate->text(), QStringLiteral("6.34999990"));
    QCOMPARE(mainWindow().settings().DPI, std::string("400"));

    // "中止" changes nothing, but the box keeps what was typed.
    answerer_->then([&](QWidget* modal) {
      typeInto(child<QLineEdit>(modal, "Edit2"), "0");
      QCOMPARE(child<QLabel>(modal, "Label1")->text(), QStringLiteral("6.34999990"));
      clickButton(modal, "Button2");
    });
    clickButton(&mainWindow(), "Button4");
    QCOMPARE(rate->text(), QStringLiteral("6.34999990"));
    QCOMPARE(mainWindow().settings().DPI, std::string("400"));
    QString kept;
    answerer_->then([&](QWidget* modal) {
      kept = child<QLineEdit>(modal, "Edit2")->text();
      clickButton(modal, "Button2");
    });
    clickButton(&mainWindow(), "Button4");
    QCOMPARE(kept, QStringLiteral("0"));
  }

  // A stored SCALE that is not a number: the result reads "Label1", OK copies
  // it, and saving then reports the magnification as invalid.
  void scaleNotANumber() {
    settings_->setRawValue("FirstUp", "1");
    settings_->setRawValue("SCALE", "x");
    start();
    answerer_->then([&](QWidget* modal) { clickButton(modal, "Button1"); });
    clickButton(&mainWindow(), "Button4");
    QCOMPARE(child<QLineEdit>(&mainWindow(), "Edit1")->text(), QStringLiteral("Label1"));
    openFile(path("drawing.bmp"));
    answerer_->clear();
    answerer_->then([&](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(answerer_->texts(), (QStringList{kBadRate, kNotSaved}));
  }

  // The settings dialog from the menu, with no template anywhere: OK writes
  // DXFHED.TXT as the user's own copy, and the next DXF file starts with it.
  void settingsDialogAndDxfHeader() {
    settings_->setRawValue("FirstUp", "1");
    start();
    openFile(path("drawing.bmp"));
    answerer_->clear();
    answerer_->then([&](QWidget* modal) {
      QCOMPARE(modal->objectName(), QStringLiteral("TForm5"));
      child<QPlainTextEdit>(modal, "Memo1")->setPlainText("999\nmy header\n");
      child<QComboBox>(modal, "ComboBox9")->setCurrentIndex(0);
      clickButton(modal, "Button1");
    });
    trigger("N3");
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(user.startsWith(settings_->folder()));
    QCOMPARE(readBytes(QDir(user).filePath(QStringLiteral("DXFHED.TXT"))), QByteArray("999\r\nmy header\r\n"));
    QVERIFY(!QFile::exists(path("DXFHED.TXT")));
    QCOMPARE(mainWindow().settings().DxfReal, 0);

    mainWindow().settings().SaveMode = 2;
    answerer_->then([&](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    clickButton(&mainWindow(), "Button3");
    QCOMPARE(answerer_->texts(), QStringList{kSaved});
    const QByteArray dxf = readBytes(path("drawing.dxf"));
    QVERIFY(dxf.startsWith("999\r\nmy header\r\n  0\r\nLINE\r\n"));
    QVERIFY(dxf.endsWith("  0\r\nENDSEC\r\n  0\r\nEOF\r\n"));
  }

  void versionDialog() {
    settings_->setRawValue("FirstUp", "1");
    start();
    QString shown;
    answerer_->then([&](QWidget* modal) {
      shown = modal->objectName();
      clickButton(modal, "Button1");
    });
    trigger("N2");
    QCOMPARE(shown, QStringLiteral("TForm6"));
    QVERIFY(!program_->versionDialog().isVisible());
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
