#include "app/StaleWork.h"

#include "app/CopyDiscModel.h"

#include "app/AppModel.h"
#include "audio/AudioPrep.h"
#include "base/Format.h"
#include "base/OffMain.h"
#include "images/Mounter.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace StaleWork {

namespace {

// Removes the plain files in the open folder `dir` whose names `ours` picks.
// Everything is looked at and removed relative to the folder and without
// following symlinks, so nothing outside it can be reached.
void sweepFolder(int dir, const std::function<bool(const QString &)> &ours, qint64 beforeNs, Freed &freed)
{
    const int listing = ::dup(dir);
    DIR *entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        if (!ours(QFile::decodeName(entry->d_name)))
            continue;
        struct stat st;
        if (::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // A second name means the data is someone's elsewhere too.
        if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid() || st.st_nlink != 1)
            continue;
        if (qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec >= beforeNs)
            continue; // this run's
        if (::unlinkat(dir, entry->d_name, 0) == 0) {
            ++freed.files;
            freed.bytes += st.st_size;
        }
    }
    ::closedir(entries);
}

bool isWorkFile(const QString &name)
{
    for (const QLatin1String suffix : {QLatin1String(".cdda"), QLatin1String(".partial")}) {
        if (name.size() > suffix.size() && name.endsWith(suffix))
            return true;
    }
    return false;
}

// A master read into the cache: "Master " and a time, as a BIN or its cue.
bool isMasterCopy(const QString &name)
{
    return name.startsWith(QLatin1String("Master ")) && (name.endsWith(QLatin1String(".bin")) || name.endsWith(QLatin1String(".cue")));
}

// The decoded copies' names: the image's name, six random letters or digits, ".img".
bool isDecodedCopy(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^.+\\.[A-Za-z0-9]{6}\\.img$"));
    return pattern.match(name).hasMatch();
}

} // namespace

Freed sweep(const QString &cacheDir, const QDateTime &before)
{
    Freed freed;
    const qint64 beforeNs = before.toMSecsSinceEpoch() * 1000000;
    // The program makes its folder itself; a symlink in its place is not ours to follow.
    const int dir = ::open(QFile::encodeName(cacheDir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return freed;
    sweepFolder(dir, isWorkFile, beforeNs, freed);
    const auto sweepSub = [&](const QString &folder, bool (*ours)(const QString &)) {
        const QByteArray name = QFile::encodeName(QFileInfo(folder).fileName());
        const int sub = ::openat(dir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            sweepFolder(sub, ours, beforeNs, freed);
            ::close(sub);
        }
    };
    sweepSub(Mounter::decodedCopyFolder(), isDecodedCopy);
    sweepSub(CopyDiscModel::cacheFolder(), isMasterCopy);
    ::close(dir);
    return freed;
}

QString message(const Freed &freed)
{
    if (freed.files == 0)
        return {};
    return QStringLiteral("Removed %1 %2 (%3) left in the cache by an earlier run.")
        .arg(freed.files)
        .arg(freed.files == 1 ? QStringLiteral("file") : QStringLiteral("files"), fmtBytes(freed.bytes));
}

void sweepLater(AppModel &model)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    offMain(
        &model, [now] { return sweep(AudioPrep::cacheDir(), now); },
        [&model](const Freed &freed) {
            if (const QString line = message(freed); !line.isEmpty())
                model.log(line);
        });
}

} // namespace StaleWork
