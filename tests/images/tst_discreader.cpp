#include "EmulatedDrives.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "base/Format.h"
#include "images/DiscReader.h"
#include "platform/linux/OpticalDiscs.h"

#include <cerrno>

using Properties = QMap<QString, QString>;
// What a described disc says of itself.
struct Described { QString kind, mediaName, volumeKind, volumeName, mountPoint; bool writable; };

namespace {

const QString audioText = QStringLiteral("This is an audio CD. Audio CDs hold music tracks, not files, so they can't be saved as an ISO. (To copy an audio CD, use the Audio CD screen with the songs as files.)");
const QString emptyText = QStringLiteral("The system reports this disc as empty, so there is nothing to copy.");
const QString noRawText = QStringLiteral("The system didn't let KLVO Tandor read this disc, and it has no files to copy. Make sure the disc is mounted in the file manager, then try again.");

} // namespace

class TstDiscReader : public QObject
{
    Q_OBJECT

private slots:
    void refusal()
    {
        const QString prot = DiscReader::protectedDisc;
        // volumeKind: empty: none; text: empty: may be copied
        const struct { QString volumeKind; bool aacs; int protection; qint64 bytes; QString text; } rows[] = {
            {"cdda", true, 1, 0, audioText}, // audio CD wins over everything
            {"udf", true, 0, 1, prot + " (Blu-ray AACS)"},
            {"udf", false, 1, 1, prot + " (DVD CSS)"},
            {"udf", false, 7, 1, prot + " (DVD type 7)"}, // another DVD system
            {"", false, 1, 0, prot + " (DVD CSS)"}, // protected but empty is still protected
            {"udf", false, 0, 4700000000, ""}, // unprotected DVD
            {"iso9660", false, -1, 2048, ""}, // unknown protection is copied
            {"", false, 0, 0, emptyText}, // empty disc
        };
        for (auto [volumeKind, aacs, protection, bytes, text] : rows) {
            const std::optional<QString> kind = volumeKind.isEmpty() ? std::nullopt : std::optional<QString>(volumeKind);
            QCOMPARE(DiscReader::refusal(kind, aacs, protection, bytes).value_or(QString()), text);
        }
    }

    void label()
    {
        const struct { QString volumeName, mediaName, label; } rows[] = {
            {"Photos 2019", "CD-R", "Photos 2019 (sr0, 700 MB)"}, // volume name
            {"", "DVD+RW", "DVD+RW (sr0, 700 MB)"}, // media name when no volume
            {"", "", "Disc (sr0, 700 MB)"}, // neither
        };
        for (const auto &[volumeName, mediaName, label] : rows) {
            DiscInfo d;
            d.bsdName = QStringLiteral("sr0");
            d.mediaName = mediaName;
            d.bytes = 700000000;
            if (!volumeName.isEmpty())
                d.volumeName = volumeName;
            QCOMPARE(d.label(), label);
            QCOMPARE(d.rawPath(), QStringLiteral("/dev/sr0"));
        }
    }

    void hasAACS()
    {
        // entries: created under the mount point; a trailing "/" makes a folder
        const struct { QStringList entries; bool aacs; } rows[] = {
            {QStringList{"AACS/"}, true},
            {QStringList{"BDMV/AACS/"}, true},
            {QStringList{"ANY!"}, true}, // a file
            {QStringList{"BDMV/STREAM/00000.m2ts"}, false}, // plain BDMV
            {QStringList{"aacs/"}, false}, // lower case is something else
        };
        for (const auto &[entries, aacs] : rows) {
            QTemporaryDir root;
            for (const QString &e : entries) {
                if (e.endsWith(QLatin1Char('/')))
                    QVERIFY(QDir().mkpath(root.filePath(e)));
                else
                    QVERIFY(writeFile(root.filePath(e), "x"));
            }
            QCOMPARE(DiscReader::hasAACS(root.path()), aacs);
        }
        QCOMPARE(DiscReader::hasAACS(std::nullopt), false);
    }

    void fromUdevProperties()
    {
        using P = Properties;
        using Parts = QList<OpticalDiscs::Partition>;
        const P drive{{"ID_CDROM", "1"}, {"ID_CDROM_DVD", "1"}, {"ID_CDROM_BD", "1"}};
        const auto with = [&](P extra) { extra.insert(drive); return extra; };
        // 11:0 is mounted (the CD and BD rows use it), 11:1 is not (the DVD
        // rows); partition 11:2 is mounted too.
        const QList<MountTable::Entry> mounts = MountTable::parse(
            "30 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
            "36 30 11:0 / /media/me/PHOTOS\\0402019 ro - iso9660 /dev/sr0 ro\n"
            "37 30 11:2 / /media/me/HYBRID ro - iso9660 /dev/sr0p2 ro\n");
        const struct { P props; Parts partitions; bool described; Described want; } rows[] = {
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_CD", "1"}, {"ID_CDROM_MEDIA_STATE", "complete"}, {"ID_FS_TYPE", "iso9660"}, {"ID_FS_LABEL", "PHOTOS"}, {"ID_FS_LABEL_ENC", "PHOTOS\\x202019"}, {"ID_CDROM_MEDIA_TRACK_COUNT_DATA", "1"}}), {}, true, Described{"CD", "CD-ROM", "iso9660", "PHOTOS 2019", "/media/me/PHOTOS 2019", false}}, // pressed data CD, mounted
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_CD_R", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "12"}, {"ID_CDROM_MEDIA_TRACK_COUNT_DATA", "0"}}), {}, true, Described{"CD", "CD-R", "cdda", "", "/media/me/PHOTOS 2019", false}}, // audio CD
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_CD", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "10"}, {"ID_CDROM_MEDIA_TRACK_COUNT_DATA", "1"}, {"ID_FS_TYPE", "iso9660"}}), {}, true, Described{"CD", "CD-ROM", "iso9660", "", "/media/me/PHOTOS 2019", false}}, // enhanced CD with a data track is not cdda
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_DVD_PLUS_R_DL", "1"}, {"ID_CDROM_MEDIA_STATE", "blank"}}), {}, true, Described{"DVD", "DVD+R DL", "", "", "", true}}, // blank DVD+R DL
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_BD_RE", "1"}, {"ID_CDROM_MEDIA_STATE", "appendable"}, {"ID_FS_TYPE", "udf"}}), {}, true, Described{"BD", "BD-RE", "udf", "", "/media/me/PHOTOS 2019", true}}, // appendable BD-RE
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_DVD", "1"}}), Parts{{{{"ID_FS_TYPE", "hfsplus"}}, 11, 9}, {{{"ID_FS_TYPE", "iso9660"}, {"ID_FS_LABEL", "HYBRID"}}, 11, 2}}, true, Described{"DVD", "DVD-ROM", "hfsplus", "HYBRID", "/media/me/HYBRID", false}}, // volume on a partition fills in
            {with({{"ID_CDROM_MEDIA", "0"}}), {}, false, Described{}}, // drive without a disc
            {P{{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_CD", "1"}}, {}, false, Described{}}, // not an optical drive
            {with({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_MO", "1"}}), {}, false, Described{}}, // a medium of no known class
        };
        for (const auto &[props, partitions, described, want] : rows) {
            const auto &[kind, mediaName, volumeKind, volumeName, mountPoint, writable] = want;
            const std::optional<DiscInfo> d = OpticalDiscs::fromProperties(
                QStringLiteral("sr0"), props, 700 * mib, 0, 11, kind == QLatin1String("DVD") ? 1 : 0, mounts, partitions);
            QCOMPARE(d.has_value(), described);
            if (!d)
                continue;
            QCOMPARE(d->bsdName, QStringLiteral("sr0"));
            QCOMPARE(d->mediaKind, kind);
            QVERIFY(d->isOptical());
            QCOMPARE(d->isDVD(), kind == QLatin1String("DVD"));
            QCOMPARE(d->mediaName, mediaName);
            QCOMPARE(d->bytes, 700 * mib);
            QCOMPARE(d->blockSize, 2048);
            QCOMPARE(d->volumeKind.value_or(QString()), volumeKind);
            QCOMPARE(d->volumeName.value_or(QString()), volumeName);
            QCOMPARE(d->mountPoint.value_or(QString()), mountPoint);
            QCOMPARE(d->writable, writable);
        }
    }

    void copy()
    {
        const qint64 no = -1;
        const TDError none = thrown([] {});
        const QString sr7 = QStringLiteral("/dev/sr7");
        // failAt: the reader throws at this offset; endsAt: it has no more data from here; cancelAfter:
        // cancel after this many bytes, -1: no token at all; error: `none`: copied
        const struct { qint64 length; bool olderTarget; qint64 failAt, endsAt, cancelAfter; TDError error; } rows[] = {
            {5 * mib + 2048, true, no, no, no, none}, // several chunks and a partial one, replacing an older target
            {mib, false, no, no, no, none}, // exactly one chunk
            {0, true, no, no, no, none}, // nothing to copy
            {4 * mib, true, 3 * mib + 2048, no, no, TDError::readFailed(sr7, 3 * mib + 2048, EIO)}, // read error at 3 MiB + 2048
            {2 * mib, true, 0, no, no, TDError::readFailed(sr7, 0, EIO)}, // read error in the first sector
            {4 * mib, true, no, 2 * mib + 1000, no, TDError::readFailed(QStringLiteral("the disc"), 2 * mib + 1000, EIO)}, // disc ends early: a short read is never padded
            {4 * mib, true, no, no, 2 * mib, TDError::cancelled()}, // cancelled after 2 MiB
        };
        for (const auto &[length, olderTarget, failAt, endsAt, cancelAfter, error] : rows) {
            // The disc: an image file a little longer than the length copied, as a
            // real disc's device is, with a bad sector or an early end where the
            // row says.
            const QString device = m_env.path(QStringLiteral("disc.raw"));
            QVERIFY(TestEnv::writePattern(device, length + 4096));
            const QString dir = m_env.path(QStringLiteral("copies"));
            const QString target = dir + "/Disc.iso";
            QDir(dir).removeRecursively();
            QVERIFY(QDir().mkpath(dir));
            if (olderTarget)
                QVERIFY(writeFile(target, "older"));

            const BlockReader disc(device);
            CancelToken token;
            const auto read = [&](qint64 offset, char *into, qint64 count) -> qint64 {
                if (failAt >= 0 && offset <= failAt && failAt < offset + count) {
                    disc.read(offset, into, failAt - offset); // the sectors before it read fine
                    throw TDError::readFailed(sr7, failAt, EIO);
                }
                if (endsAt >= 0)
                    count = std::clamp<qint64>(endsAt - offset, 0, count);
                return disc.read(offset, into, count);
            };
            QList<double> reports;
            const auto progress = [&](double p) {
                reports << p;
                if (cancelAfter >= 0 && p * double(length) >= double(cancelAfter))
                    token.cancel();
            };
            QString sha;
            CancelToken *cancel = cancelAfter >= 0 ? &token : nullptr;
            QCOMPARE(thrown([&] { sha = DiscReader::copy(length, target, progress, cancel, read); }), error);
            QCOMPARE(leftovers(dir), QStringList{"Disc.iso"});
            if (error != none) {
                QCOMPARE(readFile(target), QByteArray("older"));
                continue;
            }
            QCOMPARE(readFile(target), readFile(device).left(length));
            QCOMPARE(sha, opensslSha256(target));
            QCOMPARE(reports.size(), int((length + mib - 1) / mib));
            if (length > 0)
                QCOMPARE(reports.last(), 1.0);
        }
    }

    void makeISO()
    {
        const qint64 size = 3 * mib;
        const QString rawNote = "Copied sector by sector (3.1 MB). The ISO is an exact copy of the disc.";
        const QString filesNote = "The system didn't allow a sector-by-sector read, so the ISO was built from the disc's files (same files and folders, new layout).";
        // dataCD(size) as `change` leaves it.
        const auto cd = [&](auto change) { DiscInfo d = dataCD(size); change(d); return d; };
        const auto mounted = [](DiscInfo &d) { d.mountPoint = QStringLiteral("(the disc's files)"); };
        const int raw = int(DiscReader::Method::rawCopy);
        // deviceBytes: size of the file standing in for the device, -1: none; method: -1: an error;
        // text: the note, or the error's text
        const struct { DiscInfo disc; qint64 deviceBytes; int method; QString text; } rows[] = {
            {dataCD(size), size, raw, rawNote}, // data CD, raw copy
            {cd([](DiscInfo &d) { d.mediaKind = QStringLiteral("DVD"); }), size, raw, rawNote}, // DVD whose protection can't be asked
            {cd([](DiscInfo &d) { d.volumeKind = QStringLiteral("cdda"); }), size, -1, audioText}, // audio CD refused though readable
            {dataCD(0), size, -1, emptyText}, // empty disc refused
            {dataCD(size), 2 * mib + 4096, -1, QStringLiteral("The disc couldn't be read at %1, so the copy was stopped and the unfinished file removed. The disc may be scratched, dirty, an audio CD, or copy-protected. KLVO Tandor doesn't skip unreadable or protected sectors.").arg(fmtBytes(2 * mib + 4096))}, // disc shorter than it says
            {cd(mounted), -1, int(DiscReader::Method::fromFiles), filesNote}, // no raw access, mounted: built from files
            {dataCD(size), -1, -1, noRawText}, // no raw access, not mounted
            {cd([&](DiscInfo &d) { mounted(d); d.volumeKind.reset(); }), -1, -1, noRawText}, // no raw access, mounted but no file system
            {cd([](DiscInfo &d) { d.mediaKind = QStringLiteral("BD"); d.mountPoint = QStringLiteral("(a Blu-ray with AACS)"); }), size, -1, DiscReader::protectedDisc + " (Blu-ray AACS)"}, // Blu-ray with AACS refused
        };
        for (auto [disc, deviceBytes, method, text] : rows) {
            QTemporaryDir tmp;
            const QString device = tmp.filePath(QStringLiteral("sr7.raw"));
            if (deviceBytes >= 0) {
                QVERIFY(TestEnv::writePattern(device, deviceBytes));
                // A regular file answers no SCSI command.
                QCOMPARE(DiscReader::dvdProtection(BlockReader(device)), -1);
            }
            if (disc.mountPoint == QLatin1String("(the disc's files)")) {
                if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
                    continue; // the ISO is built with xorriso
                disc.mountPoint = tmp.filePath(QStringLiteral("mounted"));
                QVERIFY(writeFile(*disc.mountPoint + "/DCIM/photo.jpg", QByteArray(5000, 'p')));
            } else if (disc.mountPoint == QLatin1String("(a Blu-ray with AACS)")) {
                disc.mountPoint = tmp.filePath(QStringLiteral("bluray"));
                QVERIFY(QDir().mkpath(*disc.mountPoint + "/AACS"));
            }
            const QString outDir = tmp.filePath(QStringLiteral("out"));
            QVERIFY(QDir().mkpath(outDir));
            const QString target = outDir + "/Disc.iso";

            try {
                const DiscReader::Outcome o = DiscReader::makeISO(disc, device, target, {}, nullptr);
                QCOMPARE(int(o.method), method);
                QCOMPARE(o.note, text);
                if (o.method == DiscReader::Method::rawCopy) {
                    QCOMPARE(o.sha256.value_or(QString()), opensslSha256(target));
                    QCOMPARE(readFile(target), readFile(device).left(disc.bytes));
                } else {
                    QVERIFY(!o.sha256);
                    QVERIFY(QFileInfo(target).size() > 5000);
                }
                QCOMPARE(leftovers(outDir), QStringList{"Disc.iso"});
            } catch (const TDError &e) {
                QCOMPARE(-1, method);
                QCOMPARE(e.kind(), TDError::Kind::refused);
                QCOMPARE(e.text(), text);
                QCOMPARE(leftovers(outDir), QStringList());
            }
        }
    }

    // A burner udev doesn't know is asked what it holds, and its disc is
    // read through the device node as the kernel reads it.
    void burnerUnknownToUdev()
    {
        // name: empty: nothing listed
        const struct { QString medium, name; qint64 bytes; } rows[] = {
            {"CD-R written", "CD-R", 300 * 2048},
            {"DVD-R", "DVD-R", 0}, // blank
            {"none", "", 0}, // no disc
        };
        for (const auto &[medium, name, bytes] : rows) {
            EmulatedDrives drives({medium});
            const QList<DiscInfo> listed = DiscReader::opticalDiscs({EmulatedDrives::device(0)});
            QCOMPARE(listed.size(), name.isEmpty() ? 0 : 1);
            if (listed.isEmpty())
                continue;
            QCOMPARE(listed[0].bsdName, EmulatedDrives::device(0));
            QCOMPARE(listed[0].mediaName, name);
            QCOMPARE(listed[0].bytes, bytes);
            QCOMPARE(listed[0].writable, bytes == 0);
            QTemporaryDir tmp;
            const QString target = tmp.filePath(QStringLiteral("copy.iso"));
            if (bytes == 0) {
                QCOMPARE(thrown([&] { DiscReader::makeISO(listed[0], target, {}, nullptr); }).kind(), TDError::Kind::refused);
                continue;
            }
            const DiscReader::Outcome copied = DiscReader::makeISO(listed[0], target, {}, nullptr);
            QCOMPARE(readFile(target), QByteArray(bytes, '\xff'));
            QCOMPARE(copied.sha256.value_or(QString()), opensslSha256(target));
        }
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstDiscReader)
#include "tst_discreader.moc"
