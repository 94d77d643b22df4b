#include "dialogs/FormSupport.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

namespace vp::gui {

QString interfaceFontFamily() {
  // Proportional gothics first, as the layout was drawn with one; then the
  // families the set-up installs.
  static const QStringList preferred = {
      QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
      QStringLiteral("IPAPGothic"),       QStringLiteral("Noto Sans CJK JP"),
      QStringLiteral("Noto Sans JP"),     QStringLiteral("IPAGothic"),
      QStringLiteral("VL PGothic"),       QStringLiteral("TakaoPGothic")};
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : preferred) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  for (const QString& family : installed) {
    if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese)) return family;
  }
  return QFont().family();
}

QFont interfaceFont() {
  QFont font(interfaceFontFamily());
  font.setPixelSize(12);
  return font;
}

QString applicationTitle() {
  const QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QStringLiteral("VelorinPelkin") : name;
}

void makeFixedWindow(QWidget* window, int width, int height, bool closeBox) {
  Qt::WindowFlags flags = window->windowFlags() & Qt::WindowType_Mask;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint;
  if (closeBox) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  window->setWindowFlags(flags);
  window->setFixedSize(width, height);
}

void centreOnScreen(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  window->move(area.left() + (area.width() - window->width()) / 2,
               area.top() + (area.height() - window->height()) / 2);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* makeWrappedLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return place(label, name, geometry.left(), geometry.top(), geometry.width(), geometry.height());
}

QLabel* makeRightAlignedLabel(QWidget* parent, const char* name, const QString& text, int right,
                              int top, int width) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  const int height = label->sizeHint().height();
  return place(label, name, right - width, top, width, height);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  return place(button, name, geometry.left(), geometry.top(), geometry.width(), geometry.height());
}

void makeRed(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(palette);
}

}  // namespace vp::gui
