#pragma once
#include <QString>

#include <functional>

namespace FileManager {
// Asks the desktop's file manager to show `path` selected
// (org.freedesktop.FileManager1), or opens its folder with xdg-open when no
// file manager answers on the session bus. Main thread; never blocks.
void reveal(const QString &path);
// Opens `folder` itself in the file manager (xdg-open). Never blocks. When
// nothing opened it (xdg-open missing, or no program for folders), `failed`
// runs later on the main thread with xdg-open's own words, if it had any.
void openFolder(const QString &folder, const std::function<void(const QString &words)> &failed = {});
} // namespace FileManager
