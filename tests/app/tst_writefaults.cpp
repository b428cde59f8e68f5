// Every place the program writes a file, run as the program runs it, with the
// disk filling up, the folder refusing to be written, the folder disappearing
// mid-way and the source failing to read mid-way: the exact words the user
// gets, no half-written file anywhere, older files left alone, and the next
// run of the same kind working once the fault is gone.

#include "FaultInjection.h"
#include "ModelRig.h"
#include "app/MakeImageModel.h"
#include "app/SaveFile.h"
#include "audio/AudioPrep.h"
#include "base/Format.h"
#include "images/Checksums.h"
#include "images/ImageInfo.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {

using Fault::Kind;

const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
const QString noAccess = QString::fromLocal8Bit(std::strerror(EACCES));
const QString noEntry = QString::fromLocal8Bit(std::strerror(ENOENT));

// A file whose bytes and modification time must stay as they are.
struct Kept
{
    QString path;
    QByteArray bytes;
    QDateTime modified;

    static Kept make(const QString &path, const QByteArray &bytes)
    {
        if (!writeFile(path, bytes))
            return {};
        // An older time, so that any rewrite would show even within a second.
        QFile f(path);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime);
        f.close();
        return {path, bytes, QFileInfo(path).fileTime(QFileDevice::FileModificationTime)};
    }
    bool intact() const
    {
        return readFile(path) == bytes && QFileInfo(path).fileTime(QFileDevice::FileModificationTime) == modified;
    }
};

struct Rig : VirtualRig
{
    using VirtualRig::VirtualRig;
    QStringList before; // the files there were when the fault was armed
    // `rule` for this process, or with `child` for the tools it starts.
    void arm(const Fault::Rule &rule, bool child = false)
    {
        before = leftovers(env.root(), QDir::Files);
        if (!child)
            return Fault::arm(rule);
        qputenv("LD_PRELOAD", Fault::preloadModule());
        qputenv("TANDOR_FAULT", Fault::childRule(rule));
    }
    // What a failed write left: new files (but the log and the settings),
    // and, unless the folder went, any of `kept` that changed. Empty: nothing.
    QString leftBehind(Kind kind, const QList<Kept> &kept) const
    {
        QStringList out;
        for (const QString &f : leftovers(env.root(), QDir::Files))
            if (!before.contains(f) && !QStringList{"log.txt", "settings.ini"}.contains(QFileInfo(f).fileName()))
                out.append(f);
        for (const Kept &k : kept)
            if (kind != Kind::vanish && !k.intact())
                out.append(k.path + QStringLiteral(" changed"));
        return out.join(QStringLiteral(", "));
    }
};

// Whether the armed fault struck; it is disarmed either way.
bool struck()
{
    const bool hit = Fault::strikes() > 0;
    Fault::disarm();
    return hit;
}

// With `said`: the words the user gets.
void addRows(bool said = true)
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("after");
    if (said)
        QTest::addColumn<QString>("said");
}
// The row's fault and the bytes written before it strikes.
std::pair<Kind, qint64> fault()
{
    QFETCH(int, kind);
    QFETCH(qint64, after);
    return {Kind(kind), after};
}

} // namespace

class TstWriteFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Fault::disarm(); }

    // The prepared CD audio that an audio burn writes into the cache folder.
    void preparedAudio_data()
    {
        addRows();
        QTest::newRow("disk full") << int(Kind::diskFull) << qint64(64 * 1024) << QStringLiteral("Deck A: Couldn't save the file: ") + noSpace;
        QTest::newRow("permission denied") << int(Kind::denied) << qint64(0) << QStringLiteral("Deck A: Couldn't save the file: ") + noAccess;
        QTest::newRow("folder vanishes") << int(Kind::vanish) << qint64(64 * 1024) << QStringLiteral("Deck A: Couldn't save the file: ") + noEntry;
        QTest::newRow("source read error") << int(Kind::readError) << qint64(200 * 1024) << QStringLiteral("Deck A: Couldn't convert tone.wav to CD audio.");
    }

    void preparedAudio()
    {
        const auto [kind, after] = fault();
        QFETCH(QString, said);
        Rig rig(1);
        QVERIFY(rig.blank(0));
        const QString wav = rig.env.path(QStringLiteral("music/tone.wav"));
        QVERIFY(addTones(rig.env, rig.model->projects().at(0), {QStringLiteral("music/tone")}, 1.5));
        const QString cache = AudioPrep::cacheDir();
        const Kept nearby = Kept::make(cache + QStringLiteral("/notes.txt"), "not ours to touch\n");

        rig.arm({kind, kind == Kind::readError ? wav : cache, after});
        rig.model->start(rig.deck(0));
        QVERIFY(QTest::qWaitFor([&] { return !rig.deck(0)->busy(); }, 30000));
        QVERIFY(struck());
        QCOMPARE(rig.deck(0)->state(), Deck::State::failed);
        QVERIFY2(rig.lines(said) == 1, qPrintable(rig.log()));
        QCOMPARE(rig.leftBehind(kind, {nearby}), QString());
        QCOMPARE(leftovers(rig.folder(0), QDir::Files), QStringList());

        // The same burn once the fault is gone.
        QVERIFY(rig.blank(0));
        rig.model->start(rig.deck(0));
        QVERIFY(QTest::qWaitFor([&] { return !rig.deck(0)->busy(); }, 30000));
        QVERIFY2(rig.deck(0)->state() == Deck::State::done, qPrintable(rig.log()));
        QCOMPARE(leftovers(rig.folder(0), QDir::Files), QStringList({"Disc 001.bin", "Disc 001.cue"}));
        QTRY_COMPARE(QDir(cache).entryList({QStringLiteral("*.cdda")}, QDir::Files), QStringList());
    }

    // A disc copied to an .iso by the queue, from a drive whose device is a file.
    void discCopy_data()
    {
        addRows(); // "%1": the output folder
        QTest::newRow("disk full") << int(Kind::diskFull) << qint64(mib + 4096) << QStringLiteral("Couldn't save the file: ") + noSpace;
        QTest::newRow("permission denied") << int(Kind::denied) << qint64(0) << QStringLiteral("Couldn't save the file: can't create Holiday.iso.partial in %1");
        QTest::newRow("folder vanishes") << int(Kind::vanish) << qint64(mib) << QStringLiteral("Couldn't save the file: ") + noEntry;
        QTest::newRow("source read error") << int(Kind::readError) << qint64(mib + 6144) << QStringLiteral("The disc couldn't be read at ") + fmtBytes(mib + 6144) + QStringLiteral(", so the copy was stopped and the unfinished file removed. The disc may be " "scratched, dirty, an audio CD, or copy-protected. KLVO Tandor doesn't skip " "unreadable or protected sectors.");
    }

    void discCopy()
    {
        const auto [kind, after] = fault();
        QFETCH(QString, said);
        Rig rig(0);
        const qint64 size = 2048 * 1400;
        const QString device = rig.env.path(QStringLiteral("dev/sr7"));
        QVERIFY(TestEnv::writePattern(device, size));
        rig.insertDisc(device, size);
        CopyDiscModel *copy = rig.model->copyDisc();
        const QString out = rig.env.path(QStringLiteral("out"));
        // The user chose to replace the older copy; its neighbour is not theirs to lose.
        const Kept older = Kept::make(out + QStringLiteral("/Holiday.iso"), "the older copy");
        const Kept nearby = Kept::make(out + QStringLiteral("/Other.iso"), "another image");

        rig.arm({kind, kind == Kind::readError ? device : out, after});
        copy->copy(older.path);
        JobState state {};
        const QString detail = rig.runLastJob(&state);
        QVERIFY(struck());
        QCOMPARE(state, JobState::failed);
        QCOMPARE(detail, said.arg(out));
        QCOMPARE(rig.lines(QStringLiteral("Queue: FAILED — “Copy Holiday to Holiday.iso”. ") + detail), 1);
        QCOMPARE(rig.leftBehind(kind, {older, nearby}), QString());

        QVERIFY(QDir().mkpath(out));
        copy->copy(older.path);
        const QString saved = rig.runLastJob(&state);
        QCOMPARE(state, JobState::done);
        QVERIFY2(saved.startsWith("Saved Holiday.iso. ") && saved.endsWith(" SHA-256 " + Checksums::compute(device, {}, nullptr).sha256), qPrintable(saved));
        QCOMPARE(readFile(older.path), readFile(device));
    }

    // A master read whose cue the disk can't hold: the BIN already written
    // goes too, and the next read keeps both. (A full disk in the BIN is
    // DiscReader::copy's, which discCopy walks.)
    void masterRead()
    {
        const Kind kind = Kind::diskFull;
        Rig rig(1);
        QVERIFY(TestEnv::writePattern(rig.env.path("m.bin"), 300 * 2352));
        QVERIFY(writeFile(rig.env.path("m.cue"), "FILE \"m.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
        QCOMPARE(rig.burners->insertImage(1, rig.env.path("m.cue")), QString());
        CopyDiscModel *copy = rig.model->copyDisc();
        QTRY_VERIFY(copy->discs().size() == 1);
        const QString out = rig.env.path("out");
        QVERIFY(QDir().mkpath(out));
        rig.arm({kind, out, 300 * 2352 + 10});
        copy->copy(out + "/Album.cue");
        JobState state {};
        QCOMPARE(rig.runLastJob(&state), QStringLiteral("Couldn't save the file: ") + noSpace);
        QVERIFY(struck());
        QCOMPARE(state, JobState::failed);
        QCOMPARE(rig.leftBehind(kind, {}), QString());

        copy->copy(out + "/Album.cue");
        QVERIFY2(rig.runLastJob(&state).startsWith("Read 1 track into Album.cue"), qPrintable(rig.log()));
        QCOMPARE(leftovers(out, QDir::Files), (QStringList{"Album.bin", "Album.cue"}));
    }

    // An image made of a folder: xorriso (a child process, reached through
    // LD_PRELOAD) writes the ISO or the HFS+ hybrid; our own UDIF writer
    // (reached in this process) writes the DMG.
    void imageMaking_data()
    {
        addRows(false);
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("child"); // the fault is the child's
        QTest::addColumn<QString>("said"); // "%1": the file it is about

        const QString full = QStringLiteral("Couldn't save the file: ") + noSpace;
        QTest::newRow("iso, disk full") << int(Kind::diskFull) << qint64(256 * 1024) << "ISO" << true << full;
        QTest::newRow("iso, permission denied") << int(Kind::denied) << qint64(0) << "ISO" << true << QStringLiteral("Tandor isn't allowed to save there. Choose another folder for the image.");
        // xorriso writes on into the removed folder and finishes; nothing is there.
        QTest::newRow("iso, folder vanishes") << int(Kind::vanish) << qint64(256 * 1024) << "ISO" << true << QStringLiteral("xorriso didn't make the image.");
        QTest::newRow("iso, folder can't be listed") << int(Kind::unlisted) << qint64(0) << "ISO" << true << QStringLiteral("Tandor has no permission to read the folder “Photos”, so the image wasn't made.");
        QTest::newRow("iso, source read error") << int(Kind::readError) << qint64(64 * 1024) << "ISO" << true << QStringLiteral("A file in the folder couldn't be read, so the image wasn't made.");
        QTest::newRow("dmg, disk full") << int(Kind::diskFull) << qint64(16 * 1024) << "DMG" << false << QStringLiteral("Couldn't save the file: writing %1 failed (") + noSpace + QStringLiteral(").");
        QTest::newRow("dmg, permission denied") << int(Kind::denied) << qint64(0) << "DMG" << false << QStringLiteral("Couldn't save the file: writing %1 failed (") + noAccess + QStringLiteral(").");
        QTest::newRow("dmg, folder vanishes") << int(Kind::vanish) << qint64(0) << "DMG" << false << QStringLiteral("Couldn't save the file: ") + noEntry;
        QTest::newRow("dmg, hybrid read error") << int(Kind::readError) << qint64(8 * 1024) << "DMG" << false << QStringLiteral("Read error in %1 at 8 KB (") + QString::fromLocal8Bit(std::strerror(EIO)) + QStringLiteral(").");
    }

    void imageMaking()
    {
        const auto [kind, after] = fault();
        QFETCH(QString, format);
        QFETCH(bool, child);
        QFETCH(QString, said);
        if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
            QSKIP("needs xorriso");
        if (child && Fault::preloadModule().isEmpty())
            QSKIP("the interposer module for child processes wasn't built");

        Rig rig(0);
        const QString folder = rig.env.path(QStringLiteral("Photos"));
        QVERIFY(writeFile(folder + QStringLiteral("/a.txt"), "first\n"));
        QVERIFY(TestEnv::writePattern(folder + QStringLiteral("/b.bin"), mib));
        rig.model->makeImage()->setFolder(folder);
        rig.model->makeImage()->setFormat(format);
        rig.model->makeImage()->setCheckAfter(false);
        const QString out = rig.env.path(QStringLiteral("out"));
        const QString ext = format.toLower();
        const Kept older = Kept::make(out + QStringLiteral("/Photos.") + ext, "the older image");
        const Kept nearby = Kept::make(out + QStringLiteral("/Other.iso"), "another image");

        const QString source = kind == Kind::unlisted ? folder : folder + "/b.bin";
        rig.arm({kind, child && (kind == Kind::readError || kind == Kind::unlisted) ? source : out, after}, child);
        rig.model->makeImage()->make(older.path);
        JobState state {};
        const QString detail = rig.runLastJob(&state);
        QVERIFY(struck() || child);
        qunsetenv("LD_PRELOAD");
        qunsetenv("TANDOR_FAULT");
        QCOMPARE(state, JobState::failed);
        // "%1": the file the row is about, the work file or the HFS+ hybrid read back.
        const QString about = kind == Kind::readError ? QStringLiteral("/Photos.partial.hfs") : "/Photos.partial." + ext;
        QCOMPARE(detail, said.contains(QLatin1String("%1")) ? said.arg(out + about) : said);
        QCOMPARE(rig.leftBehind(kind, {older, nearby}), QString());

        QVERIFY(QDir().mkpath(out));
        rig.model->makeImage()->make(older.path);
        const QString again = rig.runLastJob(&state);
        QVERIFY2(state == JobState::done, qPrintable(again));
        QVERIFY(QFileInfo(older.path).size() > 0 && readFile(older.path) != older.bytes);
    }

    // An image burned on a virtual burner, which writes the disc into its folder.
    void burnerOutput_data()
    {
        addRows(); // "%1": the burner's folder
        QTest::newRow("disk full") << int(Kind::diskFull) << qint64(256 * 1024) << QStringLiteral("Couldn't write the disc image: ") + noSpace + ".";
        QTest::newRow("permission denied") << int(Kind::denied) << qint64(0) << QStringLiteral("Couldn't write to %1: ") + noAccess + ".";
        QTest::newRow("folder vanishes") << int(Kind::vanish) << qint64(256 * 1024) << QStringLiteral("Couldn't save %1/Disc 001.iso: ") + noEntry + ".";
        // A block that can't be read is burned as zeros; the read-back finds it.
        QTest::newRow("source read error, once") << int(Kind::readError) << qint64(256 * 1024) << QStringLiteral("The disc didn't match what was written (track 1).");
    }

    void burnerOutput()
    {
        const auto [kind, after] = fault();
        QFETCH(QString, said);
        Rig rig(1);
        QVERIFY(rig.blank(0));
        const QString image = rig.env.path(QStringLiteral("backup.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 512));
        const QString folder = rig.folder(0);
        QVERIFY(QDir().mkpath(folder));
        const Kept nearby = Kept::make(folder + QStringLiteral("/notes.txt"), "not a disc\n");

        const bool source = kind == Kind::readError;
        rig.arm({kind, source ? image : folder, after, source ? 1 : 0});
        QList<std::pair<bool, QString>> ends;
        const auto burn = [&] {
            rig.deck(0)->burnImage(*ImageInfo::inspect(image), false, source, false, false, QStringLiteral("Burn"), [&](bool ok, const QString &m) { ends.append({ok, m}); });
        };
        burn();
        QVERIFY(QTest::qWaitFor([&] { return ends.size() == 1; }, 20000));
        QVERIFY2(struck(), qPrintable(ends.first().second));
        QVERIFY(!ends.first().first);
        QCOMPARE(ends.first().second, said.arg(folder));
        QCOMPARE(rig.leftBehind(kind, {nearby}), QString());

        QVERIFY(QDir().mkpath(folder));
        QVERIFY(rig.blank(0));
        burn();
        QVERIFY(QTest::qWaitFor([&] { return ends.size() == 2; }, 20000));
        QVERIFY2(ends.last().first, qPrintable(ends.last().second));
        QCOMPARE(readFile(folder + QStringLiteral("/Disc 001.iso")), readFile(image));
    }

    // The burn log file: a line that can't be written stays in the window,
    // nothing is said about it, and the program goes on.
    void logFile_data()
    {
        addRows(false);
        QTest::newRow("disk full") << int(Kind::diskFull) << qint64(10);
        QTest::newRow("permission denied") << int(Kind::denied) << qint64(0);
        QTest::newRow("folder vanishes") << int(Kind::vanish) << qint64(0);
    }

    void logFile()
    {
        const auto [kind, after] = fault();

        AppModelAlone app({}, QStringLiteral("state/KLVO Tandor/Burn Log.txt"));
        AppModel &model = *app.model;
        const QString logPath = app.logPath, logFolder = QFileInfo(logPath).path();
        model.log(QStringLiteral("Before the fault."));
        model.logFile().flush();
        const QByteArray written = readFile(logPath);
        QVERIFY(written.endsWith("  Before the fault.\n"));
        const int shown = model.logLines()->rowCount();

        Fault::arm({kind, logFolder, after});
        model.log(QStringLiteral("A line the disk has no room for, and a long one at that."));
        model.logFile().flush();
        QVERIFY(struck());
        QCOMPARE(model.logLines()->rowCount(), shown + 1);
        QCOMPARE(model.logLines()->lines().first().text, QStringLiteral("A line the disk has no room for, and a long one at that."));
        if (kind != Kind::vanish) // not a byte of the line went in: a torn line would be worse than none
            QCOMPARE(readFile(logPath), written);

        model.log(QStringLiteral("After the fault."));
        model.logFile().flush();
        QCOMPARE(model.logLines()->rowCount(), shown + 2);
        QVERIFY(readFile(logPath).endsWith("  After the fault.\n"));
        QVERIFY(!readFile(logPath).contains("no room"));
        QCOMPARE(leftovers(logFolder, QDir::Files), QStringList{"Burn Log.txt"});
    }

    // "Save Burn Log…": a copy of the log file at a place the user chose.
    void logCopy_data()
    {
        addRows();
        QTest::newRow("disk full") << int(Kind::diskFull) << qint64(20) << QStringLiteral("Couldn't save the log: ") + noSpace;
        QTest::newRow("permission denied") << int(Kind::denied) << qint64(0) << QStringLiteral("Couldn't save the log: ") + noAccess;
        QTest::newRow("folder vanishes") << int(Kind::vanish) << qint64(0) << QStringLiteral("Couldn't save the log: ") + noEntry;
        QTest::newRow("log file read error") << int(Kind::readError) << qint64(30) << QString();
    }

    void logCopy()
    {
        const auto [kind, after] = fault();
        QFETCH(QString, said);
        Rig rig(0);
        rig.model->log(QStringLiteral("First line."));
        rig.model->log(QStringLiteral("Second line, long enough to be read in more than one piece."));
        const QString logPath = rig.model->logFile().path();
        const QString out = rig.env.path(QStringLiteral("saved"));
        const Kept older = Kept::make(out + QStringLiteral("/Burn Log copy.txt"), "an older copy\n");
        const Kept nearby = Kept::make(out + QStringLiteral("/notes.txt"), "notes\n");
        rig.model->logFile().flush();
        const QByteArray logBefore = readFile(logPath);

        QSignalSpy saved(rig.model.get(), &AppModel::logCopySaved);
        rig.arm({kind, kind == Kind::readError ? logPath : out, after});
        rig.model->saveLogCopy(older.path);
        QVERIFY(saved.wait(10000));
        QVERIFY(struck());
        rig.model->logFile().flush();
        QCOMPARE(rig.leftBehind(kind, {nearby}), QString());
        if (said.isEmpty()) {
            // The file couldn't be read to its end: the copy is made of the lines in memory.
            QCOMPARE(saved.first().at(1).toBool(), true);
            QCOMPARE(readFile(older.path), rig.model->logLines()->chronologicalText().toUtf8());
        } else {
            QCOMPARE(saved.first().at(1).toBool(), false);
            QCOMPARE(rig.texts().last(), said);
            QCOMPARE(rig.lines(said), 1);
            QCOMPARE(rig.leftBehind(kind, {older}), QString());
        }
        QVERIFY(readFile(logPath).startsWith(logBefore));

        QVERIFY(QDir().mkpath(out));
        rig.model->saveLogCopy(older.path);
        QVERIFY(saved.wait(10000));
        QCOMPARE(saved.last().at(1).toBool(), true);
        QCOMPARE(readFile(older.path), readFile(logPath));
    }

    // A save onto a link goes to the file it points at; the link stays.
    void saveThroughALink_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("to a file") << true;
        QTest::newRow("dangling") << false;
    }

    void saveThroughALink()
    {
        QFETCH(bool, targetExists);
        TestEnv env;
        const QString real = env.path(QStringLiteral("elsewhere/sums.sha256"));
        const QString link = env.path(QStringLiteral("out/sums.sha256"));
        QVERIFY(QDir().mkpath(QFileInfo(real).path()) && QDir().mkpath(QFileInfo(link).path()));
        if (targetExists)
            Kept::make(real, "old\n");
        QVERIFY(QFile::link(real, link));

        QCOMPARE(SaveFile::replace(link, "new\n"), QString());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(real), QByteArray("new\n"));
        QCOMPARE(leftovers(env.path(QStringLiteral("elsewhere")), QDir::Files), QStringList{"sums.sha256"});
    }
};

QTEST_MAIN(TstWriteFaults)
#include "tst_writefaults.moc"
