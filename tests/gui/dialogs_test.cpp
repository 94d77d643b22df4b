// The dialogs on their own: the settings dialog's fill and copy-back for every
// control and its template file, the scale calculator's numbers, the controls
// that stand in for the form designer's, the elapsed-time text, and whether
// every window's texts fit where they are placed.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <array>
#include <cmath>
#include <map>
#include <memory>

#include "app/gui/MainWindow.h"
#include "app/gui/Program.h"
#include "app/gui/SaveCommand.h"
#include "dialogs/Controls.h"
#include "dialogs/DxfHeaderModel.h"
#include "dialogs/FormSupport.h"
#include "dialogs/HeaderTemplateText.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/SavingDialog.h"
#include "dialogs/ScaleCalculatorDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/VersionDialog.h"
#include "support/GuiTestSupport.h"

using namespace vp;
using namespace vp::gui;
using namespace vp::gui::testing;

namespace {

using IntField = std::int32_t ConversionSettings::*;

const std::map<QString, IntField>& intFields() {
  static const std::map<QString, IntField> fields = {
      {"ZahyouDiv", &ConversionSettings::ZahyouDiv},
      {"ZahyouReal", &ConversionSettings::ZahyouReal},
      {"ZahyouExt", &ConversionSettings::ZahyouExt},
      {"JwcGroupe", &ConversionSettings::JwcGroupe},
      {"JwcLayer", &ConversionSettings::JwcLayer},
      {"JwcColor", &ConversionSettings::JwcColor},
      {"JwcType", &ConversionSettings::JwcType},
      {"JwcOption1", &ConversionSettings::JwcOption1},
      {"JwcOption1_Len", &ConversionSettings::JwcOption1_Len},
      {"JwcOption1_Lay", &ConversionSettings::JwcOption1_Lay},
      {"JwcOption2", &ConversionSettings::JwcOption2},
      {"JwcOption2_X", &ConversionSettings::JwcOption2_X},
      {"JwcOption2_Y", &ConversionSettings::JwcOption2_Y},
      {"JwcOption2_R", &ConversionSettings::JwcOption2_R},
      {"DxfReal", &ConversionSettings::DxfReal},
      {"DxfOption1", &ConversionSettings::DxfOption1},
      {"DxfOption1_Len", &ConversionSettings::DxfOption1_Len},
      {"DxfOption2", &ConversionSettings::DxfOption2},
      {"Special", &ConversionSettings::Special},
      {"Cad", &ConversionSettings::Cad},
      {"CadKeepSkew", &ConversionSettings::CadKeepSkew},
      {"PdfDpi", &ConversionSettings::PdfDpi},
  };
  return fields;
}

// What a control shows, as one number: an index, 0/1 for a check box, a value.
int shownState(QWidget* control) {
  if (auto* group = qobject_cast<RadioGroup*>(control)) return group->itemIndex();
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentIndex();
  if (auto* box = qobject_cast<QCheckBox*>(control)) return box->isChecked() ? 1 : 0;
  if (auto* spin = qobject_cast<SpinEdit*>(control)) return spin->currentValue();
  return -999;
}

// Changes a control as the user would.
void changeState(QWidget* control, int state) {
  if (auto* group = qobject_cast<RadioGroup*>(control)) {
    QTest::mouseClick(group->findChild<QRadioButton*>(QStringLiteral("Item%1").arg(state)), Qt::LeftButton, {},
                      QPoint(6, 8));
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < state; ++i) QTest::keyClick(list, Qt::Key_Down);
  } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
    if (box->isChecked() != (state != 0)) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8));
  } else if (auto* spin = qobject_cast<SpinEdit*>(control)) {
    spin->setValue(state);
  }
}

QString temporaryPath(const QTemporaryDir& dir, const QString& name) { return dir.filePath(name); }

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

// Types as a user would: ASCII through the keyboard, anything else as the
// input method commits it.
void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    if (c == u'\n') {
      QTest::keyClick(widget, Qt::Key_Return);
    } else if (c.unicode() < 128) {
      QTest::keyClick(widget, static_cast<char>(c.unicode()));
    } else {
      QInputMethodEvent commit;
      commit.setCommitString(QString(c));
      QApplication::sendEvent(widget, &commit);
    }
  }
}

QPushButton* button(QWidget* window, const char* name) {
  return window->findChild<QPushButton*>(QString::fromLatin1(name));
}

// How a control is sized: as designed, or by its text (a label).
enum Sizing { Fixed, Auto, AutoRight };

// The six windows as start-up makes them, shown.
struct SixForms {
  MemorySettingsStorage storage;
  QTemporaryDir folder;
  MainWindow form1{
      storage, folder.path() + u'/',
      DxfHeaderPlaces{std::filesystem::path(folder.filePath(QStringLiteral("DXFHED.TXT")).toStdU16String()), {}}};
  ProgressDialog form2;
  ScaleCalculatorDialog form3{QStringLiteral("100"), QStringLiteral("100")};
  vp::gui::SavingDialog form4;
  SettingsDialog form5{form1.dxfHeader()};
  VersionDialog form6;

  SixForms() {
    for (QWidget* form : forms()) form->show();
  }
  std::array<QWidget*, 6> forms() { return {&form1, &form2, &form3, &form4, &form5, &form6}; }
  // The main window's controls sit in its client area, beside the preview's.
  QWidget* control(const QString& form, const QString& name) {
    for (QWidget* f : forms()) {
      if (f->objectName() != form) continue;
      QWidget* scope = f == &form1 ? f->findChild<QWidget*>(QStringLiteral("ClientArea")) : f;
      return name.isEmpty() ? scope : scope->findChild<QWidget*>(name);
    }
    return nullptr;
  }
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SixForms> forms_;

 private slots:
  void cleanupTestCase() { forms_.reset(); }

  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setFont(interfaceFont());
  }

  // --- Settings dialog -----------------------------------------------------

  void settingsFillAndCopyBack_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("previous");  // filled first, to see what a later fill keeps
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("changeTo");  // -1000: the user leaves it
    QTest::addColumn<int>("copied");

    const int keep = -1000;
    struct Row {
      const char* field;
      const char* control;
      int previous, stored, shown, change_to, copied;
    };
    const Row rows[] = {
        {"ZahyouDiv", "RadioGroup1", 0, 3, 3, 1, 1},
        {"ZahyouReal", "RadioGroup2", 0, 5, 5, 0, 0},
        {"ZahyouExt", "RadioGroup3", 0, 2, 2, 1, 1},
        {"JwcGroupe", "ComboBox2", 0, 7, 7, 15, 15},
        {"JwcLayer", "ComboBox3", 0, 10, 10, 2, 2},
        {"JwcColor", "ComboBox4", 0, 5, 5, 1, 1},
        {"JwcType", "ComboBox5", 0, 8, 8, 4, 4},
        {"JwcOption1", "CheckBox3", 1, 2, 1, 0, 1},
        {"JwcOption1_Len", "SpinEdit1", 0, 250, 250, 999, 999},
        {"JwcOption1_Lay", "ComboBox1", 0, 4, 4, 9, 9},
        {"JwcOption2", "CheckBox2", 1, 2, 1, 0, 1},
        {"JwcOption2_X", "ComboBox6", 0, 11, 11, 0, 0},
        {"JwcOption2_Y", "ComboBox7", 0, 12, 12, 13, 13},
        {"JwcOption2_R", "ComboBox8", 0, 13, 13, 14, 14},
        {"DxfReal", "ComboBox9", 0, 0, 0, 5, 5},
        {"DxfOption1", "CheckBox4", 1, 2, 1, 0, 1},
        {"DxfOption1_Len", "SpinEdit2", 0, -40, -40, 123456, 123456},
        {"DxfOption2", "CheckBox5", 2, 1, 0, 1, 2},
        {"Special", "CheckBox1", 1, 2, 1, 0, 1},
        {"Cad", "CheckBox6", 1, 2, 1, 0, 1},
        {"Cad", "CheckBox6", 2, 1, 0, 1, 2},
        {"CadKeepSkew", "CheckBox7", 1, 2, 1, 0, 1},
        {"CadKeepSkew", "CheckBox7", 2, 1, 0, 1, 2},
        {"PdfDpi", "SpinEdit5", 300, 600, 600, 150, 150},
        // Values outside a control's range are shown as the control allows.
        {"ZahyouDiv", "RadioGroup1", 0, 9, 3, keep, 3},
        {"ZahyouReal", "RadioGroup2", 0, -1, -1, keep, -1},
        {"JwcGroupe", "ComboBox2", 0, 16, -1, keep, -1},
        {"DxfReal", "ComboBox9", 0, -2, -1, keep, -1},
        {"JwcOption1_Len", "SpinEdit1", 0, 5000, 1000, keep, 1000},
        {"JwcOption1_Len", "SpinEdit1", 0, -3, 0, keep, 0},
        {"PdfDpi", "SpinEdit5", 300, 5000, 1200, keep, 1200},
        // A flag that is neither 1 nor 2 leaves the box as it was.
        {"JwcOption1", "CheckBox3", 2, 0, 1, keep, 2},
        {"Special", "CheckBox1", 1, 7, 0, keep, 1},
        {"CadKeepSkew", "CheckBox7", 2, 0, 1, keep, 2},
    };
    for (const Row& r : rows) {
      QTest::addRow("%s=%d", r.field, r.stored) << QString::fromLatin1(r.field) << QString::fromLatin1(r.control)
                                                << r.previous << r.stored << r.shown << r.change_to << r.copied;
    }
  }

  void settingsFillAndCopyBack() {
    QFETCH(QString, field);
    QFETCH(QString, control);
    QFETCH(int, previous);
    QFETCH(int, stored);
    QFETCH(int, shown);
    QFETCH(int, changeTo);
    QFETCH(int, copied);

    QTemporaryDir folder;
    DxfHeaderModel header(fsPath(temporaryPath(folder, "DXFHED.TXT")));
    SettingsDialog dialog(header);
    const IntField member = intFields().at(field);
    ConversionSettings settings = default_settings("/");
    settings.*member = previous;
    dialog.fill(settings);
    settings.*member = stored;
    dialog.fill(settings);

    QWidget* widget = dialog.findChild<QWidget*>(control);
    QVERIFY2(widget != nullptr, qPrintable(control));
    QCOMPARE(shownState(widget), shown);
    if (changeTo != -1000) {
      dialog.show();
      auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
      for (int i = 0; i < pages->count(); ++i) {
        if (pages->widget(i)->isAncestorOf(widget)) pages->setCurrentIndex(i);
      }
      changeState(widget, changeTo);
      dialog.hide();
    }

    ConversionSettings back = settings;
    back.*member = 12345;
    dialog.copyBack(back);
    QCOMPARE(back.*member, copied);
    // Nothing else moved: every other field came back as it was filled.
    back.*member = settings.*member;
    QVERIFY(back == settings);
  }

  void settingsTrackBar_data() {
    QTest::addColumn<float>("ave");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("moveTo");
    QTest::addColumn<float>("copied");
    QTest::newRow("2.0 opens at 20") << 2.0f << 20 << "20" << 35 << 3.5f;
    QTest::newRow("2.3 opens at 23") << 2.3f << 23 << "23" << 1 << 0.1f;
    QTest::newRow("0.5 opens at 5") << 0.5f << 5 << "5" << 100 << 10.0f;
    // The position does not change from 50, so the label keeps its first text.
    QTest::newRow("first fill at 5.0") << 5.0f << 50 << "5.0" << 50 << 5.0f;
    QTest::newRow("beyond the bar") << 25.0f << 100 << "100" << 100 << 10.0f;
  }

  void settingsTrackBar() {
    QFETCH(float, ave);
    QFETCH(int, position);
    QFETCH(QString, label);
    QFETCH(int, moveTo);
    QFETCH(float, copied);
    QTemporaryDir folder;
    DxfHeaderModel header(fsPath(temporaryPath(folder, "DXFHED.TXT")));
    SettingsDialog dialog(header);
    ConversionSettings settings = default_settings("/");
    settings.Ave = ave;
    dialog.fill(settings);
    auto* bar = dialog.findChild<QSlider*>(QStringLiteral("TrackBar1"));
    auto* text = dialog.findChild<QLabel*>(QStringLiteral("Label10"));
    QCOMPARE(bar->value(), position);
    QCOMPARE(text->text(), label);
    bar->setValue(moveTo);
    if (moveTo != position) QCOMPARE(text->text(), QString::number(moveTo));
    dialog.copyBack(settings);
    QCOMPARE(settings.Ave, copied);
  }

  // Ctrl+Tab and Ctrl+PgDn (and back) change tabs whichever control has the
  // keys, and that control keeps its value: the JWC group combo is the one
  // that used to take Ctrl+PgDn.
  void settingsTabKeys() {
    QTemporaryDir folder;
    DxfHeaderModel header(fsPath(temporaryPath(folder, "DXFHED.TXT")));
    SettingsDialog dialog(header);
    dialog.fill(default_settings("/"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    struct Case {
      const char* control;
      int tab;
      Qt::Key key;
      Qt::KeyboardModifiers modifiers;
      int expected;
    } cases[] = {
        {"ComboBox2", 1, Qt::Key_PageDown, Qt::ControlModifier, 2},
        {"ComboBox2", 1, Qt::Key_PageUp, Qt::ControlModifier, 0},
        {"ComboBox2", 1, Qt::Key_Tab, Qt::ControlModifier, 2},
        {"ComboBox2", 1, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0},
        {"SpinEdit1", 1, Qt::Key_PageDown, Qt::ControlModifier, 2},
        {"Memo1", 2, Qt::Key_Tab, Qt::ControlModifier, 3},
        {"Button1", 4, Qt::Key_PageDown, Qt::ControlModifier, 0},
    };
    for (const Case& c : cases) {
      pages->setCurrentIndex(c.tab);
      auto* control = dialog.findChild<QWidget*>(QString::fromLatin1(c.control));
      control->setFocus();
      const QString before = dialog.findChild<QComboBox*>(QStringLiteral("ComboBox2"))->currentText();
      QTest::keyClick(control, c.key, c.modifiers);
      QCOMPARE(pages->currentIndex(), c.expected);
      QCOMPARE(dialog.findChild<QComboBox*>(QStringLiteral("ComboBox2"))->currentText(), before);
    }
  }

  // The main window's boxes without a label of their own have names for screen readers.
  void accessibleNames() {
    MemorySettingsStorage storage;
    QTemporaryDir folder;
    MainWindow window(storage, folder.path() + u'/', DxfHeaderPlaces{});
    const std::pair<const char*, const char*> named[] = {{"SpinEdit1", "バナナの本数"}, {"Edit1", "ばいりつ"}};
    for (const auto& [control, name] : named) {
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(control));
      QVERIFY(face != nullptr);
      QCOMPARE(face->text(QAccessible::Name), QString::fromUtf8(name));
    }
  }

  // OK, "中止" and the template file, through the modal dialog.
  void settingsTemplateFile_data() {
    QTest::addColumn<QByteArray>("before");  // empty: no file
    QTest::addColumn<QString>("typed");      // appended to the box
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QByteArray>("after");  // "-": no file
    QTest::addColumn<int>("zahyouDiv");

    const QByteArray crlf = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    const QByteArray shiftJis = "999\r\n\x83\x6f\x83\x69\x83\x69\r\n  0\r\n";
    QTest::newRow("OK unchanged") << crlf << ""
                                  << "Button1" << crlf << 2;
    QTest::newRow("OK keeps Shift-JIS bytes") << shiftJis << ""
                                              << "Button1" << shiftJis << 2;
    QTest::newRow("OK rewrites LF as CR LF") << QByteArray("a\nb\n") << ""
                                             << "Button1" << QByteArray("a\r\nb\r\n") << 2;
    QTest::newRow("OK with an edit") << crlf << "999\nバナナ"
                                     << "Button1" << crlf + "999\r\n" + QStringLiteral("バナナ").toUtf8() + "\r\n"
                                     << 2;
    QTest::newRow("OK creates a missing file") << QByteArray() << ""
                                               << "Button1" << QByteArray("") << 2;
    QTest::newRow("中止 after an edit") << crlf << "999"
                                        << "Button2" << crlf << 0;
    QTest::newRow("中止 without a file") << QByteArray() << "x"
                                         << "Button2" << QByteArray("-") << 0;
  }

  void settingsTemplateFile() {
    QFETCH(QByteArray, before);
    QFETCH(QString, typed);
    QFETCH(QString, buttonName);
    QFETCH(QByteArray, after);
    QFETCH(int, zahyouDiv);

    QTemporaryDir folder;
    const QString path = temporaryPath(folder, "DXFHED.TXT");
    if (!before.isEmpty()) QVERIFY(writeBytes(path, before));
    DxfHeaderModel header(fsPath(path));
    SettingsDialog dialog(header);
    ConversionSettings settings = default_settings("/");

    ModalAnswerer answerer;
    answerer.then([&](QWidget* modal) {
      QCOMPARE(modal, &dialog);
      // The user picks a separator and types into the header box.
      auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
      QCOMPARE(pages->currentIndex(), 0);
      changeState(dialog.findChild<RadioGroup*>(QStringLiteral("RadioGroup1")), 2);
      pages->setCurrentIndex(2);
      auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
      memo->moveCursor(QTextCursor::End);
      typeText(memo, typed);
      QTest::mouseClick(button(&dialog, qPrintable(buttonName)), Qt::LeftButton);
    });
    dialog.edit(settings);
    QCOMPARE(answerer.pendingSteps(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.ZahyouDiv, zahyouDiv);
    // The template in hand, which the next DXF file starts with: the box's
    // text after OK, what the file held after 中止 (not the abandoned edit).
    QCOMPARE(QByteArray::fromStdString(header.header().to_bytes()), buttonName == "Button1" ? after : before);
    if (after == "-") {
      QVERIFY(!QFile::exists(path));
    } else {
      QCOMPARE(readBytes(path), after);
    }
  }

  // The スキャン tab from the stored texts and back: missing or damaged texts,
  // numbers beyond their range included, show their defaults (today's rule); the
  // grey level can be edited only for "a level"; OK stores what the tab shows, 中止
  // leaves the texts as they were.
  void scanTabRoundTrip_data() {
    QTest::addColumn<QStringList>("stored");  // ScanThreshold, ScanLevel, ScanSpeck; "-": missing
    QTest::addColumn<QList<int>>("shown");    // rule, level, speck
    QTest::addColumn<int>("choose");          // the rule the user clicks; -1: none
    QTest::addColumn<int>("speck");           // what the user sets; -1: nothing
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QStringList>("after");
    const auto row = [](const char* name, QStringList stored, QList<int> shown, int choose, int speck,
                        const char* button, QStringList after) {
      QTest::newRow(name) << stored << shown << choose << speck << QString::fromLatin1(button) << after;
    };
    row("old file, auto chosen", {"-", "-", "-"}, {0, 128, 0}, 2, -1, "Button1", {"2", "128", "0"});
    row("a level kept", {"5", "60", "12"}, {5, 60, 12}, -1, -1, "Button1", {"5", "60", "12"});
    row("damaged texts", {"auto", "x1", "8px"}, {0, 128, 0}, -1, -1, "Button1", {"0", "128", "0"});
    row("beyond the ranges", {"9", "0", "20000"}, {0, 128, 0}, -1, -1, "Button1", {"0", "128", "0"});
    row("below the ranges", {"-1", "300", "-4"}, {0, 128, 0}, -1, -1, "Button1", {"0", "128", "0"});
    row("a level and specks chosen", {"2", "-", "-"}, {2, 128, 0}, 5, 30, "Button1", {"5", "128", "30"});
    row("中止", {"3", "40", "5"}, {3, 40, 5}, 5, 99, "Button2", {"3", "40", "5"});
  }

  void scanTabRoundTrip() {
    QFETCH(QStringList, stored);
    QFETCH(QList<int>, shown);
    QFETCH(int, choose);
    QFETCH(int, speck);
    QFETCH(QString, buttonName);
    QFETCH(QStringList, after);
    const char* names[] = {"ScanThreshold", "ScanLevel", "ScanSpeck"};
    MemorySettingsStorage storage;
    for (int i = 0; i < 3; ++i) {
      if (stored[i] != "-") storage.write(names[i], stored[i].toStdString());
    }
    ConversionSettings settings = load_settings(storage, "/");
    QTemporaryDir folder;
    DxfHeaderModel header(fsPath(temporaryPath(folder, "DXFHED.TXT")));
    SettingsDialog dialog(header);
    ModalAnswerer answerer;
    answerer.then([&](QWidget*) {
      auto* pages = dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
      pages->setCurrentIndex(4);
      QCOMPARE(pages->tabText(4), QStringLiteral("スキャン"));
      auto* rule = dialog.findChild<RadioGroup*>(QStringLiteral("RadioGroup4"));
      auto* level = dialog.findChild<SpinEdit*>(QStringLiteral("SpinEdit3"));
      auto* specks = dialog.findChild<SpinEdit*>(QStringLiteral("SpinEdit4"));
      QCOMPARE((QList<int>{rule->itemIndex(), level->currentValue(), specks->currentValue()}), shown);
      QCOMPARE(level->isEnabled(), shown[0] == 5);
      if (choose >= 0) {
        changeState(rule, choose);
        QCOMPARE(level->isEnabled(), choose == 5);
      }
      if (speck >= 0) changeState(specks, speck);
      QTest::mouseClick(button(&dialog, qPrintable(buttonName)), Qt::LeftButton);
    });
    dialog.edit(settings);
    QCOMPARE(answerer.pendingSteps(), 0);
    save_settings(settings, storage);
    QStringList written;
    for (const char* name : names) written << QString::fromStdString(storage.read(name).value_or("-"));
    QCOMPARE(written, after);
  }

  // A template file that cannot be written: the settings are copied, the user
  // is told, and the dialog stays open.
  void settingsTemplateNotWritable() {
    QTemporaryDir folder;
    QVERIFY(writeBytes(temporaryPath(folder, "plain-file"), "x"));
    const QString path = temporaryPath(folder, "plain-file/DXFHED.TXT");
    DxfHeaderModel header(fsPath(path));
    SettingsDialog dialog(header);
    ConversionSettings settings = default_settings("/");
    bool stillOpen = false;

    ModalAnswerer answerer;
    answerer.then([&](QWidget*) {
      changeState(dialog.findChild<RadioGroup*>(QStringLiteral("RadioGroup3")), 2);
      QTest::mouseClick(button(&dialog, "Button1"), Qt::LeftButton);
    });
    answerer.then([&](QWidget* modal) {  // the error box
      qobject_cast<QMessageBox*>(modal)->defaultButton()->click();
      stillOpen = dialog.isVisible();
      QCOMPARE(settings.ZahyouExt, 2);
      QTest::mouseClick(button(&dialog, "Button2"), Qt::LeftButton);
    });
    dialog.edit(settings);
    QVERIFY(stillOpen);
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes()[0].text,
             QStringLiteral("ファイル %1 を作成できません").arg(QDir::toNativeSeparators(path)));
    QCOMPARE(answerer.boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(settings.ZahyouExt, 2);
  }

  // An installed template that no one may replace (/proc/version: not even root
  // may put a file beside it): the dialog shows it, and OK writes the box to the
  // user's own copy, making its folders, without a word; from then on that copy is read.
  void settingsTemplateInstalledReadOnly() {
    QTemporaryDir folder;
    const QString user = temporaryPath(folder, "data/Quillet/VelorinPelkin/DXFHED.TXT");
    DxfHeaderModel header(DxfHeaderPlaces{
        fsPath(user), {fsPath(temporaryPath(folder, "bin/DXFHED.TXT")), std::filesystem::path("/proc/version")}});
    SettingsDialog dialog(header);
    QCOMPARE(header.path(), std::filesystem::path("/proc/version"));
    ConversionSettings settings = default_settings("/");
    QString shown;
    ModalAnswerer answerer;
    answerer.then([&](QWidget*) {
      auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
      shown = memo->toPlainText();
      memo->setPlainText(QStringLiteral("  0\nSECTION"));
      QTest::mouseClick(button(&dialog, "Button1"), Qt::LeftButton);
    });
    dialog.edit(settings);
    QVERIFY2(shown.startsWith(QStringLiteral("Linux version")), qPrintable(shown));
    QCOMPARE(answerer.boxes().size(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(readBytes(user), QByteArray("  0\r\nSECTION\r\n"));
    QCOMPARE(header.path(), fsPath(user));
  }

  // A template that is there but cannot be read: the dialog is not shown, so
  // its OK cannot replace the file with an empty box.
  void settingsTemplateNotReadable() {
    QTemporaryDir folder;
    const QString path = temporaryPath(folder, "DXFHED.TXT");
    QVERIFY(QDir().mkpath(path));
    DxfHeaderModel header(fsPath(path));
    SettingsDialog dialog(header);
    ConversionSettings settings = default_settings("/");
    const ConversionSettings before = settings;
    ModalAnswerer answerer;
    dialog.edit(settings);
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes()[0].text, QString::fromStdString(dxf_header_unreadable_message(fsPath(path))));
    QVERIFY(settings == before);
    QVERIFY(QFileInfo(path).isDir());
  }

  void headerTemplateText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << int(HeaderEncoding::Utf8) << "";
    QTest::newRow("one empty line") << QByteArray("\r\n") << int(HeaderEncoding::Utf8) << "\n";
    QTest::newRow("ascii") << QByteArray("  0\r\nEOF\r\n") << int(HeaderEncoding::Utf8) << "  0\nEOF\n";
    QTest::newRow("trailing empty line") << QByteArray("a\r\n\r\n") << int(HeaderEncoding::Utf8) << "a\n\n";
    QTest::newRow("utf-8") << QStringLiteral("図面\r\n").toUtf8() << int(HeaderEncoding::Utf8) << "図面\n";
    QTest::newRow("shift-jis") << QByteArray("\x90\x7d\x96\xca\r\n") << int(HeaderEncoding::ShiftJis) << "図面\n";
    QTest::newRow("bytes of no encoding")
        << QByteArray("\xff\xfe\x80\r\n") << int(HeaderEncoding::Latin1) << QString::fromLatin1("\xff\xfe\x80\n");
  }

  void headerTemplateText() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(QString, text);
    const DxfHeaderTemplate header = DxfHeaderTemplate::from_bytes(std::string_view(bytes.constData(), bytes.size()));
    const HeaderEncoding detected = detectHeaderEncoding(header);
    QCOMPARE(int(detected), encoding);
    QCOMPARE(headerToText(header, detected), text);
    QVERIFY(headerFromText(text, detected) == header);
  }

  // Japanese typed into a template of raw bytes cannot be held as Latin-1.
  void headerTemplateTextTurnsUtf8() {
    const DxfHeaderTemplate back = headerFromText(QStringLiteral("\u00ffバナナ"), HeaderEncoding::Latin1);
    QCOMPARE(back.lines().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(back.lines()[0]), QStringLiteral("\u00ffバナナ"));
  }

  // The template in hand takes an edited text in the encoding its file came
  // in, and shows it again as typed.
  void headerModelText_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Shift-JIS stays Shift-JIS") << QByteArray("\x90\x7d\x96\xca\r\n") << QStringLiteral("図面\nバナナ")
                                               << QByteArray("\x90\x7d\x96\xca\r\n\x83\x6f\x83\x69\x83\x69\r\n");
    QTest::newRow("Latin-1 with Japanese turns UTF-8")
        << QByteArray("\xff\r\n") << QStringLiteral("\u00ffバナナ")
        << QByteArray("\xc3\xbf\xe3\x83\x90\xe3\x83\x8a\xe3\x83\x8a\r\n");
    QTest::newRow("no file, ASCII") << QByteArray() << QStringLiteral("  0\nEOF") << QByteArray("  0\r\nEOF\r\n");
  }

  void headerModelText() {
    QFETCH(QByteArray, file);
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    const QString path = temporaryPath(folder, "DXFHED.TXT");
    if (!file.isEmpty()) QVERIFY(writeBytes(path, file));
    DxfHeaderModel header(fsPath(path));
    QCOMPARE(header.load().outcome, file.isEmpty() ? DxfHeaderLoad::Missing : DxfHeaderLoad::Loaded);
    header.setText(typed);
    QCOMPARE(QByteArray::fromStdString(header.header().to_bytes()), bytes);
    QCOMPARE(header.text(), typed + u'\n');
  }

  // --- Scale calculator ----------------------------------------------------

  void scaleResult_data() {
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("dpi");
    QTest::addColumn<QString>("result");  // empty: the label keeps its text
    QTest::newRow("1/100 at 100 dpi") << "100"
                                      << "100"
                                      << "25.39999962";
    QTest::newRow("1/100 at 400 dpi") << "100"
                                      << "400"
                                      << "6.34999990";
    QTest::newRow("zero resolution") << "100"
                                     << "0"
                                     << "";
    QTest::newRow("letters in the scale") << "abc"
                                          << "100"
                                          << "";
    QTest::newRow("letters in the resolution") << "100"
                                               << "4OO"
                                               << "";
    QTest::newRow("empty") << ""
                           << "100"
                           << "";
  }

  void scaleResult() {
    QFETCH(QString, scale);
    QFETCH(QString, dpi);
    QFETCH(QString, result);
    // The dialog, typed into as a user would: the result follows every change
    // that can be computed, and stays where one cannot.
    ScaleCalculatorDialog dialog(QStringLiteral("100"), QStringLiteral("200"));
    dialog.show();
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(label->text(), QStringLiteral("12.69999981"));
    auto* edit1 = dialog.findChild<QLineEdit*>(QStringLiteral("Edit1"));
    auto* edit2 = dialog.findChild<QLineEdit*>(QStringLiteral("Edit2"));
    edit2->selectAll();
    QTest::keyClicks(edit2, dpi);
    edit1->selectAll();
    QTest::keyClicks(edit1, scale);
    if (result.isEmpty()) {
      QVERIFY(!scaleResultText(scale, dpi).has_value());
      QVERIFY(label->text() != QStringLiteral("Label1"));  // some earlier result is kept
    } else {
      QCOMPARE(label->text(), result);
    }
  }

  void scaleFilledAtCreation_data() {
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("dpi");
    QTest::addColumn<QString>("shown");
    QTest::newRow("both numbers") << "100"
                                  << "400"
                                  << "6.34999990";
    QTest::newRow("scale not a number") << "x"
                                        << "400"
                                        << "Label1";
    // Edit1 is filled while Edit2 still holds "100".
    QTest::newRow("resolution not a number") << "200"
                                             << "y"
                                             << "50.79999924";
    QTest::newRow("resolution zero") << "300"
                                     << "0"
                                     << "76.19999695";
  }

  void scaleFilledAtCreation() {
    QFETCH(QString, scale);
    QFETCH(QString, dpi);
    QFETCH(QString, shown);
    ScaleCalculatorDialog dialog(scale, dpi);
    dialog.show();
    QCOMPARE(dialog.resultText(), shown);
    QCOMPARE(dialog.scaleText(), scale);
    QCOMPARE(dialog.dpiText(), dpi);
  }

  // --- Controls ------------------------------------------------------------

  void spinEditText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("notANumber");
    QTest::addColumn<int>("value");
    QTest::newRow("in range") << "7" << 1 << 100 << 1 << 7;
    QTest::newRow("spaces") << " 12 " << 1 << 100 << 1 << 12;
    QTest::newRow("too large") << "250" << 1 << 100 << 1 << 100;
    QTest::newRow("zero") << "0" << 1 << 100 << 1 << 1;
    QTest::newRow("negative") << "-5" << 1 << 100 << 1 << 1;
    QTest::newRow("empty") << "" << 1 << 100 << 1 << 1;
    QTest::newRow("lone sign") << "-" << 1 << 100 << 1 << 1;
    QTest::newRow("two numbers") << "1-2" << 1 << 100 << 1 << 1;
    QTest::newRow("huge") << "99999999999" << 1 << 100 << 1 << 100;
    QTest::newRow("unbounded negative") << "-40" << INT_MIN << INT_MAX << 0 << -40;
    QTest::newRow("unbounded not a number") << "-" << INT_MIN << INT_MAX << 0 << 0;
  }

  void spinEditText() {
    QFETCH(QString, text);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, notANumber);
    QFETCH(int, value);
    QCOMPARE(SpinEdit::valueOfText(text, minimum, maximum, notANumber), value);

    // Typed into the box, then the focus leaves it.
    QWidget window;
    auto* spinBox = new SpinEdit(&window);
    SpinEdit& spin = *spinBox;
    spin.setRange(minimum, maximum);
    spin.setNotANumberValue(notANumber);
    spin.setValue(minimum == 1 ? 3 : 17);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    spin.setFocus();
    auto* edit = spin.findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QCOMPARE(spin.currentValue(), value);
    other->setFocus();
    QTRY_COMPARE(spin.value(), value);
    QCOMPARE(spin.text(), QString::number(value));
  }

  // --- Progress dialog -----------------------------------------------------

  void elapsedText_data() {
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0:00:00";
    QTest::newRow("under a second") << qint64(999) << "0:00:00";
    QTest::newRow("a minute and a second") << qint64(61'500) << "0:01:01";
    QTest::newRow("an hour") << qint64(3'600'000) << "1:00:00";
    QTest::newRow("just under a day") << qint64(86'399'999) << "23:59:59";
    QTest::newRow("past a day") << qint64(90'001'000) << "25:00:01";
    QTest::newRow("negative") << qint64(-5) << "0:00:00";
  }

  void elapsedText() {
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(formatElapsed(ms), text);
  }

  // The clock ticks while a conversion runs, and the time the main window
  // reports is taken when the conversion ends.
  void progressClock() {
    QWidget main;
    ProgressDialog dialog;
    dialog.attach(&main);
    main.show();
    dialog.conversion_started();
    QVERIFY(dialog.isVisible());
    QVERIFY(!main.isEnabled());
    auto* clock = dialog.findChild<QLabel*>(QStringLiteral("Label14"));
    QTRY_COMPARE_WITH_TIMEOUT(clock->text(), QStringLiteral("0:00:01"), 3000);
    QVERIFY(dialog.serve_events());
    QTest::mouseClick(button(&dialog, "Button2"), Qt::LeftButton);
    QVERIFY(!dialog.serve_events());  // the abort is asked for
    // Well after the tick, before the next one: the time taken at the end,
    // not the one the tick stored.
    const qint64 atTick = dialog.elapsedMs();
    QVERIFY(atTick >= 1000);
    QTest::qWait(300);
    dialog.conversion_finished();
    QVERIFY(!dialog.isVisible());
    QVERIFY(main.isEnabled());
    QVERIFY2(dialog.elapsedMs() >= atTick + 300, qPrintable(QString::number(dialog.elapsedMs())));
    QCOMPARE(formatElapsed(dialog.elapsedMs()), clock->text());
  }

  // --- Layout --------------------------------------------------------------

  void interfaceFontIsJapanese() {
    const QString family = interfaceFontFamily();
    QVERIFY(QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese));
    QCOMPARE(interfaceFont().pixelSize(), 12);
  }

  // Every control of the six windows at its designed place and size, under
  // the font with the designed font's metrics. Labels that size themselves
  // to their text may differ by 3 pixels in size; a right-aligned one keeps
  // its right edge. Captions fit their labels: a line's text no wider than
  // the label, a wrapped text in its designed number of lines.
  void designedGeometry_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("control");  // empty: the form's client area
    QTest::addColumn<QRect>("designed");   // -1: not part of the design
    QTest::addColumn<int>("sizing");
    QTest::addColumn<QString>("text");       // set first, when not empty
    QTest::addColumn<QStringList>("lines");  // of a wrapped label

    struct Row {
      const char* form;
      const char* control;
      int left, top, width, height;  // for AutoRight, `left` is the right edge
      Sizing sizing;
      const char* text;
      const char* lines;  // separated by "|"
    };
    static const Row rows[] = {
        {"TForm1", "", -1, -1, 340, 244, Fixed, "", ""},
        {"TForm1", "Label1", 76, 4, 206, 12, Auto, "", ""},
        {"TForm1", "Image1", 8, 28, 48, 48, Fixed, "", ""},
        {"TForm1", "Button1", 64, 32, 97, 33, Fixed, "", ""},
        {"TForm1", "Label6", 180, 56, 133, 69, Fixed, "", "VelorinPelkinⅡ"},
        {"TForm1", "Label6", 180, 56, 133, 69, Fixed, "1234本のデータがあるよ。", "1234本のデータが|あるよ。"},
        {"TForm1", "Label6", 180, 56, 133, 69, Fixed, "キャンセルされたのでデータがないよ。",
         "キャンセルされたので|データがないよ。"},
        {"TForm1", "Image2", 8, 96, 48, 48, Fixed, "", ""},
        {"TForm1", "Edit1", 64, 100, 93, 20, Fixed, "", ""},
        {"TForm1", "Button4", 92, 124, 65, 21, Fixed, "", ""},
        {"TForm1", "Image4", 224, 136, 48, 48, Fixed, "", ""},
        {"TForm1", "Image3", 8, 164, 48, 48, Fixed, "", ""},
        {"TForm1", "Button3", 64, 172, 97, 33, Fixed, "", ""},
        {"TForm1", "Label5", 184, 196, 70, 12, Auto, "", ""},
        {"TForm1", "SpinEdit1", 260, 192, 45, 21, Fixed, "", ""},
        {"TForm1", "StatusBar1", 0, 225, 340, 19, Fixed, "", ""},

        {"TForm2", "", -1, -1, 480, 152, Fixed, "", ""},
        {"TForm2", "Label1", 8, 8, -1, -1, Auto, "", ""},
        {"TForm2", "ProgressBar1", 72, 8, 400, 13, Fixed, "", ""},
        {"TForm2", "Label2", 8, 28, -1, -1, Auto, "", ""},
        {"TForm2", "ProgressBar2", 72, 28, 400, 13, Fixed, "", ""},
        {"TForm2", "Label3", 8, 48, -1, -1, Auto, "", ""},
        {"TForm2", "ProgressBar3", 72, 48, 400, 13, Fixed, "", ""},
        {"TForm2", "Label5", 8, 68, -1, -1, Auto, "", ""},
        {"TForm2", "ProgressBar4", 72, 68, 400, 13, Fixed, "", ""},
        {"TForm2", "Bevel1", 72, 88, 293, 49, Fixed, "", ""},
        {"TForm2", "Label6", 80, 96, -1, -1, Auto, "", ""},
        {"TForm2", "Label7", 136, 96, -1, -1, Auto, "", ""},
        {"TForm2", "Label4", 232, 96, -1, -1, Auto, "", ""},
        {"TForm2", "Label8", 288, 96, -1, -1, Auto, "", ""},
        {"TForm2", "Label9", 80, 116, -1, -1, Auto, "", ""},
        {"TForm2", "Label12", 179, 116, -1, -1, AutoRight, "", ""},
        {"TForm2", "Label13", 188, 116, -1, -1, Auto, "", ""},
        {"TForm2", "Label10", 278, 116, -1, -1, AutoRight, "", ""},
        {"TForm2", "Label11", 284, 116, -1, -1, Auto, "", ""},
        {"TForm2", "Label14", 12, 124, -1, -1, Auto, "", ""},
        {"TForm2", "Button2", 377, 114, 81, 25, Fixed, "", ""},

        {"TForm3", "", -1, -1, 266, 166, Fixed, "", ""},
        {"TForm3", "Label2", 8, 16, 103, 24, Fixed, "", "スキャナで詠み込ん|だ図面のスケール"},
        {"TForm3", "Label5", 144, 20, -1, -1, Auto, "", ""},
        {"TForm3", "Edit1", 160, 16, 65, 20, Fixed, "", ""},
        {"TForm3", "Label3", 8, 56, 98, 24, Fixed, "", "スキャナの|読みとり解像度"},
        {"TForm3", "Edit2", 160, 56, 65, 20, Fixed, "", ""},
        {"TForm3", "Label6", 232, 60, -1, -1, Auto, "", ""},
        {"TForm3", "Bevel1", 8, 96, 249, 9, Fixed, "", ""},
        {"TForm3", "Label4", 8, 112, -1, -1, Auto, "", ""},
        {"TForm3", "Label1", 225, 112, -1, -1, AutoRight, "", ""},
        {"TForm3", "Button1", 96, 136, 75, 25, Fixed, "", ""},
        {"TForm3", "Button2", 184, 136, 75, 25, Fixed, "", ""},

        {"TForm4", "", -1, -1, 192, 73, Fixed, "", ""},
        {"TForm4", "Label1", 57, 8, -1, -1, Auto, "", ""},
        {"TForm4", "ProgressBar1", 8, 32, 177, 17, Fixed, "", ""},

        {"TForm5", "", -1, -1, 466, 310, Fixed, "", ""},
        {"TForm5", "PageControl1", 8, 8, 449, 265, Fixed, "", ""},
        {"TForm5", "Button1", 304, 280, 75, 25, Fixed, "", ""},
        {"TForm5", "Button2", 384, 280, 75, 25, Fixed, "", ""},
        {"TForm5", "Memo1", -1, -1, 265, 193, Fixed, "", ""},
        {"TForm5", "TrackBar1", -1, -1, 389, 45, Fixed, "", ""},
        {"TForm5", "Label15", -1, -1, -1, -1, Fixed, "", "所定長さ以下の線の|処理（優先）"},
        {"TForm5", "Label17", -1, -1, -1, -1, Fixed, "", "縦横斜めを|ﾚｲﾔｰ分けする。"},
        {"TForm5", "Label19", -1, -1, -1, -1, Fixed, "",
         "スペシャルバナナをつかうと、ほとんどの線が斜めになりますので、|"
         "JWC・DXFの設定にある縦横斜めのレイヤー分けがうまくいきません。"},

        {"TForm5", "RadioGroup4", 8, 4, 257, 164, Fixed, "", ""},
        {"TForm5", "SpinEdit3", 140, 134, 50, 22, Fixed, "", ""},
        {"TForm5", "Label22", 194, 137, 54, 12, Auto, "", ""},
        {"TForm5", "GroupBox6", 273, 4, 160, 164, Fixed, "", ""},
        {"TForm5", "SpinEdit4", 10, 28, 60, 22, Fixed, "", ""},
        {"TForm5", "Label23", 76, 31, 65, 13, Auto, "", ""},
        {"TForm5", "Label24", 10, 60, 140, 36, Fixed, "",
         "ちいさな点（ほこりやノイズ）|を線にするまえにけします。|0ならけしません。"},
        {"TForm5", "Label25", 8, 172, 425, 36, Fixed, "",
         "※グレーやカラーでスキャンしたBMPには「おまかせ」がおすすめです。|"
         "白黒の画像はどれをえらんでもそのままよみこみます。"},
        {"TForm5", "Label26", 8, 213, -1, -1, Auto, "", ""},
        {"TForm5", "SpinEdit5", 170, 210, 60, 22, Fixed, "", ""},
        {"TForm5", "Label27", 236, 213, -1, -1, Auto, "", ""},

        {"TForm6", "", -1, -1, 298, 178, Fixed, "", ""},
        {"TForm6", "Label2", 60, 16, -1, -1, Auto, "", ""},
        {"TForm6", "Label1", 116, 32, -1, -1, Auto, "", ""},
        {"TForm6", "Label3", 50, 52, -1, -1, Auto, "", ""},
        {"TForm6", "Image2", 16, 80, 48, 48, Fixed, "", ""},
        {"TForm6", "Image3", 87, 80, 48, 48, Fixed, "", ""},
        {"TForm6", "Image4", 157, 80, 48, 48, Fixed, "", ""},
        {"TForm6", "Image5", 228, 80, 48, 48, Fixed, "", ""},
        {"TForm6", "Button1", 120, 144, 61, 25, Fixed, "", ""},
    };
    for (const Row& r : rows) {
      const QString text = QString::fromUtf8(r.text);
      QTest::addRow("%s/%s%s", r.form, r.control, text.isEmpty() ? "" : " (set)")
          << QString::fromLatin1(r.form) << QString::fromLatin1(r.control) << QRect(r.left, r.top, r.width, r.height)
          << int(r.sizing) << text << QString::fromUtf8(r.lines).split(u'|', Qt::SkipEmptyParts);
    }
  }

  void designedGeometry() {
    QFETCH(QString, form);
    QFETCH(QString, control);
    QFETCH(QRect, designed);
    QFETCH(int, sizing);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    // The design's widths hold only with the metric-compatible font.
    QCOMPARE(interfaceFontFamily(), QStringLiteral("IPAPGothic"));
    if (!forms_) forms_ = std::make_unique<SixForms>();
    QWidget* w = forms_->control(form, control);
    QVERIFY2(w != nullptr, qPrintable(form + u'/' + control));
    auto* label = qobject_cast<QLabel*>(w);
    if (!text.isEmpty()) label->setText(text);

    const int slack = sizing == Fixed ? 0 : 3;
    const QRect g = w->geometry();
    const auto near = [&](int actual, int expected, int allowed) {
      return expected < 0 || std::abs(actual - expected) <= allowed;
    };
    const QString where = QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    if (sizing == AutoRight) {
      QVERIFY2(g.x() + g.width() == designed.left(), qPrintable(where));  // the right edge
    } else {
      QVERIFY2(near(g.x(), designed.left(), 0), qPrintable(where));
    }
    QVERIFY2(near(g.y(), designed.top(), 0), qPrintable(where));
    QVERIFY2(near(g.width(), designed.width(), slack), qPrintable(where));
    QVERIFY2(near(g.height(), designed.height(), slack), qPrintable(where));

    if (label == nullptr || label->text().isEmpty()) return;
    const QFontMetrics metrics(label->font());
    if (!label->wordWrap()) {
      QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->contentsRect().width(),
               qPrintable(where + QStringLiteral(" clips \"%1\"").arg(label->text())));
      return;
    }
    QCOMPARE(wrappedLines(label), lines);
    for (const QString& line : lines) QVERIFY(metrics.horizontalAdvance(line) <= label->contentsRect().width());
    // Lines follow each other at the font's 12 pixels, as designed.
    QVERIFY2(label->heightForWidth(label->width()) == lines.size() * 12, qPrintable(where));
    QVERIFY2(lines.size() * 12 <= label->height(), qPrintable(where + " clips its last line"));
  }

  // Dialog frames: a title bar, no minimise or maximise box, and a close box
  // only where closing is the cancel the dialog offers. Closing the progress
  // and saving dialogs while they work is refused.
  void dialogFrames_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("progress") << "TForm2" << false;
    QTest::newRow("scale calculator") << "TForm3" << true;
    QTest::newRow("saving") << "TForm4" << false;
    QTest::newRow("settings") << "TForm5" << true;
    QTest::newRow("version") << "TForm6" << true;
  }

  void dialogFrames() {
    QFETCH(QString, form);
    QFETCH(bool, closeBox);
    if (!forms_) forms_ = std::make_unique<SixForms>();
    auto* dialog = qobject_cast<QDialog*>(forms_->control(form, QString()));
    QVERIFY(dialog != nullptr);
    const Qt::WindowFlags flags = dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(flags.testFlag(Qt::WindowCloseButtonHint), closeBox);

    dialog->hide();
    if (closeBox) {
      QTimer::singleShot(0, dialog, &QWidget::close);
      QCOMPARE(dialog->exec(), int(QDialog::Rejected));
      return;
    }
    QWidget main;
    if (auto* progress = qobject_cast<ProgressDialog*>(dialog)) {
      progress->attach(&main);
      progress->conversion_started();
      QVERIFY(!progress->close());
      QTest::keyClick(progress, Qt::Key_Escape);
      QVERIFY(progress->isVisible());
      QVERIFY(progress->serve_events());  // neither asked for an abort
      progress->conversion_finished();
    } else {
      auto* saving = qobject_cast<vp::gui::SavingDialog*>(dialog);
      saving->attach(&main);
      saving->begin_saving();
      QVERIFY(!saving->close());
      QTest::keyClick(saving, Qt::Key_Escape);
      QVERIFY(saving->isVisible());
      saving->end_saving();
    }
    QVERIFY(!dialog->isVisible());
  }

  // Every text of every window fits where it is placed, inside its parent, and
  // no two labels cover each other.
  void textsFit() {
    MemorySettingsStorage storage;
    QTemporaryDir folder;
    MainWindow form1(storage, folder.path() + u'/', DxfHeaderPlaces{fsPath(temporaryPath(folder, "DXFHED.TXT")), {}});
    ProgressDialog form2;
    ScaleCalculatorDialog form3(QStringLiteral("100"), QStringLiteral("100"));
    vp::gui::SavingDialog form4;
    SettingsDialog form5(form1.dxfHeader());
    VersionDialog form6;
    QWidget* forms[] = {&form1, &form2, &form3, &form4, &form5, &form6};
    for (QWidget* form : forms) {
      form->show();
      QVERIFY(QTest::qWaitForWindowExposed(form));
      for (QWidget* w : form->findChildren<QWidget*>()) {
        if (w->window() != form || !w->isVisible() || w->parentWidget() == nullptr) continue;
        if (qobject_cast<QDialog*>(w) != nullptr) continue;
        const QString where = form->objectName() + u'/' + w->objectName();
        const QRect inParent = w->parentWidget()->rect();
        QVERIFY2(inParent.contains(w->geometry()), qPrintable(where + " leaves its parent"));
        if (auto* label = qobject_cast<QLabel*>(w);
            label != nullptr && label->pixmap().isNull() && !label->objectName().isEmpty()) {
          const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
          QVERIFY2(label->height() >= needed,
                   qPrintable(where + QStringLiteral(" is clipped below: %1 < %2").arg(label->height()).arg(needed)));
          if (!label->wordWrap()) {
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(where + " is clipped at the side"));
          }
        }
        if (auto* box = qobject_cast<QCheckBox*>(w); box != nullptr && !box->text().isEmpty()) {
          QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(where + " is clipped"));
        }
        if (auto* radio = qobject_cast<QRadioButton*>(w)) {
          QVERIFY2(radio->width() >= radio->sizeHint().width(), qPrintable(where + " is clipped"));
          QVERIFY2(radio->geometry().bottom() < inParent.bottom() - 2, qPrintable(where + " sits on its frame"));
        }
        if (auto* push = qobject_cast<QPushButton*>(w)) {
          const int text = push->fontMetrics().horizontalAdvance(push->text());
          QVERIFY2(push->width() >= text, qPrintable(where + " text wider than the button"));
        }
      }
      // Labels side by side must not cover each other.
      const QList<QLabel*> labels = form->findChildren<QLabel*>();
      for (QLabel* a : labels) {
        for (QLabel* b : labels) {
          if (a >= b || a->parentWidget() != b->parentWidget() || !a->isVisible() || !b->isVisible() ||
              a->window() != form || a->text().isEmpty() || b->text().isEmpty())
            continue;
          const QRect overlap = a->geometry() & b->geometry();
          QVERIFY2(overlap.width() <= 3 || overlap.height() <= 3,
                   qPrintable(form->objectName() + ": " + a->objectName() + " covers " + b->objectName()));
        }
      }
      form->hide();
    }
  }

  // The file dialogs' columns fit the files of the type chosen, not only those
  // of the type the folder was read with; the sidebar gets its names' width
  // back after a session that stored it as 0.
  void fileDialogColumnsAndSidebar() {
    QTemporaryDir folder;
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("a.png")), "x"));
    QVERIFY(writeBytes(folder.filePath(QStringLiteral("a-drawing-with-a-long-name.jpg")), QByteArray(2500000, 'x')));
    QSettings(QSettings::UserScope, QStringLiteral("QtProject")).setValue("FileDialog/sidebarWidth", 0);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setNameFilters({QStringLiteral("PNG (*.png)"), QStringLiteral("JPEG (*.jpg)")});
    fitFileColumns(&dialog);
    dialog.setSidebarUrls({QUrl(QStringLiteral("file:")), QUrl::fromLocalFile(folder.path())});
    dialog.setDirectory(folder.path());
    dialog.resize(640, 400);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    const auto firstName = [&] { return view->model()->index(0, 0, view->rootIndex()).data().toString(); };
    QTRY_COMPARE(firstName(), QStringLiteral("a.png"));
    QTest::qWait(100);
    dialog.selectNameFilter(QStringLiteral("JPEG (*.jpg)"));
    QTRY_COMPARE(firstName(), QStringLiteral("a-drawing-with-a-long-name.jpg"));
    QTest::qWait(100);
    // Every size, type and date whole, none cut to "…".
    for (int column = 1; column < 4; ++column) {
      const QModelIndex cell = view->model()->index(0, column, view->rootIndex());
      const QString text = cell.data().toString();
      QVERIFY2(view->header()->sectionSize(column) > view->fontMetrics().horizontalAdvance(text), qPrintable(text));
    }
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    QVERIFY2(sidebar->width() >= sidebar->sizeHintForColumn(0), qPrintable(QString::number(sidebar->width())));
  }

  // Qt's own texts, those of the file dialogs and standard buttons, in
  // Japanese once its translations are loaded. Last: it changes them for
  // the rest of the run.
  void qtTextsInJapanese() {
    QVERIFY2(loadQtTranslations(*qApp), "Qt's translations (qt6-translations-l10n) are missing");
    const char* texts[][3] = {{"QFileDialog", "Look in:", "アドレス:"},
                              {"QFileDialog", "File &name:", "ファイル名(&N):"},
                              {"QFileDialog", "Files of type:", "ファイルの種類:"},
                              {"QFileDialog", "&Save", "保存(&S)"},
                              {"QPlatformTheme", "Cancel", "キャンセル"}};
    for (const auto& [context, english, japanese] : texts) {
      QCOMPARE(QCoreApplication::translate(context, english), QString::fromUtf8(japanese));
    }
    // The type column's word for a folder, which Qt's catalogue lacks.
    QTemporaryDir folder;
    QCOMPARE(QFileIconProvider().type(QFileInfo(folder.path())), QStringLiteral("フォルダー"));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
