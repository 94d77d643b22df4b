#include "app/gui/StartFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/conversion_settings.h"

namespace vp::gui {
namespace {

QString withSeparator(const QString& folder) { return QDir::toNativeSeparators(QDir::cleanPath(folder) + u'/'); }

bool sameFolder(const QString& a, const QString& b) {
  return !a.isEmpty() && !b.isEmpty() &&
         QDir::cleanPath(QDir::fromNativeSeparators(a)) == QDir::cleanPath(QDir::fromNativeSeparators(b));
}

}  // namespace

bool folderWritableOnDisk(const QString& folder) {
  const QFileInfo info(folder);
  return info.isDir() && info.isWritable();
}

QString userStartFolder() {
  for (const auto location : {QStandardPaths::PicturesLocation, QStandardPaths::DocumentsLocation}) {
    const QString folder = QStandardPaths::writableLocation(location);
    // Without XDG user folders, the pictures "folder" may be home itself or missing.
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return withSeparator(folder);
  }
  return withSeparator(QDir::homePath());
}

QString startFolder(const QString& remembered, const QString& program_folder, const FolderWritable& writable) {
  const bool exists = !remembered.isEmpty() && QFileInfo(remembered).isDir();
  // An installed program's folder exists but cannot take a save.
  if (exists && !(sameFolder(remembered, program_folder) && !writable(remembered))) return remembered;
  if (!program_folder.isEmpty() && QFileInfo(program_folder).isDir() && writable(program_folder)) return program_folder;
  return userStartFolder();
}

void chooseStartFolders(ConversionSettings& settings, const QString& program_folder, const FolderWritable& writable) {
  for (std::string ConversionSettings::*dir : {&ConversionSettings::OpenDir, &ConversionSettings::SaveDir}) {
    settings.*dir = startFolder(QString::fromStdString(settings.*dir), program_folder, writable).toStdString();
  }
}

}  // namespace vp::gui
