#pragma once
// What a test compares a fake machine by: the files below a folder with their bytes.

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>

namespace quillet {

using FolderFiles = std::map<QString, QByteArray>;

// Every file below the folder (hidden ones too), by path, but those the predicate leaves out.
FolderFiles ReadFolderFiles(const QString& folder,
                            const std::function<bool(const QString& path)>& leaveOut = {});

}  // namespace quillet
