#include "app/gui/SaveCommand.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>

#include "dialogs/MessageBoxes.h"
#include "export/export_rules.h"
#include "export/file_calls.h"
#include "export/formats.h"
#include "imageio/image_formats.h"

namespace vp::gui {

QStringList saveFilters() {
  // Each shown as its caption alone ("座標形式", "DXF形式(*.dxf)" ...), in filter-index order.
  QStringList filters;
  for (const ExportFormat& format : export_formats()) {
    QStringList patterns;
    for (const std::string_view extension : format.extensions)
      if (!extension.empty())
        patterns << QLatin1Char('*') + QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
    filters << QString::fromUtf8(format.caption.data(), static_cast<qsizetype>(format.caption.size())) +
                   QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

namespace {

void refitColumns(QTreeView* view) {
  QHeaderView* header = view->header();
  int others = 0;
  for (int column = 1; column < header->count(); ++column) {
    view->resizeColumnToContents(column);
    others += header->sectionSize(column);
  }
  // The names take what is left, so that the date stays in sight.
  header->resizeSection(0, std::max(view->viewport()->width() - others, header->sectionSizeHint(0)));
}

// A sidebar as wide as its places' names: the width Qt keeps across restarts
// is 0 or a sliver when the dialog was never shown in a session.
class SidebarWidth : public QObject {
 public:
  SidebarWidth(QFileDialog* dialog, QListView* sidebar, QSplitter* splitter)
      : QObject(dialog), sidebar_(sidebar), splitter_(splitter) {
    dialog->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    QList<int> sizes = splitter_->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    const int wanted = std::min(sidebar_->sizeHintForColumn(0) + 2 * sidebar_->frameWidth() + 8, total / 3);
    if (sizes.size() >= 2 && sizes[0] < wanted) {
      sizes[1] = total - wanted;
      sizes[0] = wanted;
      splitter_->setSizes(sizes);
    }
    return false;
  }

 private:
  QListView* sidebar_;
  QSplitter* splitter_;
};

}  // namespace

void fitFileColumns(QFileDialog* dialog) {
  auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (view == nullptr || model == nullptr) return;
  const auto refit = [view] { refitColumns(view); };
  QObject::connect(model, &QFileSystemModel::directoryLoaded, view, refit);
  // Another file type shows other files (sizes, types) in the same folder.
  QObject::connect(model, &QAbstractItemModel::layoutChanged, view, refit);
  QObject::connect(dialog, &QFileDialog::filterSelected, view, refit, Qt::QueuedConnection);
  auto* sidebar = dialog->findChild<QListView*>(QStringLiteral("sidebar"));
  auto* splitter = dialog->findChild<QSplitter*>(QStringLiteral("splitter"));
  if (sidebar != nullptr && splitter != nullptr) new SidebarWidth(dialog, sidebar, splitter);
}

QStringList openFilters() {
  // Every kind the program reads at once first, so that no scan stays hidden
  // behind the type; then "BMPｲﾒｰｼﾞ|*.bmp" and the scanners' other formats.
  QString all = QString::fromStdString(all_image_file_patterns());
  all.replace(QLatin1Char(';'), QLatin1Char(' '));
  QStringList filters = {QStringLiteral("読込めるﾌｧｲﾙ全部 (") + all + QLatin1Char(')'),
                         QStringLiteral("BMPｲﾒｰｼﾞ (*.bmp)")};
  for (const ImageFileFilter& filter : extra_image_file_filters()) {
    QString patterns = QString::fromStdString(filter.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << QString::fromStdString(filter.caption) + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters;
}

SaveFileDialog::SaveFileDialog(QWidget* parent) : QFileDialog(parent) {
  setObjectName(QStringLiteral("SaveDialog1"));
  setOption(QFileDialog::DontUseNativeDialog);
  setOption(QFileDialog::DontConfirmOverwrite);
  setOption(QFileDialog::HideNameFilterDetails);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setNameFilters(saveFilters());
  fitFileColumns(this);
  connect(this, &QFileDialog::filterSelected, this, &SaveFileDialog::typeChanged);
}

int SaveFileDialog::filterIndex() const {
  // selectedNameFilter() gives the shown text, without the patterns; the list
  // of types is in filter order.
  if (const auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    return types->currentIndex() + 1;
  }
  return static_cast<int>(nameFilters().indexOf(selectedNameFilter())) + 1;
}

void SaveFileDialog::setFilterIndex(int index) {
  const QStringList filters = nameFilters();
  if (index >= 1 && index <= filters.size()) selectNameFilter(filters.at(index - 1));
}

QLineEdit* SaveFileDialog::fileNameBox() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

QString SaveFileDialog::currentPath() const {
  const QLineEdit* box = fileNameBox();
  if (box == nullptr || box->text().isEmpty()) return {};
  const QString text = box->text();
  if (QDir::isAbsolutePath(text)) return QDir::toNativeSeparators(text);
  return QDir::toNativeSeparators(directory().absoluteFilePath(text));
}

void SaveFileDialog::typeChanged() {
  const std::optional<std::string_view> extension = dialog_extension(filterIndex());
  QLineEdit* box = fileNameBox();
  const QString path = currentPath();
  if (!extension || box == nullptr || path.isEmpty()) return;
  box->setText(QString::fromStdString(replace_extension(path.toStdString(), *extension)));
}

bool fileExistsIgnoringCase(const QString& path) {
  const QFileInfo info(path);
  if (info.exists()) return !info.isDir();
  const QDir folder = info.dir();
  if (!folder.exists()) return false;
  const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QString overwriteQuestion(const QString& path) {
  return QStringLiteral("ファイル") + path + QStringLiteral("は既に存在します\n\r上書きしますか？");
}

bool namesSameFile(const QString& a, const QString& b) {
  const auto first = platform::file_identity(localPath(a));
  const auto second = platform::file_identity(localPath(b));
  return first && second && *first == *second;
}

QString convertedImageMessage(const QString& path) {
  return QStringLiteral("ファイル") + path + QStringLiteral("は変換した画像です\n\r上書きできません。");
}

QString folderPart(const QString& path) {
  qsizetype cut = path.lastIndexOf(u'/');
#ifdef Q_OS_WIN
  cut = std::max(cut, path.lastIndexOf(u'\\'));
#endif
  return path.left(cut + 1);
}

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace vp::gui
