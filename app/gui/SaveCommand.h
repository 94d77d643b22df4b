// The save command's dialogs and rules: the save dialog SaveDialog1 (Qt's own
// file dialog, so that its file-name box can be renamed while it is open), the
// existence test and the overwrite question.
#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QString>

#include <string>

namespace vp::gui {

// The save dialog: one file type per output format, at the format's filter
// index; no default extension and no overwrite prompt of its own. It keeps its
// file name and type between uses.
class SaveFileDialog : public QFileDialog {
  Q_OBJECT

 public:
  explicit SaveFileDialog(QWidget* parent = nullptr);

  // From 1; 0 when no type is chosen.
  int filterIndex() const;
  // Chooses type `index`; other values leave the type as it is.
  void setFilterIndex(int index);

  // The file-name box.
  QLineEdit* fileNameBox() const;
  // The folder shown joined with the text of the file-name box (that text when
  // it is a whole path already); empty while the box is empty.
  QString currentPath() const;

 public slots:
  // While the dialog is open and the user picks another type: the name in the
  // box gets that type's extension (".txt", ".dxf" ...).
  void typeChanged();
};

// Widens the size, type and date columns of a file dialog's detail view to
// their texts each time a folder has been read or the file type changed, so
// that none ends in "…"; gives the sidebar room for its places' names.
void fitFileColumns(QFileDialog* dialog);

// The open dialog's filters: BMP first, then the other image types read.
QStringList openFilters();

// The dialog's filters, in filter-index order.
QStringList saveFilters();

// Whether a file of that name exists, names compared without regard to letter
// case: "plan.CSV" is there when "plan.csv" is, as the writer would replace it.
bool fileExistsIgnoringCase(const QString& path);

// "ファイル<path>は既に存在します", a line feed and a carriage return, "上書きしますか？".
QString overwriteQuestion(const QString& path);

// Whether two names lead to one file (its device and inode), links and spelling
// aside; false when either is not there.
bool namesSameFile(const QString& a, const QString& b);

// Why a save over the converted image is refused: the drawing would be lost.
QString convertedImageMessage(const QString& path);

// The folder part of a path: everything up to and including the last separator.
QString folderPart(const QString& path);

// Between Qt's strings and the core's paths.
std::string localPath(const QString& path);

}  // namespace vp::gui
