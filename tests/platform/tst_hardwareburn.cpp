// Burns and erases through the hardware service with real libburn, on stdio:
// pseudo-drives that write into files of a temporary folder.

#include "platform/linux/DriveFacts.h"
#include "platform/linux/HardwareDiscService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstring>

Q_DECLARE_METATYPE(EraseType)

namespace {

char patternByte(quint64 offset, int seed)
{
    return char((offset * 7 + offset / 2048 + quint64(seed) * 31) & 0xff);
}

QByteArray pattern(quint64 bytes, int seed)
{
    QByteArray data(qsizetype(bytes), Qt::Uninitialized);
    for (quint64 i = 0; i < bytes; ++i)
        data[qsizetype(i)] = patternByte(i, seed);
    return data;
}

// Produces a known pattern and checks what the disc gives back against it.
class PatternProducer final : public TrackProducer
{
public:
    PatternProducer(quint64 blocks, int seed, bool lies = false, int delayMs = 0)
        : m_blocks(blocks), m_seed(seed), m_lies(lies), m_delayMs(delayMs)
    {
    }

    quint64 estimateLength() override { return m_blocks; }
    bool prepareTrack() override
    {
        note();
        ++prepared;
        return true;
    }
    quint32 producePreGap(char *buffer, quint32 length, quint64, quint32) override
    {
        note();
        std::memset(buffer, 0, length);
        return length;
    }
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        note();
        if (address != m_nextAddress)
            outOfOrder = true;
        m_nextAddress = address + length / blockSize;
        for (quint32 i = 0; i < length; ++i)
            buffer[i] = patternByte(address * blockSize + i, m_seed);
        produced += length;
        if (m_delayMs > 0)
            QThread::msleep(m_delayMs);
        return length;
    }
    void cleanupTrackAfterBurn() override { note(); }
    bool prepareTrackForVerification() override
    {
        note();
        return true;
    }
    bool verifyPreGap(const char *, quint32, quint64, quint32) override
    {
        note();
        return true;
    }
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        note();
        for (quint32 i = 0; i < length; ++i) {
            if (buffer[i] != patternByte(address * blockSize + i, m_seed))
                return false;
        }
        verified += length;
        return !m_lies;
    }
    bool cleanupTrackAfterVerification() override
    {
        note();
        ++closed;
        return true;
    }

    std::atomic<int> prepared{0};
    std::atomic<int> closed{0};
    std::atomic<quint64> produced{0};
    std::atomic<quint64> verified{0};
    std::atomic<bool> onMainThread{false};
    std::atomic<bool> outOfOrder{false};

private:
    void note()
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            onMainThread = true;
    }

    quint64 m_blocks;
    int m_seed;
    bool m_lies;
    int m_delayMs;
    quint64 m_nextAddress = 0;
};

// Everything a job emitted, and whether it kept to the rules on the way.
struct Watch
{
    QList<JobStatus> statuses;
    bool offMainThread = false;
    int finals = 0;
    bool afterFinal = false;

    void attach(DiscJob *job)
    {
        QObject::connect(job, &DiscJob::statusChanged, job, [this](const JobStatus &s) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                offMainThread = true;
            if (finals > 0)
                afterFinal = true;
            if (s.state == DiscJobState::done || s.state == DiscJobState::failed)
                ++finals;
            statuses.append(s);
        });
    }
    bool sawState(DiscJobState state) const
    {
        return std::any_of(statuses.begin(), statuses.end(), [state](const JobStatus &s) { return s.state == state; });
    }
    bool ended() const { return finals > 0; }
    JobStatus last() const { return statuses.isEmpty() ? JobStatus{} : statuses.last(); }
};

DiscDeviceRef deviceFor(const HardwareDiscService &service, const QString &address)
{
    for (const DiscDeviceRef &device : service.devices()) {
        if (device->info().ioPath == address)
            return device;
    }
    return {};
}

BurnLayout dataLayout(const QList<std::shared_ptr<PatternProducer>> &producers, const QList<int> &blocks)
{
    BurnLayout layout;
    for (int i = 0; i < producers.size(); ++i) {
        BurnTrack track;
        track.kind = BurnTrack::Kind::data;
        track.producer = producers[i];
        track.lengthBlocks = quint64(blocks[i]);
        track.blockSize = 2048;
        layout.tracks.append(track);
    }
    return layout;
}

BurnProperties plainProperties()
{
    BurnProperties p;
    p.completion = CompletionAction::mount;
    return p;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestHardwareBurn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }

    void dataBurn_data()
    {
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<bool>("test");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<int>("lyingTrack"); // from 1; 0: none
        QTest::addColumn<QString>("error");  // empty: the burn ends done
        QTest::newRow("one track") << QList<int>{300} << false << false << 0 << QString();
        QTest::newRow("one track, odd length, verified") << QList<int>{301} << false << true << 0 << QString();
        QTest::newRow("mismatch in track 1")
            << QList<int>{120} << false << true << 1 << "The disc didn't match what was written (track 1).";
        // A file takes one track only; libburn says why.
        QTest::newRow("two tracks")
            << QList<int>{120, 60} << false << false << 0
            << "SAO: multi track capability lacking, TAO: multi track capability lacking";
        QTest::newRow("test burn") << QList<int>{300} << true << false << 0 << QString();
        QTest::newRow("test burn asked to verify") << QList<int>{300} << true << true << 1 << QString();
    }
    void dataBurn()
    {
        QFETCH(QList<int>, blocks);
        QFETCH(bool, test);
        QFETCH(bool, verify);
        QFETCH(int, lyingTrack);
        QFETCH(QString, error);

        const QString target = m_dir.filePath(QStringLiteral("%1.iso").arg(QTest::currentDataTag()));
        const QString address = QStringLiteral("stdio:") + target;
        HardwareDiscService service({address});
        const DiscDeviceRef device = deviceFor(service, address);
        QVERIFY(device);

        QList<std::shared_ptr<PatternProducer>> producers;
        QByteArray expected;
        for (int i = 0; i < blocks.size(); ++i) {
            producers.append(std::make_shared<PatternProducer>(blocks[i], i + 1, lyingTrack == i + 1));
            expected += pattern(quint64(blocks[i]) * 2048, i + 1);
        }
        BurnProperties properties = plainProperties();
        properties.test = test;
        properties.verify = verify;

        std::unique_ptr<DiscJob> job = service.burn(device, properties, dataLayout(producers, blocks));
        QVERIFY(job);
        Watch watch;
        watch.attach(job.get());
        QTRY_VERIFY_WITH_TIMEOUT(watch.ended(), 15000);
        QTest::qWait(300); // anything late would show up here
        QCOMPARE(watch.finals, 1);
        QVERIFY(!watch.afterFinal);
        QVERIFY(!watch.offMainThread);
        QCOMPARE(watch.last().errorText, error);
        QCOMPARE(watch.last().state, error.isEmpty() ? DiscJobState::done : DiscJobState::failed);
        QCOMPARE(watch.sawState(DiscJobState::verifying), verify && !test);

        if (test || (!error.isEmpty() && lyingTrack == 0)) {
            QVERIFY(fileBytes(target).isEmpty());
        } else {
            QVERIFY(fileBytes(target) == expected);
        }
        for (int i = 0; i < producers.size(); ++i) {
            const auto &p = producers[i];
            QVERIFY(!p->onMainThread);
            QVERIFY(!p->outOfOrder);
            QCOMPARE(p->prepared.load(), 1);
            QCOMPARE(p->closed.load(), 1);
            QCOMPARE(p->produced.load(), error.isEmpty() || lyingTrack > 0 ? quint64(blocks[i]) * 2048 : 0);
            if (verify && !test && lyingTrack == 0)
                QCOMPARE(p->verified.load(), quint64(blocks[i]) * 2048);
        }
    }

    // Stopping a burn half-way, by abort() or by dropping the job, ends it
    // once and leaves the drive free for the next burn.
    void stopMidBurn_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("abort") << false;
        QTest::newRow("destroy the job") << true;
    }
    void stopMidBurn()
    {
        QFETCH(bool, destroy);
        const QString target = m_dir.filePath(QStringLiteral("stop-%1.iso").arg(destroy));
        const QString address = QStringLiteral("stdio:") + target;
        HardwareDiscService service({address});
        const DiscDeviceRef device = deviceFor(service, address);
        QVERIFY(device);

        // 4000 blocks at 16 per call, 20 ms a call: five seconds of writing.
        auto slow = std::make_shared<PatternProducer>(4000, 3, false, 20);
        std::weak_ptr<PatternProducer> weakSlow = slow;
        std::unique_ptr<DiscJob> job = service.burn(device, plainProperties(), dataLayout({slow}, {4000}));
        QVERIFY(job);
        Watch watch;
        watch.attach(job.get());
        QTRY_VERIFY_WITH_TIMEOUT(watch.sawState(DiscJobState::trackWrite) && slow->produced > 0, 5000);
        // Another job can't take the drive meanwhile.
        QVERIFY(!service.burn(device, plainProperties(), dataLayout({slow}, {4000})));

        if (destroy) {
            job.reset();
        } else {
            job->abort();
            QTRY_VERIFY_WITH_TIMEOUT(watch.ended(), 5000);
            QTest::qWait(300);
            QCOMPARE(watch.finals, 1);
            QVERIFY(!watch.afterFinal);
            QCOMPARE(watch.last().state, DiscJobState::failed);
            QCOMPARE(watch.last().errorText, QStringLiteral("The burn was stopped."));
        }
        QVERIFY(slow->produced < 4000u * 2048u);
        slow.reset();
        // The service lets the producer go once its thread is done with it.
        QTRY_VERIFY_WITH_TIMEOUT(weakSlow.expired(), 5000);

        auto next = std::make_shared<PatternProducer>(100, 4);
        std::unique_ptr<DiscJob> again;
        QVERIFY(QTest::qWaitFor([&] {
            if (!again)
                again = service.burn(device, plainProperties(), dataLayout({next}, {100}));
            return again != nullptr;
        }, 5000));
        Watch second;
        second.attach(again.get());
        QTRY_VERIFY_WITH_TIMEOUT(second.ended(), 10000);
        QCOMPARE(second.last().state, DiscJobState::done);
        QVERIFY(fileBytes(target).left(100 * 2048) == pattern(100 * 2048, 4));
    }

    // libburn writes no audio into a file: the burn fails once, with its
    // reason, before the producer is asked for a block.
    void audioOnPseudoDriveFails()
    {
        const QString address = QStringLiteral("stdio:") + m_dir.filePath(QStringLiteral("audio.bin"));
        HardwareDiscService service({address});
        const DiscDeviceRef device = deviceFor(service, address);
        auto producer = std::make_shared<PatternProducer>(300, 5);
        BurnLayout layout;
        BurnTrack track;
        track.kind = BurnTrack::Kind::audio;
        track.producer = producer;
        track.lengthBlocks = 300;
        track.blockSize = 2352;
        track.preGapFrames = 150;
        layout.tracks = {track, track};
        layout.tracks[1].preGapFrames = 75;
        BurnProperties properties = plainProperties();
        properties.sao = true;
        properties.cdText = CDText{QStringLiteral("en"), QStringLiteral("Album"), QStringLiteral("Artist"),
                                   {QStringLiteral("One"), QStringLiteral("Two")}, {}};

        std::unique_ptr<DiscJob> job = service.burn(device, properties, layout);
        QVERIFY(job);
        Watch watch;
        watch.attach(job.get());
        QTRY_VERIFY_WITH_TIMEOUT(watch.ended(), 10000);
        QTest::qWait(200);
        QCOMPARE(watch.finals, 1);
        QCOMPARE(watch.last().state, DiscJobState::failed);
        QVERIFY2(watch.last().errorText.contains(QLatin1String("audio track prohibited")),
                 qPrintable(watch.last().errorText));
        QCOMPARE(producer->produced.load(), quint64(0));
        QCOMPARE(producer->closed.load(), 2); // one producer, two tracks
    }

    // libburn erases only real drives and write-only files: a pseudo-drive
    // over a regular file refuses, and says so once; abort() can't stop an
    // erase and changes nothing.
    void eraseOnPseudoDrive_data()
    {
        QTest::addColumn<EraseType>("type");
        QTest::newRow("quick") << EraseType::quick;
        QTest::newRow("complete") << EraseType::complete;
    }
    void eraseOnPseudoDrive()
    {
        QFETCH(EraseType, type);
        const QString target = m_dir.filePath(QStringLiteral("erase.iso"));
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pattern(8 * 2048, 6));
        f.close();
        const QString address = QStringLiteral("stdio:") + target;
        HardwareDiscService service({address});
        std::unique_ptr<DiscJob> job = service.erase(deviceFor(service, address), type);
        QVERIFY(job);
        Watch watch;
        watch.attach(job.get());
        job->abort();
        QTRY_VERIFY_WITH_TIMEOUT(watch.ended(), 10000);
        QTest::qWait(200);
        QCOMPARE(watch.finals, 1);
        QCOMPARE(watch.last().state, DiscJobState::failed);
        QVERIFY2(watch.last().errorText.contains(QLatin1String("unsuitable for blanking")),
                 qPrintable(watch.last().errorText));
        QVERIFY(fileBytes(target) == pattern(8 * 2048, 6));
    }

    void refusedJobs_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("foreign device") << "foreign";
        QTest::newRow("no tracks") << "empty";
        QTest::newRow("track without producer") << "noProducer";
    }
    void refusedJobs()
    {
        QFETCH(QString, what);
        const QString address = QStringLiteral("stdio:") + m_dir.filePath(QStringLiteral("refused.iso"));
        HardwareDiscService service({address});
        HardwareDiscService other({QStringLiteral("stdio:") + m_dir.filePath(QStringLiteral("other.iso"))});
        DiscDeviceRef device = deviceFor(service, address);
        BurnLayout layout = dataLayout({std::make_shared<PatternProducer>(10, 1)}, {10});
        if (what == QLatin1String("foreign"))
            device = other.devices().value(0);
        else if (what == QLatin1String("empty"))
            layout.tracks.clear();
        else
            layout.tracks[0].producer.reset();
        QVERIFY(!service.burn(device, plainProperties(), layout));
        if (what == QLatin1String("foreign"))
            QVERIFY(!service.erase(device, EraseType::quick));
    }

    // A cue sheet is burned by libburn's own reader, straight from its file.
    void cueSheetBurn()
    {
        const QByteArray image = pattern(150 * 2048, 7);
        QFile bin(m_dir.filePath(QStringLiteral("disc image.bin")));
        QVERIFY(bin.open(QIODevice::WriteOnly));
        bin.write(image);
        bin.close();
        QFile cue(m_dir.filePath(QStringLiteral("disc.cue")));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("FILE \"disc image.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
        cue.close();

        const QString target = m_dir.filePath(QStringLiteral("from-cue.iso"));
        const QString address = QStringLiteral("stdio:") + target;
        HardwareDiscService service({address});
        const std::optional<BurnLayout> layout = service.layoutForImageFile(cue.fileName());
        QVERIFY(layout);
        QCOMPARE(layout->cueSheet, QFileInfo(cue.fileName()).absoluteFilePath());
        QVERIFY(layout->tracks.isEmpty());

        std::unique_ptr<DiscJob> job = service.burn(deviceFor(service, address), plainProperties(), *layout);
        QVERIFY(job);
        Watch watch;
        watch.attach(job.get());
        QTRY_VERIFY_WITH_TIMEOUT(watch.ended(), 10000);
        QCOMPARE(watch.last().errorText, QString());
        QCOMPARE(watch.last().state, DiscJobState::done);
        QVERIFY(fileBytes(target) == image);
    }

    void layoutForImageFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("usable");
        QTest::newRow("cue") << "a.cue" << QByteArray("FILE t.bin BINARY\nTRACK 01 MODE1/2048\n") << true;
        QTest::newRow("upper-case suffix") << "b.CUE" << QByteArray("FILE t.bin BINARY\nTRACK 01 AUDIO\n") << true;
        QTest::newRow("missing file") << "c.cue" << QByteArray("FILE gone.bin BINARY\nTRACK 01 AUDIO\n") << false;
        QTest::newRow("not a cue") << "d.iso" << QByteArray("FILE t.bin BINARY\nTRACK 01 AUDIO\n") << false;
        QTest::newRow("toc file") << "e.toc" << QByteArray("CD_DA\nTRACK AUDIO\nFILE \"t.bin\" 0\n") << false;
    }
    void layoutForImageFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(bool, usable);
        QFile bin(m_dir.filePath(QStringLiteral("t.bin")));
        QVERIFY(bin.open(QIODevice::WriteOnly));
        bin.write(QByteArray(2048, 0));
        bin.close();
        QFile sheet(m_dir.filePath(name));
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write(text);
        sheet.close();
        HardwareDiscService service({});
        QCOMPARE(service.layoutForImageFile(sheet.fileName()).has_value(), usable);
    }

    void cueSheetFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("files"); // empty: not burnable
        QTest::newRow("data track") << "FILE \"a b.bin\" BINARY\r\nTRACK 01 MODE1/2048\r\nINDEX 01 00:00:00"
                                    << QStringList{"a b.bin"};
        QTest::newRow("audio, two files, lower case")
            << "file one.wav wave\n track 01 audio\nFILE two.bin MOTOROLA\n TRACK 02 AUDIO" << QStringList{"one.wav", "two.bin"};
        QTest::newRow("mixed audio and data")
            << "FILE a.bin BINARY\nTRACK 01 MODE1/2048\nTRACK 02 AUDIO" << QStringList{};
        QTest::newRow("raw data track") << "FILE a.bin BINARY\nTRACK 01 MODE2/2352" << QStringList{};
        QTest::newRow("mp3 file") << "FILE a.mp3 MP3\nTRACK 01 AUDIO" << QStringList{};
        QTest::newRow("track before file") << "TRACK 01 AUDIO\nFILE a.bin BINARY" << QStringList{};
        QTest::newRow("no track") << "FILE a.bin BINARY\n" << QStringList{};
        QTest::newRow("unclosed quote") << "FILE \"a.bin BINARY\nTRACK 01 AUDIO" << QStringList{};
    }
    void cueSheetFiles()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, files);
        const std::optional<QStringList> found = DriveFacts::cueSheetFiles(text);
        QCOMPARE(found.value_or(QStringList{}), files);
        QCOMPARE(found.has_value(), !files.isEmpty());
    }

    void cueSheetWithFilesIn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("relative, quoted") << "FILE \"a b.bin\" BINARY\nTRACK 01 AUDIO"
                                          << "FILE \"/discs/a b.bin\" BINARY\nTRACK 01 AUDIO";
        QTest::newRow("relative in a subfolder") << "  file sub/../x.wav WAVE" << "FILE \"/discs/x.wav\" WAVE";
        QTest::newRow("absolute stays") << "FILE /other/x.bin BINARY" << "FILE \"/other/x.bin\" BINARY";
        QTest::newRow("no file line") << "REM FILE x\nTITLE \"t\"" << "REM FILE x\nTITLE \"t\"";
    }
    void cueSheetWithFilesIn()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(DriveFacts::cueSheetWithFilesIn(text, QStringLiteral("/discs")), result);
    }

    void writePercent_data()
    {
        QTest::addColumn<QList<qint64>>("blocks");
        QTest::addColumn<int>("track");
        QTest::addColumn<qint64>("sector");
        QTest::addColumn<double>("percent");
        QTest::newRow("start") << QList<qint64>{100} << 0 << qint64(0) << 0.0;
        QTest::newRow("half of one track") << QList<qint64>{100} << 0 << qint64(50) << 0.5;
        QTest::newRow("into the second track") << QList<qint64>{300, 100} << 1 << qint64(50) << 0.875;
        QTest::newRow("sector past the track's end") << QList<qint64>{100, 100} << 0 << qint64(250) << 0.5;
        QTest::newRow("nothing to write") << QList<qint64>{} << 0 << qint64(0) << -1.0;
    }
    void writePercent()
    {
        QFETCH(QList<qint64>, blocks);
        QFETCH(int, track);
        QFETCH(qint64, sector);
        QFETCH(double, percent);
        QCOMPARE(DriveFacts::writePercent(blocks, track, sector), percent);
    }

    void cdTextLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("language");
        QTest::newRow("english") << "en" << 0x09;
        QTest::newRow("german, region given") << "de-AT" << 0x08;
        QTest::newRow("japanese") << "JA" << 0x69;
        QTest::newRow("unknown falls back to english") << "xx" << 0x09;
    }
    void cdTextLanguage()
    {
        QFETCH(QString, code);
        QFETCH(int, language);
        QCOMPARE(DriveFacts::cdTextLanguage(code), language);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestHardwareBurn)
#include "tst_hardwareburn.moc"
