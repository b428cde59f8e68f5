// Work files a crashed run left in the cache folder go at the next start;
// nothing else there, and nothing a symlink leads to, is touched.

#include "ModelRig.h"
#include "app/StaleWork.h"
#include "audio/AudioPrep.h"
#include "base/Format.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool touch(const QString &path, const QDateTime &when)
{
    const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

class TestStaleWork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // `entries` are made under a root holding the cache folder "KLVO Tandor"
    // and a folder "outside" beside it: "NAME=BYTES" a file last changed an
    // hour ago, "NAME=BYTES new" one changed after the sweep began,
    // "NAME->TARGET" a symlink, "NAME=>TARGET" a second name of a file,
    // "NAME/" a folder.
    void sweep_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<qint64>("bytes");

        QTest::newRow("a crashed run's work") << QStringList{"KLVO Tandor/5F0C53B2-8C3E-4F0A-9D61-1B2C3D4E5F60.cdda=1000", "KLVO Tandor/0A1B2C3D-0000-4000-8000-000000000001.cdda=2000", "KLVO Tandor/Disc.iso.partial=500", "KLVO Tandor/mounts/Backup.x1Y2z3.img=4000", "KLVO Tandor/Masters/Master 1.bin=300", "KLVO Tandor/Masters/Master 1.cue=20"} << QStringList{"KLVO Tandor/5F0C53B2-8C3E-4F0A-9D61-1B2C3D4E5F60.cdda", "KLVO Tandor/0A1B2C3D-0000-4000-8000-000000000001.cdda", "KLVO Tandor/Disc.iso.partial", "KLVO Tandor/mounts/Backup.x1Y2z3.img", "KLVO Tandor/Masters/Master 1.bin", "KLVO Tandor/Masters/Master 1.cue"} << qint64(7820);
        QTest::newRow("other names and places stay") << QStringList{"KLVO Tandor/notes.txt=10", "KLVO Tandor/.cdda=10", "KLVO Tandor/song.cdda.txt=10", "KLVO Tandor/partial=10", "KLVO Tandor/Disc.partial.iso=10", "KLVO Tandor/mounts/Backup.img=10", "KLVO Tandor/mounts/A.cdda=10", "KLVO Tandor/mounts/Backup.x1Y2z.img=10", "KLVO Tandor/sub/A.cdda=10", "KLVO Tandor/folder.cdda/", "outside/B.cdda=10", "KLVO Tandor/Masters/Kept.cue=10", "KLVO Tandor/Masters/Master 1.toc=10", "KLVO Tandor/Master 1.bin=10"} << QStringList{} << qint64(0);
        QTest::newRow("symlinks lead nowhere") << QStringList{"outside/A.cdda=100", "outside/Backup.x1Y2z3.img=100", "KLVO Tandor/link.cdda->../outside/A.cdda", "KLVO Tandor/mounts->../outside", "KLVO Tandor/dangling.partial->../outside/none"} << QStringList{} << qint64(0);
        QTest::newRow("a symlink for the cache folder") << QStringList{"outside/A.cdda=100", "KLVO Tandor->outside"} << QStringList{} << qint64(0);
        QTest::newRow("a second name of a file elsewhere") << QStringList{"outside/data=100", "KLVO Tandor/A.cdda=>outside/data"} << QStringList{} << qint64(0);
        QTest::newRow("this run's files stay") << QStringList{"KLVO Tandor/A.cdda=100 new", "KLVO Tandor/B.cdda=300", "KLVO Tandor/mounts/Backup.x1Y2z3.img=100 new", "KLVO Tandor/Masters/Master 2.bin=100 new"} << QStringList{"KLVO Tandor/B.cdda"} << qint64(300);
    }
    void sweep()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, removed);
        QFETCH(qint64, bytes);
        TestEnv env;
        const QString root = env.path(QStringLiteral("root"));
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/outside")));
        for (const QString &entry : entries) {
            const QString name = entry.section(QRegularExpression(QStringLiteral("=>|->|=")), 0, 0);
            const QString path = root + QLatin1Char('/') + name;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (entry.contains(QStringLiteral("->"))) {
                QVERIFY(QFile::link(entry.section(QStringLiteral("->"), 1), path));
            } else if (entry.contains(QStringLiteral("=>"))) {
                const QString target = root + QLatin1Char('/') + entry.section(QStringLiteral("=>"), 1);
                QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
                QVERIFY(touch(path, start.addSecs(-3600)));
            } else if (entry.endsWith(QLatin1Char('/'))) {
                QVERIFY(QDir().mkpath(path));
            } else {
                const QString size = entry.section(QLatin1Char('='), 1);
                QVERIFY(TestEnv::writePattern(path, size.section(QLatin1Char(' '), 0, 0).toLongLong()));
                QVERIFY(touch(path, size.endsWith(QStringLiteral(" new")) ? start.addSecs(5) : start.addSecs(-3600)));
            }
        }
        const QStringList before = leftovers(root);

        const StaleWork::Freed freed = StaleWork::sweep(root + QStringLiteral("/KLVO Tandor"), start);
        QCOMPARE(freed.files, int(removed.size()));
        QCOMPARE(freed.bytes, bytes);
        QStringList expected = before;
        for (const QString &gone : removed)
            expected.removeOne(gone);
        QCOMPARE(leftovers(root), expected);
    }

    void message_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("line");
        QTest::newRow("nothing") << 0 << qint64(0) << QString();
        QTest::newRow("one file") << 1 << qint64(700000000) << "Removed 1 file (700 MB) left in the cache by an earlier run.";
        QTest::newRow("several") << 3 << qint64(1200000000) << "Removed 3 files (1.2 GB) left in the cache by an earlier run.";
        QTest::newRow("empty files") << 2 << qint64(0) << "Removed 2 files (0 KB) left in the cache by an earlier run.";
    }
    void message()
    {
        QFETCH(int, files);
        QFETCH(qint64, bytes);
        QFETCH(QString, line);
        QCOMPARE(StaleWork::message({files, bytes}), line);
    }

    // A start-up sweep that finds nothing says nothing. (One that removes
    // work, logged by the program itself: tst_secondlaunch firstCopyClearsTheCache.)
    void emptySweepIsQuiet()
    {
        AppModelAlone app;
        QVERIFY(TestEnv::writePattern(AudioPrep::cacheDir() + QStringLiteral("/keep.txt"), 10));
        const qsizetype linesBefore = app.lines().size();
        StaleWork::sweepLater(*app.model);
        QTest::qWait(300);
        QCOMPARE(app.lines().size(), linesBefore);
    }
};

QTEST_GUILESS_MAIN(TestStaleWork)
#include "tst_stalework.moc"
