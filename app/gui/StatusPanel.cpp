#include "app/gui/StatusPanel.h"

#include <QResizeEvent>

namespace vp::gui {
namespace {

// Rich text folds a full-width space into a plain one: three spaces keep the
// entries as far apart.
const QString kRichGap = QStringLiteral("&nbsp;&nbsp;&nbsp;");
const QString kMeasuredGap = QStringLiteral("   ");
const QString kEllipsis = QStringLiteral("…");

}  // namespace

StatusPanel::StatusPanel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::RichText); }

void StatusPanel::setEntries(const QStringList& plain, const QStringList& rich, const QString& tip) {
  plain_ = plain;
  rich_.clear();
  for (qsizetype i = 0; i < plain.size(); ++i) rich_ << (i < rich.size() ? rich[i] : plain[i].toHtmlEscaped());
  tip_ = tip;
  updateGeometry();
  refit();
}

int StatusPanel::entriesWidth(qsizetype count, bool ellipsis) const {
  QStringList shown = plain_.mid(0, count);
  if (ellipsis) shown << kEllipsis;
  return fontMetrics().horizontalAdvance(shown.join(kMeasuredGap));
}

// The whole text's width: what the panel would like, never what it needs.
QSize StatusPanel::sizeHint() const {
  const int chrome = width() - contentsRect().width() + 2 * margin();
  return {entriesWidth(plain_.size(), false) + chrome + 4, QLabel::minimumSizeHint().height()};
}

QSize StatusPanel::minimumSizeHint() const {
  return {fontMetrics().horizontalAdvance(kEllipsis) + 4, QLabel::minimumSizeHint().height()};
}

void StatusPanel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  refit();
}

void StatusPanel::refit() {
  const int room = contentsRect().width() - 2 * margin();
  qsizetype fitting = plain_.size();
  cut_ = entriesWidth(fitting, false) > room;
  if (cut_) {
    fitting = 0;
    while (fitting < plain_.size() && entriesWidth(fitting + 1, true) <= room) ++fitting;
  }
  if (!cut_) {
    setText(rich_.join(kRichGap));
  } else if (fitting > 0) {
    setText(rich_.mid(0, fitting).join(kRichGap) + kRichGap + kEllipsis);
  } else {
    setText(fontMetrics().elidedText(fullText(), Qt::ElideRight, room).toHtmlEscaped());
  }
  QStringList tips;
  if (cut_) tips << fullText();
  if (!tip_.isEmpty()) tips << tip_;
  setToolTip(tips.join(u'\n'));
}

}  // namespace vp::gui
