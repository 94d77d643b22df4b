// Where the open and save dialogs start when the remembered folder is of no
// use: the program's folder where it can be written (a portable install),
// else the user's pictures or documents folder, else home.
#pragma once

#include <QString>

#include <functional>

namespace vp {
struct ConversionSettings;
}

namespace vp::gui {

using FolderWritable = std::function<bool(const QString& folder)>;
// Whether a file could be created in `folder` as this user.
bool folderWritableOnDisk(const QString& folder);

// The first of the user's pictures, documents and home folders that exists,
// with a trailing separator.
QString userStartFolder();

// `remembered` when it exists and is not an unwritable program folder;
// otherwise the program folder if writable, else userStartFolder().
QString startFolder(const QString& remembered, const QString& program_folder,
                    const FolderWritable& writable = folderWritableOnDisk);

// Both dialog folders of `settings` through startFolder.
void chooseStartFolders(ConversionSettings& settings, const QString& program_folder,
                        const FolderWritable& writable = folderWritableOnDisk);

}  // namespace vp::gui
