// Virtual burners writing for real: the files a burn leaves, the statuses it
// sends, how it ends when something goes wrong, erasing and the tray.

#include "TestEnv.h"
#include "audio/CDAudioProducer.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cstring>

namespace {

char patternByte(quint64 offset, int seed)
{
    return char((offset * 7 + quint64(seed) + (offset >> 11)) & 0xff);
}

// A track over a computed byte pattern; the pre-gap is `gapByte` so the
// test can tell it came from the producer.
class PatternProducer final : public TrackProducer
{
public:
    PatternProducer(quint64 blocks, quint32 blockSize, int seed, char gapByte = 0)
        : m_blocks(blocks), m_blockSize(blockSize), m_seed(seed), m_gapByte(gapByte)
    {
    }
    QByteArray data() const
    {
        QByteArray bytes(qsizetype(m_blocks * m_blockSize), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = patternByte(quint64(i), m_seed);
        return bytes;
    }

    bool failPrepare = false;
    bool badVerify = false; // verifyData answers "different"
    int dataCalls = 0;
    int verifyCalls = 0;

    quint64 estimateLength() override { return m_blocks; }
    bool prepareTrack() override { return !failPrepare; }
    quint32 producePreGap(char *buffer, quint32 length, quint64, quint32) override
    {
        std::memset(buffer, m_gapByte, length);
        return length;
    }
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        ++dataCalls;
        for (quint32 i = 0; i < length; ++i)
            buffer[i] = patternByte(address * blockSize + i, m_seed);
        return length;
    }
    void cleanupTrackAfterBurn() override {}
    bool prepareTrackForVerification() override { return true; }
    bool verifyPreGap(const char *buffer, quint32 length, quint64, quint32) override
    {
        return std::all_of(buffer, buffer + length, [this](char c) { return c == m_gapByte; });
    }
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        ++verifyCalls;
        for (quint32 i = 0; i < length; ++i) {
            if (buffer[i] != patternByte(address * blockSize + i, m_seed))
                return false;
        }
        return !badVerify;
    }
    bool cleanupTrackAfterVerification() override { return true; }

private:
    quint64 m_blocks;
    quint32 m_blockSize;
    int m_seed;
    char m_gapByte;
};

QString stateName(DiscJobState s)
{
    switch (s) {
    case DiscJobState::none: return "none";
    case DiscJobState::preparing: return "preparing";
    case DiscJobState::sessionOpen: return "sessionOpen";
    case DiscJobState::trackOpen: return "trackOpen";
    case DiscJobState::trackWrite: return "trackWrite";
    case DiscJobState::trackClose: return "trackClose";
    case DiscJobState::sessionClose: return "sessionClose";
    case DiscJobState::finishing: return "finishing";
    case DiscJobState::verifying: return "verifying";
    case DiscJobState::erasing: return "erasing";
    case DiscJobState::done: return "done";
    case DiscJobState::failed: return "failed";
    }
    return {};
}

// Everything a job emitted, on the thread it was emitted on.
struct Recorder
{
    explicit Recorder(DiscJob *job)
    {
        QObject::connect(job, &DiscJob::statusChanged, job, [this](const JobStatus &s) {
            statuses.append(s);
            offMainThread += QThread::currentThread() != qApp->thread();
        });
    }
    int finals() const
    {
        return int(std::count_if(statuses.begin(), statuses.end(), [](const JobStatus &s) {
            return s.state == DiscJobState::done || s.state == DiscJobState::failed;
        }));
    }
    // The states in order, repeats folded.
    QStringList states() const
    {
        QStringList names;
        for (const JobStatus &s : statuses) {
            if (names.isEmpty() || names.last() != stateName(s.state))
                names.append(stateName(s.state));
        }
        return names;
    }
    JobStatus last() const { return statuses.isEmpty() ? JobStatus{} : statuses.last(); }

    QList<JobStatus> statuses;
    int offMainThread = 0;
};

// Waits for the final status, then a little more to catch anything after it.
bool ends(const Recorder &r, int timeout = 10000)
{
    QElapsedTimer t;
    t.start();
    while (r.finals() == 0 && t.elapsed() < timeout)
        QTest::qWait(5);
    QTest::qWait(50);
    return r.finals() == 1 && (r.last().state == DiscJobState::done || r.last().state == DiscJobState::failed);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

BurnTrack dataTrack(const std::shared_ptr<TrackProducer> &p, quint64 blocks, quint32 blockSize = 2048)
{
    return {BurnTrack::Kind::data, p, blocks, blockSize, 0};
}

BurnProperties keepDisc()
{
    BurnProperties p;
    p.completion = CompletionAction::mount;
    return p;
}

} // namespace

class TestVirtualBurning : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Three audio tracks through the real CD audio producer.
    void audioBurn_data()
    {
        QTest::addColumn<QList<qint64>>("sizes"); // bytes of each track's file
        QTest::addColumn<int>("gapSeconds");
        QTest::addColumn<bool>("withText");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QString>("cue");
        // 10 whole sectors, 3 sectors and 100 bytes, 1 sector.
        const QList<qint64> small{10 * 2352, 3 * 2352 + 100, 2352};
        QTest::newRow("2 s gaps, CD-Text, verified") << small << 2 << true << true
            << "TITLE \"Album 'Q'\"\n"
               "PERFORMER \"Band\"\n"
               "FILE \"Disc 001.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n"
               "    TITLE \"One\"\n"
               "    PERFORMER \"Band\"\n"
               "    INDEX 00 00:00:00\n"
               "    INDEX 01 00:02:00\n"
               "  TRACK 02 AUDIO\n"
               "    TITLE \"Two ?\"\n"
               "    INDEX 00 00:02:10\n"
               "    INDEX 01 00:04:10\n"
               "  TRACK 03 AUDIO\n"
               "    TITLE \"Trois é\"\n"
               "    PERFORMER \"Band\"\n"
               "    INDEX 00 00:04:14\n"
               "    INDEX 01 00:06:14\n";
        QTest::newRow("no gaps, no CD-Text") << small << 0 << false << false
            << "FILE \"Disc 001.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n"
               "    INDEX 00 00:00:00\n"
               "    INDEX 01 00:02:00\n"
               "  TRACK 02 AUDIO\n"
               "    INDEX 01 00:02:10\n"
               "  TRACK 03 AUDIO\n"
               "    INDEX 01 00:02:14\n";
        QTest::newRow("1 s gaps") << small << 1 << false << false
            << "FILE \"Disc 001.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n"
               "    INDEX 00 00:00:00\n"
               "    INDEX 01 00:02:00\n"
               "  TRACK 02 AUDIO\n"
               "    INDEX 00 00:02:10\n"
               "    INDEX 01 00:03:10\n"
               "  TRACK 03 AUDIO\n"
               "    INDEX 00 00:03:14\n"
               "    INDEX 01 00:04:14\n";
        QTest::newRow("past a minute") << QList<qint64>{4600 * 2352 - 1, 2352, 2352} << 0 << false << false
            << "FILE \"Disc 001.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n"
               "    INDEX 00 00:00:00\n"
               "    INDEX 01 00:02:00\n"
               "  TRACK 02 AUDIO\n"
               "    INDEX 01 01:03:25\n"
               "  TRACK 03 AUDIO\n"
               "    INDEX 01 01:03:26\n";
    }
    void audioBurn()
    {
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, gapSeconds);
        QFETCH(bool, withText);
        QFETCH(bool, verify);
        QFETCH(QString, cue);
        TestEnv env;
        BurnLayout layout;
        QByteArray expected;
        for (int i = 0; i < sizes.size(); ++i) {
            const QString file = env.path(QString("track%1.cdda").arg(i));
            QVERIFY(TestEnv::writePattern(file, sizes[i]));
            auto producer = std::make_shared<CDAudioProducer>(file);
            const quint32 gap = CDAudioProducer::preGapFrames(i, gapSeconds);
            layout.tracks.append({BurnTrack::Kind::audio, producer, producer->frames(), 2352, gap});
            QByteArray track = readAll(file);
            track.append(QByteArray(qsizetype(producer->frames() * 2352) - track.size(), '\0'));
            expected += QByteArray(qsizetype(gap) * 2352, '\0') + track;
        }
        BurnProperties properties = keepDisc();
        properties.verify = verify;
        if (withText) {
            CDText text;
            text.discTitle = "Album \"Q\"";
            text.discPerformer = "Band";
            text.trackTitles = {"One", QString("Two ") + QChar(0x263A), QString("Trois ") + QChar(0xe9)};
            text.trackPerformers = {"Band", "", "Band"};
            properties.cdText = text;
        }

        VirtualDiscService service(1);
        service.setUnthrottled(true);
        auto job = service.burn(service.devices().first(), properties, layout);
        QVERIFY(job);
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().errorText, QString());
        QCOMPARE(r.last().state, DiscJobState::done);
        QCOMPARE(r.offMainThread, 0);

        QStringList states{"preparing", "sessionOpen"};
        for (int i = 0; i < 3; ++i)
            states << "trackOpen" << "trackWrite" << "trackClose";
        states << "sessionClose" << "finishing";
        if (verify)
            states << "verifying";
        states << "done";
        QCOMPARE(r.states(), states);
        QList<int> opened;
        for (const JobStatus &s : r.statuses) {
            QVERIFY(s.percent <= 1.0);
            if (s.state == DiscJobState::trackOpen)
                opened.append(s.currentTrack);
        }
        QCOMPARE(opened, (QList<int>{1, 2, 3}));

        const QString folder = service.outputFolder(1);
        QCOMPARE(filesIn(folder), (QStringList{"Disc 001.bin", "Disc 001.cue"}));
        QCOMPARE(readAll(folder + "/Disc 001.bin"), expected);
        QCOMPARE(QString::fromUtf8(readAll(folder + "/Disc 001.cue")), cue);
    }

    // The pre-gap goes to the .bin exactly as the producer made it.
    void preGapAsProduced()
    {
        TestEnv env;
        auto first = std::make_shared<PatternProducer>(4, 2352, 1, char(0x5a));
        auto second = std::make_shared<PatternProducer>(2, 2352, 2, char(0x11));
        BurnLayout layout;
        layout.tracks = {{BurnTrack::Kind::audio, first, 4, 2352, 3}, {BurnTrack::Kind::audio, second, 2, 2352, 1}};
        VirtualDiscService service(1);
        service.setUnthrottled(true);
        BurnProperties properties = keepDisc();
        properties.verify = true;
        auto job = service.burn(service.devices().first(), properties, layout);
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::done);
        const QByteArray expected = QByteArray(3 * 2352, char(0x5a)) + first->data() + QByteArray(2352, char(0x11))
            + second->data();
        QCOMPARE(readAll(service.outputFolder(1) + "/Disc 001.bin"), expected);
        QVERIFY(first->verifyCalls > 0);
        QVERIFY(second->verifyCalls > 0);
    }

    void dataBurn_data()
    {
        QTest::addColumn<VirtualDiscService::Medium>("medium");
        QTest::addColumn<qint64>("blocks");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("eject");
        QTest::addColumn<bool>("erasable");
        QTest::newRow("one block on a CD-R") << VirtualDiscService::CDR << qint64(1) << false << false << false;
        QTest::newRow("several producer calls, verified")
            << VirtualDiscService::DVDR << qint64(1300) << true << false << false;
        QTest::newRow("DVD+RW stays erasable") << VirtualDiscService::DVDPlusRW << qint64(70) << true << false << true;
        QTest::newRow("ejected afterwards") << VirtualDiscService::BDR << qint64(5) << false << true << false;
    }
    void dataBurn()
    {
        QFETCH(VirtualDiscService::Medium, medium);
        QFETCH(qint64, blocks);
        QFETCH(bool, verify);
        QFETCH(bool, eject);
        QFETCH(bool, erasable);
        TestEnv env;
        VirtualDiscService service(1);
        service.setUnthrottled(true);
        service.setMedium(1, medium);
        QSignalSpy trays(&service, &DiscService::deviceStatusChanged);
        QVERIFY(trays.wait(1000));
        auto producer = std::make_shared<PatternProducer>(blocks, 2048, 9);
        BurnLayout layout;
        layout.tracks = {dataTrack(producer, quint64(blocks))};
        BurnProperties properties;
        properties.verify = verify;
        properties.completion = eject ? CompletionAction::eject : CompletionAction::mount;
        auto job = service.burn(service.devices().first(), properties, layout);
        QVERIFY(job);
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::done);
        QCOMPARE(r.states().contains("verifying"), verify);

        const QString folder = service.outputFolder(1);
        QCOMPARE(filesIn(folder), QStringList{"Disc 001.iso"});
        QCOMPARE(readAll(folder + "/Disc 001.iso"), producer->data());

        // The tray changed before the job said done; the news followed.
        const DeviceStatus tray = *service.devices().first()->status();
        QCOMPARE(trays.count(), 2);
        if (eject) {
            QCOMPARE(tray.mediaState, MediaState::none);
        } else {
            QCOMPARE(tray.mediaState, MediaState::present);
            QVERIFY(!tray.blank);
            QCOMPARE(tray.erasable, erasable);
            QCOMPARE(tray.blocksFree.value_or(-1), 0);
        }
        // A written disc takes no second burn.
        auto again = service.burn(service.devices().first(), properties, layout);
        Recorder second(again.get());
        QVERIFY(ends(second));
        QCOMPARE(second.last().state, DiscJobState::failed);
        QCOMPARE(filesIn(folder), QStringList{"Disc 001.iso"});
    }

    // The next free number; what is already there is never touched.
    void numbering_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("written");
        QTest::newRow("empty folder") << QStringList{} << "Disc 001.iso";
        QTest::newRow("after an image") << QStringList{"Disc 001.iso"} << "Disc 002.iso";
        QTest::newRow("after an audio disc") << QStringList{"Disc 001.cue", "Disc 002.bin"} << "Disc 003.iso";
        QTest::newRow("leftover partial file") << QStringList{"Disc 001.bin.partial"} << "Disc 002.iso";
        QTest::newRow("a hole is filled") << QStringList{"Disc 002.iso", "notes.txt"} << "Disc 001.iso";
    }
    void numbering()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, written);
        TestEnv env;
        VirtualDiscService service(1);
        service.setUnthrottled(true);
        const QString folder = service.outputFolder(1);
        for (const QString &name : existing) {
            QFile f(folder + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name.toUtf8());
        }
        auto producer = std::make_shared<PatternProducer>(3, 2048, 4);
        auto job = service.burn(service.devices().first(), keepDisc(), {{dataTrack(producer, 3)}, {}});
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::done);
        QStringList expected = existing;
        expected.append(written);
        expected.sort();
        QCOMPARE(filesIn(folder), expected);
        QCOMPARE(readAll(folder + "/" + written), producer->data());
        for (const QString &name : existing)
            QCOMPARE(readAll(folder + "/" + name), name.toUtf8());
    }

    void testBurnWritesNothing_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::newRow("audio") << true;
        QTest::newRow("data") << false;
    }
    void testBurnWritesNothing()
    {
        QFETCH(bool, audio);
        TestEnv env;
        VirtualDiscService service(1);
        service.setUnthrottled(true);
        const QString folder = service.outputFolder(1);
        auto producer = std::make_shared<PatternProducer>(40, audio ? 2352 : 2048, 3);
        BurnLayout layout;
        layout.tracks = {{audio ? BurnTrack::Kind::audio : BurnTrack::Kind::data, producer, 40, audio ? 2352u : 2048u,
                          audio ? 150u : 0u}};
        BurnProperties properties;
        properties.test = true;
        properties.verify = true;
        auto job = service.burn(service.devices().first(), properties, layout);
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::done);
        QVERIFY(r.states().contains("trackWrite"));
        QVERIFY(!r.states().contains("verifying"));
        QVERIFY(producer->dataCalls > 0);
        QCOMPARE(filesIn(folder), QStringList{});
        // The blank stays in the tray, untouched.
        QCOMPARE(*service.devices().first()->status(), VirtualDiscService::blankStatus(VirtualDiscService::CDR));
    }

    // Every way a burn can end badly: one final failed status with a reason,
    // nothing left in the folder, and the burner free again.
    void failures_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("error");
        QTest::newRow("verify mismatch") << "badVerify" << "The disc didn't match what was written (track 2).";
        QTest::newRow("stopped") << "abort" << "The burn was stopped.";
        QTest::newRow("unplugged") << "unplug" << "The burner was unplugged.";
        QTest::newRow("write error half-way") << "failAt" << "The burner reported a write error at 50 %.";
        QTest::newRow("write error at once") << "failAtStart" << "The burner reported a write error at 0 %.";
        QTest::newRow("disc too small") << "tooBig" << "The disc is too small: this burn needs 360150 blocks and the disc has 360000 free.";
        QTest::newRow("no disc") << "noDisc" << "There's no disc in the burner.";
        QTest::newRow("audio on a DVD") << "dvd" << "Audio tracks need a CD. Insert a blank CD-R.";
        QTest::newRow("track can't be read") << "prepare" << "Couldn't read track 2.";
    }
    void failures()
    {
        QFETCH(QString, how);
        QFETCH(QString, error);
        TestEnv env;
        VirtualDiscService service(1);
        const bool midway = how == "abort" || how == "unplug";
        // Stops need a burn still running: keep it to 4x, 1 s of sectors.
        service.setUnthrottled(!midway);
        const DiscDeviceRef burner = service.devices().first();
        const QString folder = service.outputFolder(1);
        if (how == "noDisc")
            service.setMedium(1, VirtualDiscService::NoDisc);
        if (how == "dvd")
            service.setMedium(1, VirtualDiscService::DVDR);
        if (how == "failAt")
            QVERIFY(service.failNextBurnAt(1, 0.5));
        if (how == "failAtStart")
            QVERIFY(service.failNextBurnAt(1, 0));

        QList<std::shared_ptr<PatternProducer>> producers;
        BurnLayout layout;
        const quint64 blocks = how == "tooBig" ? 120'000 : midway ? 100 : 40;
        for (int i = 0; i < 3; ++i) {
            producers.append(std::make_shared<PatternProducer>(blocks, 2352, i));
            layout.tracks.append({BurnTrack::Kind::audio, producers.last(), blocks, 2352, i == 0 ? 150u : 0u});
        }
        producers[1]->badVerify = how == "badVerify";
        producers[1]->failPrepare = how == "prepare";
        BurnProperties properties = keepDisc();
        properties.verify = true;
        properties.requestedSpeed = 4 * DRUnits::cd1x;

        QSignalSpy devices(&service, &DiscService::devicesChanged);
        auto job = service.burn(burner, properties, layout);
        QVERIFY(job);
        Recorder r(job.get());
        if (midway) {
            QTRY_VERIFY(!r.statuses.isEmpty() && r.last().state == DiscJobState::trackWrite && r.last().percent > 0.05);
            QCOMPARE(r.last().speed, 4 * DRUnits::cd1x);
            if (how == "abort")
                job->abort();
            else
                QVERIFY(service.unplugBurner(1));
        }
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::failed);
        QCOMPARE(r.last().errorText, error);
        QCOMPARE(filesIn(folder), QStringList{});
        if (how == "failAt")
            QCOMPARE(r.last().percent, 0.5);
        if (how == "unplug") {
            QCOMPARE(devices.count(), 1);
            QVERIFY(service.devices().isEmpty());
            return;
        }
        // Nothing was burned. A stopped burn has spoilt its disc, as on a
        // real drive; otherwise the tray is as it was. Either way the burner
        // takes the next job (without the write error, which was for one burn).
        QVERIFY(!service.isBusy(1));
        QCOMPARE(burner->status()->blank, how != "noDisc" && how != "abort");
        if (how == "failAt" || how == "abort") {
            if (how == "abort")
                QVERIFY(service.insertBlank(1));
            service.setUnthrottled(true);
            auto next = service.burn(burner, keepDisc(), {{dataTrack(producers[0], 4)}, {}});
            Recorder again(next.get());
            QVERIFY(ends(again));
            QCOMPARE(again.last().state, DiscJobState::done);
        }
    }

    // Dropping a running job stops it; its files go, nothing is emitted.
    void destroyedJobStops()
    {
        TestEnv env;
        VirtualDiscService service(1);
        auto producer = std::make_shared<PatternProducer>(300, 2048, 1);
        BurnProperties properties = keepDisc();
        properties.requestedSpeed = 4 * DRUnits::cd1x;
        auto job = service.burn(service.devices().first(), properties, {{dataTrack(producer, 300)}, {}});
        QVERIFY(job);
        QTRY_VERIFY(producer->dataCalls > 2);
        QVERIFY(service.isBusy(1));
        job.reset();
        QTRY_VERIFY(!service.isBusy(1));
        QCOMPARE(filesIn(service.outputFolder(1)), QStringList{});
        QVERIFY(service.devices().first()->status()->blank);
    }

    // Jobs the service won't start at all.
    void refused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cue sheet") << "cue";
        QTest::newRow("no tracks") << "empty";
        QTest::newRow("audio and data") << "mixed";
        QTest::newRow("two data tracks") << "twoData";
        QTest::newRow("burner busy") << "busy";
        QTest::newRow("burner unplugged") << "unplugged";
    }
    void refused()
    {
        QFETCH(QString, how);
        TestEnv env;
        VirtualDiscService service(1);
        const DiscDeviceRef burner = service.devices().first();
        auto producer = std::make_shared<PatternProducer>(600, 2048, 1);
        BurnLayout layout;
        if (how == "cue")
            layout.cueSheet = env.path("disc.cue");
        if (how == "mixed" || how == "twoData")
            layout.tracks = {dataTrack(producer, 8), dataTrack(producer, 8)};
        if (how == "mixed")
            layout.tracks[0].kind = BurnTrack::Kind::audio;
        std::unique_ptr<DiscJob> first;
        if (how == "busy" || how == "unplugged") {
            layout.tracks = {dataTrack(producer, 600)};
            BurnProperties slow;
            slow.requestedSpeed = 4 * DRUnits::cd1x;
            first = service.burn(burner, slow, layout);
            QVERIFY(first);
            if (how == "unplugged")
                service.unplugBurner(1);
        }
        QVERIFY(!service.burn(burner, BurnProperties(), layout));
    }

    void speed_data()
    {
        QTest::addColumn<VirtualDiscService::Medium>("medium");
        QTest::addColumn<double>("requested");
        QTest::addColumn<double>("reported");
        QTest::newRow("top speed for 0") << VirtualDiscService::CDR << 0.0 << 48 * DRUnits::cd1x;
        QTest::newRow("between two speeds") << VirtualDiscService::CDR << 10 * DRUnits::cd1x << 8 * DRUnits::cd1x;
        QTest::newRow("below the slowest") << VirtualDiscService::CDR << DRUnits::cd1x << 4 * DRUnits::cd1x;
        QTest::newRow("above the top") << VirtualDiscService::DVDR << 50 * DRUnits::dvd1x << 16 * DRUnits::dvd1x;
    }
    void speed()
    {
        QFETCH(VirtualDiscService::Medium, medium);
        QFETCH(double, requested);
        QFETCH(double, reported);
        TestEnv env;
        VirtualDiscService service(1);
        service.setMedium(1, medium);
        auto producer = std::make_shared<PatternProducer>(20, 2048, 1);
        BurnProperties properties = keepDisc();
        properties.requestedSpeed = requested;
        auto job = service.burn(service.devices().first(), properties, {{dataTrack(producer, 20)}, {}});
        Recorder r(job.get());
        QVERIFY(ends(r));
        QCOMPARE(r.last().state, DiscJobState::done);
        int writing = 0;
        for (const JobStatus &s : r.statuses) {
            if (s.state == DiscJobState::trackWrite) {
                ++writing;
                QCOMPARE(s.speed, reported);
            }
        }
        QVERIFY(writing > 0);
    }

    void erase_data()
    {
        QTest::addColumn<VirtualDiscService::Medium>("medium");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("error"); // empty: erased
        QTest::addColumn<bool>("unplug");   // half-way through
        QTest::newRow("written CD-RW, quick") << VirtualDiscService::CDRW << true << false << "" << false;
        QTest::newRow("written CD-RW, complete") << VirtualDiscService::CDRW << true << true << "" << false;
        QTest::newRow("blank DVD+RW") << VirtualDiscService::DVDPlusRW << false << false << "" << false;
        QTest::newRow("written BD-RE") << VirtualDiscService::BDRE << true << true << "" << false;
        QTest::newRow("CD-R") << VirtualDiscService::CDR << false << false << "This disc can't be erased." << false;
        QTest::newRow("no disc") << VirtualDiscService::NoDisc << false << false
                                 << "There's no disc in the burner." << false;
        QTest::newRow("unplugged while erasing") << VirtualDiscService::CDRW << false << false
                                                 << "The burner was unplugged." << true;
    }
    void erase()
    {
        QFETCH(VirtualDiscService::Medium, medium);
        QFETCH(bool, written);
        QFETCH(bool, complete);
        QFETCH(QString, error);
        QFETCH(bool, unplug);
        TestEnv env;
        VirtualDiscService service(1);
        // A quick erase in real time takes long enough to unplug during it.
        service.setUnthrottled(!unplug);
        service.setMedium(1, medium);
        const DiscDeviceRef burner = service.devices().first();
        if (written) {
            auto producer = std::make_shared<PatternProducer>(8, 2048, 1);
            auto job = service.burn(burner, keepDisc(), {{dataTrack(producer, 8)}, {}});
            Recorder r(job.get());
            QVERIFY(ends(r));
            QVERIFY(!burner->status()->blank);
        }
        const DeviceStatus before = *burner->status();
        QTest::qWait(10); // the news of the medium chosen above
        QSignalSpy trays(&service, &DiscService::deviceStatusChanged);
        auto job = service.erase(burner, complete ? EraseType::complete : EraseType::quick);
        QVERIFY(job);
        Recorder r(job.get());
        if (unplug) {
            QTRY_VERIFY(!r.statuses.isEmpty() && r.last().state == DiscJobState::erasing);
            job->abort(); // can't stop an erase
            QTest::qWait(20);
            QCOMPARE(r.finals(), 0);
            QVERIFY(service.unplugBurner(1));
        }
        QVERIFY(ends(r));
        QCOMPARE(r.last().errorText, error);
        if (unplug) {
            QCOMPARE(r.states(), (QStringList{"preparing", "erasing", "failed"}));
            return;
        }
        if (!error.isEmpty()) {
            QCOMPARE(r.states(), (QStringList{"failed"}));
            QCOMPARE(*burner->status(), before);
            return;
        }
        QCOMPARE(r.states(), (QStringList{"preparing", "erasing", "done"}));
        QCOMPARE(*burner->status(), VirtualDiscService::blankStatus(medium));
        QCOMPARE(trays.count(), 1);
        // Erasing takes the files of earlier discs nowhere.
        QCOMPARE(filesIn(service.outputFolder(1)).size(), written ? 1 : 0);
    }

    void autoInsert_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("byBurn"); // the eject at the end of a burn, else by hand
        QTest::newRow("after a burn") << 1 << true;
        QTest::newRow("after an eject by hand") << 1 << false;
        QTest::newRow("never") << 0 << true;
    }
    void autoInsert()
    {
        QFETCH(int, seconds);
        QFETCH(bool, byBurn);
        TestEnv env;
        VirtualDiscService service(1);
        service.setUnthrottled(true);
        service.setAutoInsertSeconds(seconds);
        service.setMedium(1, VirtualDiscService::DVDR);
        const DiscDeviceRef burner = service.devices().first();
        if (byBurn) {
            auto producer = std::make_shared<PatternProducer>(8, 2048, 1);
            auto job = service.burn(burner, BurnProperties(), {{dataTrack(producer, 8)}, {}});
            Recorder r(job.get());
            QVERIFY(ends(r));
            QCOMPARE(r.last().state, DiscJobState::done);
        } else {
            QVERIFY(service.eject(1));
        }
        QVERIFY(!service.hasDisc(1));
        QTest::qWait(10); // the news of the eject
        QSignalSpy trays(&service, &DiscService::deviceStatusChanged);
        if (seconds == 0) {
            QTest::qWait(1300);
            QVERIFY(!service.hasDisc(1));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(service.hasDisc(1), 3000);
        QCOMPARE(*burner->status(), VirtualDiscService::blankStatus(VirtualDiscService::DVDR));
        QTRY_COMPARE(trays.count(), 1);
    }

    void settings()
    {
        TestEnv env;
        auto settings = env.settings();
        settings->setValue("klvo.td.virtualUnthrottled", true);
        settings->setValue("klvo.td.virtualAutoInsert", 7);
        VirtualDiscService service(1);
        QVERIFY(!service.unthrottled());
        QCOMPARE(service.autoInsertSeconds(), 0);
        service.readSettings(*settings);
        QVERIFY(service.unthrottled());
        QCOMPARE(service.autoInsertSeconds(), 7);
    }
};

QTEST_MAIN(TestVirtualBurning)
#include "tst_virtualburning.moc"
