#pragma once
#include <QString>

namespace FileManager {
// Asks the desktop's file manager to show `path` selected
// (org.freedesktop.FileManager1), or opens its folder with xdg-open when no
// file manager answers on the session bus. Main thread; never blocks.
void reveal(const QString &path);
// Opens `folder` itself in the file manager (xdg-open). Never blocks.
void openFolder(const QString &folder);
} // namespace FileManager
