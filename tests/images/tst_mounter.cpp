#include "ImageBytes.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/FolderCompare.h"
#include "images/ImageMaker.h"
#include "images/ImageTool.h"
#include "images/Mounter.h"
#include "platform/linux/MountTable.h"
#include "platform/sheets/RawSector.h"
#include "platform/udif/Udif.h"

#include <QStandardPaths>

// Readable QCOMPARE failures; found by argument-dependent lookup.
namespace MountTable {
static char *toString(const Entry &e) { return QTest::toString(QStringLiteral("%1:%2 %3 %4 %5 %6").arg(e.major).arg(e.minor).arg(e.root, e.mountPoint, e.fsType, e.source)); }
} // namespace MountTable

namespace {

bool mounted(const QString &path) { return MountTable::isMountPoint(MountTable::current(), path); }

// What is in the cache folder where DMGs are decoded for mounting.
QStringList decodedCopies()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/KLVO Tandor/mounts")
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
}

} // namespace

class TstMounter : public QObject
{
    Q_OBJECT

private slots:
    void parsesMountInfo_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<MountTable::Entry>>("entries");

        QTest::newRow("a disc and a FUSE image") << QByteArray("36 25 11:0 / /media/me/MY\\040DISC ro,nosuid shared:1 - iso9660 /dev/sr0 ro,uid=1000\n" "44 26 0:39 / /run/user/0/KLVO\\040Tandor/mounts/x rw,nosuid,nodev - fuse.fuseiso fuseiso " "rw,user_id=0\n") << QList<MountTable::Entry>{{11, 0, "/", "/media/me/MY DISC", "iso9660", "/dev/sr0"}, {0, 39, "/", "/run/user/0/KLVO Tandor/mounts/x", "fuse.fuseiso", "fuseiso"}};
        QTest::newRow("no optional fields, bind of a sub-folder") << QByteArray("50 1 8:1 /home/me /srv/home rw - ext4 /dev/sda1 rw") << QList<MountTable::Entry>{{8, 1, "/home/me", "/srv/home", "ext4", "/dev/sda1"}};
        QTest::newRow("tab, newline and backslash escapes") << QByteArray("1 1 7:0 / /a\\011b\\012c\\134d rw - udf /dev/loop0 ro") << QList<MountTable::Entry>{{7, 0, "/", "/a\tb\nc\\d", "udf", "/dev/loop0"}};
        QTest::newRow("a backslash that is no escape stays") << QByteArray("1 1 7:0 / /a\\9 rw - udf /dev/loop0 ro") << QList<MountTable::Entry>{{7, 0, "/", "/a\\9", "udf", "/dev/loop0"}};
        QTest::newRow("malformed lines are skipped") << QByteArray("garbage\n1 1 x:y / /m rw - t s o\n1 1 7:0 / /m rw no dash here\n\n" "1 1 7:1 / /ok rw - t s o\n") << QList<MountTable::Entry>{{7, 1, "/", "/ok", "t", "s"}};
    }

    void parsesMountInfo()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<MountTable::Entry>, entries);
        QCOMPARE(MountTable::parse(text), entries);
    }

    void initTestCase()
    {
        m_canMount = canMountWithFuse();

        m_folder = m_env.path(QStringLiteral("Holiday"));
        QVERIFY(writeFile(m_folder + "/notes.txt", "day one\n"));
        QVERIFY(writeFile(m_folder + "/.hidden", "not compared\n"));
        QVERIFY(writeFile(m_folder + "/photos/2024/beach.jpg", QByteArray(300000, 'b')));
        QVERIFY(writeFile(m_folder + "/photos/.thumbs/beach.jpg", QByteArray(3000, 't')));
        QVERIFY(TestEnv::writePattern(m_folder + "/data/track.bin", 2 * 1048576 + 17));
        QVERIFY(writeFile(m_folder + "/Überlänge mit Leerzeichen und einem sehr langen Namen für Joliet.txt", "ü"));
        m_image = m_env.path(QStringLiteral("Holiday.iso"));
        if (m_canMount)
            ImageMaker::make(m_folder, m_image, ImageFormat::iso, QStringLiteral("Holiday"), {}, nullptr);
    }

    // An image opens in a folder of its own under the FUSE root, named after
    // the image, hidden files and all. A DMG opens as a decoded copy; a sheet
    // opens its first data track: the track's own file when it is a plain
    // image, else a copy of its user data. Copies and folders go when the
    // image is ejected.
    void opensAndDetaches_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("sheet"); // empty: the ISO itself, or a DMG of it
        QTest::addColumn<bool>("raw"); // the data track as 2352-byte Mode 1 sectors
        QTest::addColumn<bool>("copied");
        QTest::newRow("ISO") << "Holiday.iso" << QByteArray() << false << false;
        QTest::newRow("DMG") << "Holiday.dmg" << QByteArray() << false << true;
        QTest::newRow("cue of the ISO itself") << "plain.cue" << QByteArray("FILE \"Holiday.iso\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n") << false << false;
        QTest::newRow("raw data track, then audio") << "raw.cue" << QByteArray("FILE \"Holiday.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n" "FILE \"tune.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n") << true << true;
    }
    void opensAndDetaches()
    {
        if (!m_canMount)
            QSKIP("no FUSE, fuseiso or xorriso here");
        QFETCH(QString, name);
        QFETCH(QByteArray, sheet);
        QFETCH(bool, raw);
        QFETCH(bool, copied);
        if (raw) {
            const QByteArray iso = readFile(m_image);
            QByteArray bin(iso.size() / 2048 * RawSector::bytes, Qt::Uninitialized);
            for (qsizetype i = 0; i < iso.size() / 2048; ++i)
                RawSector::encodeMode1(quint32(i), iso.constData() + i * 2048, bin.data() + i * RawSector::bytes);
            QVERIFY(writeFile(m_env.path(QStringLiteral("Holiday.bin")), bin));
            QVERIFY(writeFile(m_env.path(QStringLiteral("tune.bin")), QByteArray(2352 * 75, '\0')));
        }
        const QString path = m_env.path(name);
        if (name.endsWith(QLatin1String(".dmg")))
            Udif::write(m_image, path);
        else if (!sheet.isEmpty())
            QVERIFY(writeFile(path, sheet));

        const MountedImage m = Mounter::attach(path, false, true);
        QCOMPARE(m.image, path);
        QCOMPARE(m.mountPoints, QStringList{m.device});
        QVERIFY(m.device.startsWith(Mounter::fuseMountRoot() + QLatin1Char('/')));
        QVERIFY(mounted(m.device));
        QCOMPARE(QFileInfo(m.decodedCopy).isFile(), copied);
        QCOMPARE(decodedCopies().size(), copied ? 1 : 0);
        // The folder is named after the image, not after its decoded copy.
        QCOMPARE(QFileInfo(m.device).fileName(), QFileInfo(path).completeBaseName());
        // Hidden files are in the image, even though the compare skips them.
        QVERIFY(QFile::exists(m.device + "/.hidden"));
        QVERIFY(QFile::exists(m.device + "/photos/.thumbs/beach.jpg"));
        const FolderCompareResult same = FolderCompare::compare(m_folder, m.device, {}, nullptr);
        QVERIFY2(same.ok(), qPrintable(same.summary()));

        // A second attach of the same image gets a folder of its own.
        const MountedImage again = Mounter::attach(path, true, true);
        QVERIFY(again.device != m.device);
        Mounter::detach(m);
        Mounter::detach(again, true);
        for (const QString &device : {m.device, again.device}) {
            QVERIFY(!mounted(device));
            QVERIFY(!QFileInfo::exists(device));
        }
        QCOMPARE(decodedCopies(), QStringList());
    }

    void audioOnlySheetHasNothingToShow()
    {
        const QString cue = m_env.path(QStringLiteral("songs.cue"));
        QVERIFY(writeFile(m_env.path(QStringLiteral("songs.bin")), QByteArray(2352 * 75, '\0')));
        QVERIFY(writeFile(cue, "FILE \"songs.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
        QCOMPARE(thrown([&] { Mounter::attach(cue, false, true); }).text(),
                 QStringLiteral("This sheet holds only audio tracks, so there are no files to show."));
        QCOMPARE(decodedCopies(), QStringList());
    }

    void refusesWhatCantBeMounted_data()
    {
        QTest::addColumn<QByteArray>("content"); // the file to attach; null: no file at all
        QTest::addColumn<bool>("dmg");           // wrap `content` in a DMG first
        QTest::addColumn<bool>("mount");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("detail"); // fuseiso's own words, kept for the log

        const QString noFileSystem = QStringLiteral("This image holds no file system Linux can mount.");
        const QByteArray random = noise(2 * mib, 5);
        const QString wrongIdentifier = "fuseiso: init: wrong standard identifier in volume descriptor 17, exiting..";
        QTest::newRow("DMG of random bytes") << random << true << true << noFileSystem << wrongIdentifier;
        QTest::newRow("damaged DMG") << QByteArray(4096, '\0') + "koly" + QByteArray(508, '\0') << false << true << "This DMG is damaged: its trailer has version 0 and size 0, not version 4 and " "size 512." << "";
        QTest::newRow("empty file") << QByteArray("") << false << true << noFileSystem << "fuseiso: only 0 bytes read from position 32768, 2048 required; is it really " "supported file?";
        QTest::newRow("missing file") << QByteArray() << false << true << "The image file can't be found." << "fuseiso: Can`t open image file: No such file or directory";
        QTest::newRow("attach without mounting needs udisks2") << QByteArray(4096, '\0') << false << false << "The image can't be attached without opening it here: that needs udisks2, which isn't running." << "";
    }

    void refusesWhatCantBeMounted()
    {
        if (!m_canMount)
            QSKIP("no FUSE, fuseiso or xorriso here");
        QFETCH(QByteArray, content);
        QFETCH(bool, dmg);
        QFETCH(bool, mount);
        QFETCH(QString, error);
        QFETCH(QString, detail);

        const QString image = m_env.path(dmg ? QStringLiteral("bad.dmg") : QStringLiteral("bad.iso"));
        QFile::remove(image);
        if (!content.isNull())
            QVERIFY(writeFile(image, content));
        if (dmg) {
            const QString raw = m_env.path(QStringLiteral("bad.raw"));
            QFile::remove(raw);
            QVERIFY(QFile::rename(image, raw));
            Udif::write(raw, image);
        }
        const QStringList before = QDir(Mounter::fuseMountRoot()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        const TDError e = thrown([&] { Mounter::attach(image, false, mount); });
        QCOMPARE(e.text(), error);
        QCOMPARE(e.detail(), detail);
        // No mount, no folder and no decoded copy left behind.
        QCOMPARE(QDir(Mounter::fuseMountRoot()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
        QCOMPARE(decodedCopies(), QStringList());
    }

    void busyDetachIsRetriedForced()
    {
        if (!m_canMount)
            QSKIP("no FUSE, fuseiso or xorriso here");
        const MountedImage m = Mounter::attach(m_image, false, true);
        QFile held(m.device + "/notes.txt");
        QVERIFY(held.open(QIODevice::ReadOnly));

        // A plain unmount of a mount with an open file fails ...
        const QString busy = thrown([&] { ImageTool::fusermount().run({QStringLiteral("-u"), m.device}); }).text();
        QVERIFY2(busy.contains(QStringLiteral("busy")), qPrintable(busy));
        // ... so detach falls back to the forced (lazy) one, which succeeds.
        Mounter::detach(m.device);
        QVERIFY(!mounted(m.device));
        QVERIFY(!QFileInfo::exists(m.device));
        // The open file stays readable until it is closed.
        QCOMPARE(held.readAll(), QByteArray("day one\n"));
    }

    void cleanupTestCase()
    {
        // Whatever a failed test left mounted goes away with the test's folders.
        const QDir root(Mounter::fuseMountRoot());
        for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            try {
                Mounter::detach(root.filePath(name), true);
            } catch (const TDError &) {
            }
        }
    }

private:
    bool m_canMount = false;
    TestEnv m_env;
    QString m_folder;
    QString m_image;
};

QTEST_GUILESS_MAIN(TstMounter)
#include "tst_mounter.moc"
