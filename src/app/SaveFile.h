#pragma once
// Saving a small file the user chose (a log copy, a checksum file) so that
// it is either complete or not there: the bytes go to a hidden file beside
// the target, which replaces the target by rename only once everything is
// written and synced. A failure removes the hidden file and leaves whatever
// was at the target as it was.
//
// QSaveFile is not used: in Qt 6.4 a buffered write that the disk cuts
// short fails only in close(), which commit() doesn't check, so a truncated
// file replaced the old one and the save counted as done.
//
// Blocking; call it off the main thread. Any thread.

#include <QByteArray>
#include <QString>

namespace SaveFile {

// Empty when saved; otherwise the system's text for what went wrong.
QString replace(const QString &target, const QByteArray &bytes);

} // namespace SaveFile
