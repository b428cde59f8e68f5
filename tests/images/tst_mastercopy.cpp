#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/MasterCopy.h"

#include <cerrno>

namespace {

constexpr qint64 raw = CdReader::sectorBytes;

// A disc of three audio tracks whose sectors misbehave as a row says: the
// secure read's logic is what is tested here; the drives' own readers are
// tested against the emulated drive and the virtual burners.
class ScriptedCd : public CdReader
{
public:
    DiscSheet sheet;
    QByteArray bytes;
    qint64 failsOnce = -1;  // the first read covering this sector fails
    qint64 noisy = -1;      // this sector and the next differ on every read
    qint64 removedAt = -1;  // a read covering this sector finds the tray open
    int reads = 0;

    ScriptedCd()
    {
        sheet.catalog = QStringLiteral("4006381333931");
        // LBA 0 track 1, 100 track 2's 2 s pre-gap, 250 track 2, 350 track 3 (INDEX 02 at 390), 450 the end.
        for (int i = 0; i < 3; ++i) {
            SheetTrack t;
            t.start = (i * 100 + (i > 0 ? 150 : 0)) * raw;
            t.fileGap = i == 1 ? 150 : 0;
            t.length = 100;
            t.isrc = QStringLiteral("DEA12340000%1").arg(i + 1);
            sheet.tracks << t;
        }
        sheet.tracks[2].indexes = {40};
        bytes.resize(450 * raw);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 / 3);
    }
    DiscSheet contents() override { return sheet; }
    bool read(qint64 lba, int count, char *into) override
    {
        const auto covers = [&](qint64 s) { return s >= lba && s < lba + count; };
        if (removedAt >= 0 && covers(removedAt))
            throw TDError::readFailed(QStringLiteral("/dev/sr3"), lba * raw, ENOMEDIUM);
        if (failsOnce >= 0 && covers(std::exchange(failsOnce, -1)))
            return false;
        std::memcpy(into, bytes.constData() + lba * raw, size_t(count * raw));
        for (qint64 s : {noisy, noisy + 1})
            if (noisy >= 0 && covers(s))
                into[(s - lba) * raw + 9] = char(++reads);
        return true;
    }
};

} // namespace

class TstMasterCopy : public QObject
{
    Q_OBJECT

private slots:
    // The read, what it keeps and what it reports.
    void read()
    {
        // `unreadable`: the report; "-" when the read throws.
        const struct Row { const char *name; qint64 failsOnce, noisy, removedAt; QString unreadable; } rows[] = {
            {"clean", -1, -1, -1, {}},
            {"a chunk that fails once, read again sector by sector", 70, -1, -1, {}},
            {"two sectors that never agree, first second of track 2's pre-gap", -1, 160, -1, QStringLiteral("Track 2: 2 sectors couldn't be read, around 0:00.")},
            {"two sectors that never agree, 1 s into track 3", -1, 425, -1, QStringLiteral("Track 3: 2 sectors couldn't be read, around 0:01.")},
            {"the tray opened on the last chunk", -1, -1, 449, QStringLiteral("-")},
        };
        for (const Row &row : rows) {
            ScriptedCd disc;
            disc.failsOnce = row.failsOnce, disc.noisy = row.noisy, disc.removedAt = row.removedAt;
            const QString dir = m_env.path(QString::fromLatin1(row.name));
            QVERIFY(QDir().mkpath(dir));
            MasterCopy::Outcome outcome;
            const TDError error = thrown([&] { outcome = MasterCopy::read(disc, dir + "/Master.cue", {}, nullptr); });
            if (row.unreadable == QStringLiteral("-")) {
                QCOMPARE(error.kind(), TDError::Kind::readFailed);
                QCOMPARE(leftovers(dir), QStringList());
                continue;
            }
            QCOMPARE(error, thrown([] {}));
            QCOMPARE(MasterCopy::unreadableText(outcome.unreadable), row.unreadable);
            QCOMPARE(leftovers(dir), (QStringList{"Master.bin", "Master.cue"}));
            QByteArray expected = disc.bytes;
            if (row.noisy >= 0)
                expected.replace(row.noisy * raw, 2 * raw, QByteArray(2 * raw, '\0'));
            QCOMPARE(readFile(dir + "/Master.bin") == expected, true);
            // The cue gives back what the disc said of itself.
            const DiscSheet back = DiscSheet::read(dir + "/Master.cue");
            QCOMPARE(back, outcome.sheet);
        }
    }

    // A copy against its master: the first difference, or identical.
    void compare()
    {
        ScriptedCd master;
        const QString dir = m_env.path(QStringLiteral("master"));
        QVERIFY(QDir().mkpath(dir));
        const DiscSheet sheet = MasterCopy::read(master, dir + "/Master.cue", {}, nullptr).sheet;
        const struct Row { const char *name; std::function<void(ScriptedCd &)> change; QString text; } rows[] = {
            {"the same", [](ScriptedCd &) {}, QStringLiteral("identical to the master (3 tracks)")},
            {"a byte of track 3's last sector", [](ScriptedCd &c) { c.bytes[450 * raw - 1] ^= 1; }, QStringLiteral("Track 3 differs from the master around 0:01.")},
            {"a byte of track 2's pre-gap", [](ScriptedCd &c) { c.bytes[100 * raw] ^= 1; }, QStringLiteral("Track 2 differs from the master around 0:00.")},
            {"an ISRC", [](ScriptedCd &c) { c.sheet.tracks[1].isrc.clear(); }, QStringLiteral("differs from the master: track 2's ISRC differs.")},
            {"an index", [](ScriptedCd &c) { c.sheet.tracks[2].indexes = {41}; }, QStringLiteral("differs from the master: track 3's indexes differ.")},
            {"the catalogue number", [](ScriptedCd &c) { c.sheet.catalog.clear(); }, QStringLiteral("differs from the master: the catalogue number differs.")},
        };
        for (const Row &row : rows) {
            ScriptedCd copy;
            row.change(copy);
            const MasterCopy::Comparison c = MasterCopy::compare(copy, sheet, {}, nullptr);
            QCOMPARE(c.text, row.text);
            QCOMPARE(c.identical, row.text.startsWith(QLatin1String("identical")));
        }
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstMasterCopy)
#include "tst_mastercopy.moc"
