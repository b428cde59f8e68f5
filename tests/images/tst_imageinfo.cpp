#include "FuzzSeeds.h"
#include "ImageBytes.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/ImageInfo.h"

#include <QStringEncoder>

#include <functional>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 sector = 2048;

struct Descriptor
{
    int sector;
    quint8 type;
    const char *id;
    QByteArray name = {}; // written at offset 40: the 32-byte name field, and on past it if longer
    bool joliet = false;  // with the Joliet escape
};

// Volume descriptors in the sectors they name.
QByteArray image(std::initializer_list<Descriptor> descriptors)
{
    QByteArray img;
    for (const Descriptor &d : descriptors) {
        const qint64 s = d.sector * sector;
        if (img.size() < s + sector)
            img.resize(s + sector, '\0');
        img[s] = char(d.type);
        img.replace(s + 1, 5, d.id);
        img.replace(s + 40, d.name.size(), d.name);
        if (d.joliet)
            img.replace(s + 88, 3, "%/E");
    }
    return img;
}

QByteArray padded(const QByteArray &text, char pad) { return text.leftJustified(32, pad, true); }

QByteArray utf16be(const QString &text) { return QStringEncoder(QStringEncoder::Utf16BE)(text); }

QByteArray jolietField(const QString &text) { return utf16be(text.leftJustified(16, QLatin1Char(' '), true)); }

QByteArray withKoly(const QByteArray &image) { return image + "koly" + QByteArray(508, '\0'); }

// Runs `fn` on a thread whose file-system identity is `uid`: as root the
// permission bits are otherwise ignored, so a file without read permission
// is only unreadable to somebody else.
template<typename Fn>
void asUser(uid_t uid, Fn fn)
{
    std::thread([&] {
        const uid_t before = ::setfsuid(uid);
        fn();
        ::setfsuid(before);
    }).join();
}

} // namespace

// Whether inspect() answers and with what format, looked at as uid 65534 or as
// ourselves; examine()'s problem or why (%1: the path) and its discBytes()
// (-1: the file's own size).
struct Examined { bool answers; QString format; bool otherUser; QString problem; qint64 disc; };

// What inspect() makes of an image; an empty volume: none.
struct Seen { QString format; bool udif; QString volume; };

class TstImageInfo : public QObject
{
    Q_OBJECT

private slots:
    void inspectsDescriptors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<Seen>("want");

        const QString iso = QStringLiteral("ISO 9660 image"), raw = QStringLiteral("Raw disc image"),
                      udf = QStringLiteral("UDF image"), hybrid = QStringLiteral("ISO 9660 + UDF image"),
                      dmg = QStringLiteral("Mac disk image (DMG)");
        const Descriptor mydisc{16, 1, "CD001", padded("MYDISC", ' ')}, end{17, 255, "CD001"};
        const auto joliet = [](int sector, const QByteArray &name) { return Descriptor{sector, 2, "CD001", name, true}; };
        QByteArray lone = utf16be(QStringLiteral("AB")) + QByteArray("\xD8\x00", 2); // a high surrogate, alone
        lone.append(32 - lone.size(), '\0');

        QTest::newRow("2 KiB text file named .cue") << QByteArray(2048, 'x') << "disc.cue" << Seen{raw, false, ""};
        QTest::newRow("primary MYDISC, Joliet My Disc") << image({mydisc, joliet(17, jolietField("My Disc")), {18, 255, "CD001"}}) << "a.iso" << Seen{iso, false, "My Disc"};
        QTest::newRow("empty Joliet name falls back to primary") << image({mydisc, joliet(17, jolietField(""))}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("primary name padded with NULs and a tab") << image({{16, 1, "CD001", padded("\t NUL PADDED", '\0')}}) << "a.iso" << Seen{iso, false, "NUL PADDED"};
        QTest::newRow("undecodable Joliet name falls back to primary") << image({mydisc, joliet(17, lone)}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("blank primary name is no name") << image({{16, 1, "CD001", padded("", ' ')}}) << "a.iso" << Seen{iso, false, ""};
        QTest::newRow("32-letter primary name, what follows unread") << image({{16, 1, "CD001", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345X"}}) << "a.iso" << Seen{iso, false, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"};
        QTest::newRow("16-letter Joliet name, what follows unread") << image({mydisc, joliet(17, utf16be("abcdefghijklmnopQ"))}) << "a.iso" << Seen{iso, false, "abcdefghijklmnop"};
        QTest::newRow("first primary name wins") << image({{16, 1, "CD001", padded("FIRST", ' ')}, {17, 1, "CD001", padded("SECOND", ' ')}}) << "a.iso" << Seen{iso, false, "FIRST"};
        QTest::newRow("supplementary without Joliet escape is ignored") << image({mydisc, {17, 2, "CD001", jolietField("Not Joliet")}}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("half a Joliet escape is none") << image({mydisc, {17, 2, "CD001", jolietField("Half") + QByteArray(16, '\0') + "%E"}}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("first Joliet descriptor wins, even undecodable") << image({mydisc, joliet(17, lone), joliet(18, jolietField("Second"))}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("scan goes past the terminator") << image({mydisc, end, joliet(18, jolietField("After End"))}) << "a.iso" << Seen{iso, false, "After End"};
        QTest::newRow("hybrid CD001 + BEA01/NSR02") << image({mydisc, {18, 0, "BEA01"}, {19, 0, "NSR02"}}) << "a.iso" << Seen{hybrid, false, "MYDISC"};
        QTest::newRow("NSR03 in the last sector of the window") << image({{23, 0, "NSR03"}}) << "a.img" << Seen{udf, false, ""};
        QTest::newRow("CD001 beyond sector 23 is not seen") << image({{24, 1, "CD001", padded("MYDISC", ' ')}}) << "a.iso" << Seen{raw, false, ""};
        QTest::newRow("koly over compressed data") << withKoly(noise(64 * 1024, 7)) << "a.dmg" << Seen{dmg, true, ""};
        QTest::newRow("koly with NSR02 is UDF, not UDIF") << withKoly(image({{17, 0, "NSR02"}})) << "a.dmg" << Seen{udf, false, ""};
        QTest::newRow("koly with CD001 and BEA01") << withKoly(image({mydisc, {17, 0, "BEA01"}})) << "a.dmg" << Seen{hybrid, false, "MYDISC"};
        QTest::newRow("koly with CD001 only is still UDIF") << withKoly(image({mydisc})) << "a.dmg" << Seen{dmg, true, "MYDISC"};
        QTest::newRow("koly in a file under 512 bytes") << QByteArray("koly and a little more") << "tiny.dmg" << Seen{dmg, true, ""};
        QTest::newRow("koly not at the trailer start") << (noise(4096, 3) + QByteArray("xkoly") + QByteArray(507, '\0')) << "a.dmg" << Seen{raw, false, ""};
        QTest::newRow("34 815 bytes: one byte short of a whole descriptor") << image({mydisc}).left(34815) << "a.iso" << Seen{raw, false, ""};
        QTest::newRow("34 816 bytes: exactly one descriptor") << image({mydisc}) << "a.iso" << Seen{iso, false, "MYDISC"};
        QTest::newRow("CDR extension in upper case") << QByteArray(4096, '\0') << "master.CDR" << Seen{"CD/DVD master (CDR)", false, ""};
    }

    void inspectsDescriptors()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(Seen, want);
        const auto &[format, udif, volume] = want;

        const QString path = m_env.path(name);
        QVERIFY(writeFile(path, content));
        // The imageinfo target's seeds.
        keepFuzzSeed(QStringLiteral("imageinfo"), content);
        const std::optional<ImageInfo> info = ImageInfo::inspect(path);
        QVERIFY(info);
        QCOMPARE(info->path, path);
        QCOMPARE(info->bytes, content.size());
        QCOMPARE(info->formatName(), format);
        QCOMPARE(info->isUDIF, udif);
        QCOMPARE(info->isRaw(), !udif);
        QCOMPARE(info->volumeName.value_or(QString()), volume);
        QVERIFY(!info->volumeName || !info->volumeName->isEmpty());
    }

    void warnsWithoutAFileSystem_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("warns");

        const QByteArray random = noise(40 * sector, 7);
        // `random` with `bytes` written at `offset`.
        const auto with = [&random](std::initializer_list<std::pair<qint64, QByteArray>> parts) {
            QByteArray image = random;
            for (const auto &[offset, bytes] : parts)
                image.replace(offset, bytes.size(), bytes);
            return image;
        };

        QTest::newRow("random bytes named .iso") << random << "noise.iso" << true;
        QTest::newRow("zeros named .img") << QByteArray(40 * sector, '\0') << "blank.img" << true;
        QTest::newRow("random bytes named .cdr") << random << "master.cdr" << true;
        QTest::newRow("random bytes named .dmg (never burned raw)") << random << "noise.dmg" << false;
        QTest::newRow("ISO 9660") << with({{16 * sector, image({{16, 1, "CD001", padded("DISC", ' ')}}).right(sector)}}) << "disc.iso" << false;
        QTest::newRow("UDF") << with({{16 * sector, image({{16, 0, "BEA01"}, {17, 0, "NSR02"}}).right(2 * sector)}}) << "disc.img" << false;
        QTest::newRow("UDIF container") << withKoly(random) << "mac.dmg" << false;
        QTest::newRow("HFS+ volume header") << with({{1024, QByteArray("H+\x00\x04", 4)}}) << "master.cdr" << false;
        QTest::newRow("HFSX volume header") << with({{1024, QByteArray("HX\x00\x05", 4)}}) << "master.iso" << false;
        QTest::newRow("HFS+ signature with the HFSX version") << with({{1024, QByteArray("H+\x00\x05", 4)}}) << "master.cdr" << true;
        QTest::newRow("HFS volume with 512-byte blocks") << with({{1024, QByteArray("BD", 2)}, {1044, QByteArray("\x00\x00\x02\x00", 4)}}) << "old.cdr" << false;
        QTest::newRow("HFS volume header ending at the file's end") << with({{1024, QByteArray("BD", 2)}, {1044, QByteArray("\x00\x00\x02\x00", 4)}}).left(1048) << "old.cdr" << false;
        QTest::newRow("HFS volume header one byte past the end") << with({{1024, QByteArray("BD", 2)}, {1044, QByteArray("\x00\x00\x02\x00", 4)}}).left(1047) << "old.cdr" << true;
        QTest::newRow("HFS signature with no block size") << with({{1024, QByteArray("BD", 2)}, {1044, QByteArray(4, '\0')}}) << "old.cdr" << true;
        QTest::newRow("Apple partition map, 512-byte blocks") << with({{0, QByteArray("ER\x02\x00", 4)}, {512, QByteArray("PM", 2)}}) << "master.cdr" << false;
        QTest::newRow("Apple partition map, 2048-byte blocks") << with({{0, QByteArray("ER\x08\x00", 4)}, {2048, QByteArray("PM", 2)}}) << "master.cdr" << false;
        QTest::newRow("partition map entry ending at the file's end") << with({{0, QByteArray("ER\x02\x00", 4)}, {512, QByteArray("PM", 2)}}).left(514) << "master.cdr" << false;
        QTest::newRow("driver descriptor without a map") << with({{0, QByteArray("ER\x02\x00", 4)}, {512, QByteArray("XX", 2)}}) << "master.cdr" << true;
        QTest::newRow("audio cue sheet") << QByteArray("FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n") << "disc.cue" << false;
        QTest::newRow("TOC file, upper-case extension") << QByteArray("CD_DA\nTRACK AUDIO\nFILE \"a.wav\" 0\n") << "disc.TOC" << false;
    }

    void warnsWithoutAFileSystem()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(bool, warns);

        const QString path = m_env.path(name);
        QVERIFY(writeFile(path, content));
        keepFuzzSeed(QStringLiteral("imageinfo"), content);
        const std::optional<ImageInfo> info = ImageInfo::inspect(path);
        QVERIFY(info);
        QCOMPARE(info->warning(),
                 warns ? QStringLiteral("No file system was found in this image; it will be burned as it is.") : QString());
    }

    void fits_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");

        const QString cd = QStringLiteral("Fits on a CD-R, DVD or Blu-ray");
        const QString dvd = QStringLiteral("Needs a DVD (too big for a CD)");
        const QString dl = QStringLiteral("Needs a dual-layer DVD (DVD+R DL) or a Blu-ray");
        const QString bd = QStringLiteral("Needs a Blu-ray (BD-R)");
        const QString none = QStringLiteral("Too big for any single disc");

        QTest::newRow("1 byte") << qint64(1) << cd;
        QTest::newRow("exactly a CD") << qint64(737280000) << cd;
        QTest::newRow("a CD plus one byte") << qint64(737280001) << dvd;
        QTest::newRow("exactly a DVD") << qint64(4700372992) << dvd;
        QTest::newRow("a DVD plus one byte") << qint64(4700372993) << dl;
        QTest::newRow("exactly a DVD+R DL") << qint64(8547991552) << dl;
        QTest::newRow("a DVD+R DL plus one byte") << qint64(8547991553) << bd;
        QTest::newRow("exactly a BD-R") << qint64(25025314816) << bd;
        QTest::newRow("a BD-R plus one byte") << qint64(25025314817) << none;
    }

    void fits()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DiscSizes::fits(bytes), text);

        // The same through a real (sparse) file of that size.
        const QString path = m_env.path(QStringLiteral("sized.iso"));
        QVERIFY(TestEnv::writeSparse(path, bytes));
        const std::optional<ImageInfo> info = ImageInfo::inspect(path);
        QVERIFY(info);
        QCOMPARE(info->bytes, bytes);
        QCOMPARE(info->fitsOn(), text);
    }

    void badInput_data()
    {
        // Each row makes something a user could pick and says whether inspect()
        // answers; either way it must return. examine() then says what is
        // wrong with it, if anything, and the size its disc takes.
        QTest::addColumn<std::function<QString(const QString &dir)>>("make");
        QTest::addColumn<Examined>("want");

        using Make = std::function<QString(const QString &)>;
        // The path of `name` in the folder, when `create` makes it there.
        const auto made = [](const QString &name, const std::function<bool(const QString &)> &create) -> Make {
            return [=](const QString &dir) { const QString path = QDir(dir).filePath(name); return create(path) ? path : QString(); };
        };
        const auto file = [&](const QString &name, const QByteArray &data) { return made(name, [=](const QString &p) { return writeFile(p, data); }); };

        QTest::newRow("random bytes named .dmg") << file("noise.dmg", noise(40000, 5)) << Examined{true, "Raw disc image", false, "KLVO Tandor can't burn noise.dmg: This file is not a DMG: it has no UDIF trailer (\"koly\").", qint64(-1)};
        // A sheet's disc is its tracks, not the sheet's own few bytes.
        const auto sheet = [&](const QString &name, const QByteArray &text, int sectors) {
            return made(name, [=](const QString &p) { return writeFile(p, text) && (sectors == 0 || TestEnv::writePattern(QFileInfo(p).dir().filePath("disc.bin"), 2048 * sectors)); });
        };
        const QByteArray cue("FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
        QTest::newRow("cue sheet") << sheet("disc.cue", cue, 300) << Examined{true, "Raw disc image", false, "", qint64(300 * 2048)};
        QTest::newRow("toc sheet") << sheet("disc.toc", "CD_ROM\nTRACK MODE1\nDATAFILE \"disc.bin\"\n", 301) << Examined{true, "Raw disc image", false, "", qint64(301 * 2048)};
        QTest::newRow("cue naming a missing file") << sheet("disc.cue", cue, 0) << Examined{true, "Raw disc image", false, "KLVO Tandor can't burn disc.cue: Line 1 of disc.cue: the file disc.bin is missing.", qint64(-1)};
        QTest::newRow("zero-byte file") << file("empty.iso", {}) << Examined{false, "", false, "empty.iso is empty: there is nothing in it to burn.", qint64(0)};
        QTest::newRow("directory") << made("folder.iso", [](const QString &p) { return QDir().mkpath(p); }) << Examined{false, "", false, "folder.iso isn't a file.", qint64(0)};
        QTest::newRow("missing file") << Make([](const QString &dir) { return QDir(dir).filePath("gone.iso"); }) << Examined{false, "", false, "gone.iso can't be found.", qint64(0)};
        QTest::newRow("named pipe (would block on open)") << made("pipe.iso", [](const QString &p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }) << Examined{false, "", false, "pipe.iso isn't a file.", qint64(0)};
        QTest::newRow("character device") << Make([](const QString &) { return QStringLiteral("/dev/zero"); }) << Examined{false, "", false, "zero isn't a file.", qint64(0)};
        QTest::newRow("symbolic link to an image") << made("link.iso", [](const QString &p) { const QString target = QFileInfo(p).dir().filePath("target.iso"); return writeFile(target, image({{16, 1, "CD001", padded("LINKED", ' ')}})) && QFile::link(target, p); }) << Examined{true, "ISO 9660 image", false, "", qint64(-1)};
        QTest::newRow("file without read permission") << made("secret.iso", [](const QString &p) { return writeFile(p, image({{16, 1, "CD001", padded("SECRET", ' ')}})) && QFile::setPermissions(p, QFileDevice::WriteOwner); }) << Examined{false, "", true, "Couldn't open %1 (Permission denied).", qint64(0)};
    }

    void badInput()
    {
        QFETCH(std::function<QString(const QString &)>, make);
        QFETCH(Examined, want);
        const auto &[answers, format, otherUser, problem, disc] = want;

        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ExeOther));
        const QString path = make(dir.path());
        QVERIFY(!path.isEmpty());
        std::optional<ImageInfo> info, examined;
        QString why;
        const auto look = [&] {
            info = ImageInfo::inspect(path);
            examined = ImageInfo::examine(path, &why);
        };
        if (otherUser)
            asUser(65534, look);
        else
            look();
        QCOMPARE(info.has_value(), answers);
        QCOMPARE(examined.has_value(), answers);
        QCOMPARE(examined ? examined->problem : why, QString(problem).replace(QStringLiteral("%1"), path));
        if (info) {
            QCOMPARE(info->formatName(), format);
            QCOMPARE(examined->discBytes(), disc < 0 ? info->bytes : disc);
            QCOMPARE(examined->fitsOn(), DiscSizes::fits(examined->discBytes()));
        }
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstImageInfo)
#include "tst_imageinfo.moc"
