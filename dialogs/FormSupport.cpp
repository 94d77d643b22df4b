#include "dialogs/FormSupport.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace vp::gui {

namespace {

const QString kDesignedFamily = QStringLiteral("ＭＳ Ｐゴシック");

// The designed font is rarely installed. IPAPGothic was drawn to its metrics,
// so captions keep the widths the layout was drawn with; Noto Sans CJK renders
// every text but sets it wider. Failing both, the first installed Japanese
// family, so that the texts at least render.
void installFontSubstitutes() {
  static const bool installed = [] {
    QStringList substitutes = {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")};
    const QStringList families = QFontDatabase::families();
    const bool any = std::any_of(substitutes.begin(), substitutes.end(),
                                 [&](const QString& family) { return families.contains(family, Qt::CaseInsensitive); });
    if (!any) {
      for (const QString& family : families) {
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese)) {
          substitutes << family;
          break;
        }
      }
    }
    QFont::insertSubstitutions(kDesignedFamily, substitutes);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), substitutes);
    return true;
  }();
  (void)installed;
}

}  // namespace

QFont interfaceFont() {
  installFontSubstitutes();
  QFont font(kDesignedFamily);
  font.setPixelSize(12);
  return font;
}

QString interfaceFontFamily() { return QFontInfo(interfaceFont()).family(); }

QString applicationTitle() {
  const QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QStringLiteral("VelorinPelkin") : name;
}

void makeFixedWindow(QWidget* window, int width, int height, bool closeBox) {
  Qt::WindowFlags flags = window->windowFlags() & Qt::WindowType_Mask;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (closeBox) flags |= Qt::WindowCloseButtonHint;
  window->setWindowFlags(flags);
  window->setFixedSize(width, height);
}

void centreOnScreen(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  window->move(area.left() + (area.width() - window->width()) / 2, area.top() + (area.height() - window->height()) / 2);
}

namespace {

class PlaceKeeper : public QObject {
 public:
  explicit PlaceKeeper(QWidget* window) : QObject(window), window_(window) {
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, &PlaceKeeper::checkFramed);
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    if (event->type() == QEvent::Show) {
      // Before the map: the same frame position every time, not a client
      // position the window manager's notices have shifted.
      if (place_) window_->move(*place_);
      place_ = window_->pos();
      settled_ = false;
      waited_ = 0;
      poll_.start();
    } else if (event->type() == QEvent::Hide) {
      poll_.stop();
      if (settled_) place_ = window_->pos();
    }
    return false;
  }

 private:
  void checkFramed() {
    waited_ += poll_.interval();
    const bool framed = window_->frameGeometry() != window_->geometry();
    if (!framed && waited_ < 3000) return;
    poll_.stop();
    // Once the frame is known, moving the frame where it already is draws a
    // fresh report from the window manager: after it, the position Qt
    // believes (and tells accessibility) is the one drawn.
    QTimer::singleShot(100, this, [this] {
      if (!window_->isVisible()) return;
      window_->move(*place_);
      settled_ = true;
    });
  }

  QWidget* window_;
  QTimer poll_;
  std::optional<QPoint> place_;
  bool settled_ = false;
  int waited_ = 0;
};

}  // namespace

void keepPlace(QWidget* window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  new PlaceKeeper(window);
}

void setLabelText(QLabel* label, const QString& text) {
  label->setText(text);
  const QSize size = label->sizeHint();
  const bool keep_right = (label->alignment() & Qt::AlignRight) != 0;
  const int left = keep_right ? label->geometry().right() + 1 - size.width() : label->x();
  label->setGeometry(left, label->y(), size.width(), size.height());
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  setLabelText(label, text);
  return label;
}

namespace {

// Where a Japanese line reads well ending: after a particle or a mark. (と,
// も, へ and や are left out: too often inside a word, as in 読みとり.)
bool endsPhrase(QChar c) { return QStringView(u"のがをはにで、。！？）」 ").contains(c); }

// Lays `text` out in lines of `width` pixels, `pitch` pixels apart. With
// `phrases`, a line that would end inside a word ends after the last particle
// of its second half instead ("…データが" / "あるよ。", not "…データがある" / "よ。").
int layOutLines(QTextLayout& layout, int width, int pitch, bool phrases) {
  const QString text = layout.text();
  int lines = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    const int start = line.textStart();
    const int end = start + line.textLength();
    if (phrases && end < text.size() && !endsPhrase(text[end - 1]) && text[end - 1] != QChar::LineSeparator) {
      for (int at = end - 1; at > start + line.textLength() / 2; --at) {
        if (endsPhrase(text[at - 1])) {
          line.setNumColumns(at - start, width);
          break;
        }
      }
    }
    line.setPosition(QPointF(0, lines * pitch));
    ++lines;
  }
  layout.endLayout();
  return lines;
}

// A word-wrapped label whose lines follow each other at the font's pixel
// size, as the layout was drawn: two lines of a 12-pixel font take 24 pixels,
// where Qt's line spacing would need 26 and cut the second line. Lines break
// between phrases where that takes no more lines than breaking anywhere.
class WrappedLabel : public QLabel {
 public:
  using QLabel::QLabel;

  int heightForWidth(int width) const override {
    return layOut(width + contentsRect().width() - QLabel::width()).second * pitch();
  }

  QStringList lines() const {
    QStringList result;
    const auto [layout, count] = layOut(contentsRect().width());
    for (int i = 0; i < count; ++i) {
      const QTextLine line = layout->lineAt(i);
      result << layout->text().mid(line.textStart(), line.textLength()).trimmed();
    }
    return result;
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const QRect area = contentsRect();
    auto [layout, lines] = layOut(area.width());
    const int height = lines * pitch();
    int top = area.top();
    if ((alignment() & Qt::AlignVCenter) != 0) top += (area.height() - height) / 2;
    if ((alignment() & Qt::AlignBottom) != 0) top += area.height() - height;
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    layout->draw(&painter, QPointF(area.left(), top));
  }

 private:
  int pitch() const { return QFontInfo(font()).pixelSize(); }

  std::pair<std::unique_ptr<QTextLayout>, int> layOut(int width) const {
    QString shown = text();
    shown.replace(u'\n', QChar::LineSeparator);
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WordWrap);
    const auto make = [&] {
      auto layout = std::make_unique<QTextLayout>(shown, font());
      layout->setTextOption(option);
      return layout;
    };
    auto anywhere = make();
    const int most = layOutLines(*anywhere, width, pitch(), false);
    auto phrased = make();
    const int lines = layOutLines(*phrased, width, pitch(), true);
    if (lines > most) return {std::move(anywhere), most};
    return {std::move(phrased), lines};
  }
};

}  // namespace

QStringList wrappedLines(const QLabel* label) {
  const auto* wrapped = dynamic_cast<const WrappedLabel*>(label);
  return wrapped != nullptr ? wrapped->lines() : QStringList();
}

QLabel* makeWrappedLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new WrappedLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return place(label, name, geometry.left(), geometry.top(), geometry.width(), geometry.height());
}

QLabel* makeRightAlignedLabel(QWidget* parent, const char* name, const QString& text, int right, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  label->setGeometry(right - 1, top, 1, 1);  // the right edge: `right`, exclusive
  setLabelText(label, text);
  return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  return place(button, name, geometry.left(), geometry.top(), geometry.width(), geometry.height());
}

void setElidedText(QLabel* label, const QString& text) {
  const int room = label->contentsRect().width() - 2 * label->margin();
  const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, room);
  label->setText(shown);
  label->setToolTip(shown == text ? QString() : text);
}

void makeRed(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(palette);
}

}  // namespace vp::gui
