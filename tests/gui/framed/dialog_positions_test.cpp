// The dialogs under a real window manager (run by under_icewm.sh): each one
// reopens where it was, and Qt places it where the X server has it.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "app/gui/Program.h"
#include "app/gui/QtSettingsStorage.h"
#include "dialogs/FormSupport.h"
#include "support/GuiTestSupport.h"

using namespace vp::gui;
using namespace vp::gui::testing;

namespace {

// Waits until the window manager has framed and placed `window`.
void settleFramed(const QWidget& window) {
  for (int waited = 0; waited < 3000 && window.frameGeometry() == window.geometry(); waited += 50) QTest::qWait(50);
  QTest::qWait(300);
}

// The client window's top left as the X server has it.
QPoint serverPosition(const QWidget& window) {
  QProcess info;
  info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window.winId())});
  if (!info.waitForFinished(5000)) return {-1, -1};
  const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
  const auto number = [&](const char* label) {
    return QRegularExpression(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\d+)"))
        .match(text)
        .captured(1)
        .toInt();
  };
  return {number("Absolute upper-left X"), number("Absolute upper-left Y")};
}

}  // namespace

class DialogPositionsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("VelorinPelkin"));
    QApplication::setFont(interfaceFont());
  }

  void reopenWhereTheyWere_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("settings") << "N3";
    QTest::newRow("scale calculator") << "T1";
    QTest::newRow("version") << "N2";
  }

  void reopenWhereTheyWere() {
    QFETCH(QString, action);
    ScratchSettings scratch;
    scratch.setRawValue("FirstUp", "1");
    QTemporaryDir folder;
    QtSettingsStorage storage;
    const std::unique_ptr<Program> program = startProgram(storage, folder.path() + u'/');
    QVERIFY(QTest::qWaitForWindowExposed(&program->mainWindow()));
    ModalAnswerer answerer;
    QList<QPoint> frames, clients, servers;
    for (int opening = 0; opening < 5; ++opening) {
      answerer.then([&](QWidget* modal) {
        settleFramed(*modal);
        QTest::qWait(300);
        frames << modal->frameGeometry().topLeft();
        clients << modal->geometry().topLeft();
        servers << serverPosition(*modal);
        static_cast<QDialog*>(modal)->reject();
      });
      program->mainWindow().findChild<QAction*>(action)->trigger();
      QCOMPARE(answerer.pendingSteps(), 0);
    }
    for (int opening = 1; opening < 5; ++opening) {
      QCOMPARE(frames[opening], frames[0]);
      QCOMPARE(clients[opening], clients[0]);
    }
    for (int opening = 0; opening < 5; ++opening) QCOMPARE(clients[opening], servers[opening]);
  }
};

QTEST_MAIN(DialogPositionsTest)
#include "dialog_positions_test.moc"
