#pragma once
// VirtualRig with its drives looked at once, and what the queue and file
// tests ask of it: jobs by id, log lines, blanks, and the files left behind.

#include "VirtualRig.h"

#include <QDirIterator>
#include <QTest>

// Every file under `root` matching `names` (all when empty), relative to
// it, hidden ones included, sorted.
inline QStringList filesUnder(const QString &root, const QStringList &names = {})
{
    QStringList out;
    QDirIterator it(root, names, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(QDir(root).relativeFilePath(it.next()));
    out.sort();
    return out;
}

struct AppVirtualRig : VirtualRig
{
    explicit AppVirtualRig(int burners)
        : VirtualRig(burners)
    {
        model->refreshDrives();
    }
    JobQueue *queue() const { return model->queue(); }
    QJob job(const QUuid &id) const { return *queue()->job(id); }
    JobState state(const QUuid &id) const { return queue()->job(id) ? job(id).state : JobState::waiting; }
    int lines(const QString &text) const { return int(texts().count(text)); }
    QString log() const { return texts().join(QLatin1Char('\n')); }
    // Waits for the job added last to end; its detail, and its state in `state`.
    QString runLastJob(JobState *state)
    {
        const QUuid id = queue()->jobs().last().id;
        if (!QTest::qWaitFor([&] { return queue()->job(id)->finished(); }, 30000))
            return QStringLiteral("(still running)");
        *state = job(id).state;
        return job(id).detail;
    }
    // A blank in deck `d`'s burner, and the deck seeing it.
    bool blank(int d)
    {
        if (!deck(d)->blankLoaded())
            burners->insertBlank(burners->burnerNumbers().at(d));
        model->refreshDrives();
        return QTest::qWaitFor([&] { return deck(d)->blankLoaded(); }, 10000);
    }
};
