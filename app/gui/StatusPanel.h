// A status bar field that never widens its window: when its entries do not
// fit, the last ones give way to "…" and the whole text goes in the tool tip.
#pragma once

#include <QLabel>
#include <QStringList>

namespace vp::gui {

class StatusPanel : public QLabel {
 public:
  explicit StatusPanel(QWidget* parent = nullptr);

  // Each entry as plain text and as rich text (the same words, coloured);
  // empty `rich` shows the plain text. `tip` stays in the tool tip.
  void setEntries(const QStringList& plain, const QStringList& rich = {}, const QString& tip = {});
  void clearEntries() { setEntries({}); }
  // The entries' plain text, each pair apart by a full-width space.
  QString fullText() const { return plain_.join(QStringLiteral("　")); }
  bool cut() const { return cut_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void refit();
  int entriesWidth(qsizetype count, bool ellipsis) const;

  QStringList plain_;
  QStringList rich_;
  QString tip_;
  bool cut_ = false;
};

}  // namespace vp::gui
