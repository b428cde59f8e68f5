#pragma once
// What the burner services' burn tests feed a job and how they watch it: a
// track over a computed byte pattern, and a record of every status a job sent.

#include "platform/api/DiscService.h"
#include "platform/api/TrackProducer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstring>

inline char patternByte(quint64 offset, int seed)
{
    return char((offset * 7 + offset / 2048 + quint64(seed) * 31) & 0xff);
}

inline QByteArray patternBytes(quint64 bytes, int seed)
{
    QByteArray data(qsizetype(bytes), Qt::Uninitialized);
    for (quint64 i = 0; i < bytes; ++i)
        data[qsizetype(i)] = patternByte(i, seed);
    return data;
}

// 16-bit samples swapped to big-endian, as the raw audio files of cue and toc sheets hold them.
inline QByteArray swapped(QByteArray pcm)
{
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
        std::swap(pcm[i], pcm[i + 1]);
    return pcm;
}

// Produces the pattern and checks what the disc gives back against it. Its
// pre-gap is `gapByte`, so a test can tell the gap came from the producer.
// Counters are atomic: the services call producers on their own threads.
class PatternProducer final : public TrackProducer
{
public:
    PatternProducer(quint64 blocks, quint32 blockSize, int seed, char gapByte = 0, int delayMs = 0)
        : m_blocks(blocks), m_blockSize(blockSize), m_seed(seed), m_gapByte(gapByte), m_delayMs(delayMs) {}
    QByteArray data() const { return patternBytes(m_blocks * m_blockSize, m_seed); }

    bool failPrepare = false;
    bool badVerify = false; // verifyData answers "different" even for the right bytes
    std::atomic<int> prepared{0}, closed{0}, verifyCalls{0};
    std::atomic<quint64> produced{0}, verified{0};
    std::atomic<bool> onMainThread{false}, outOfOrder{false};

    quint64 estimateLength() override { return m_blocks; }
    bool prepareTrack() override
    {
        note();
        ++prepared;
        return !failPrepare;
    }
    quint32 producePreGap(char *buffer, quint32 length, quint64, quint32) override
    {
        note();
        std::memset(buffer, m_gapByte, length);
        return length;
    }
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        note();
        outOfOrder = outOfOrder || address != m_nextAddress;
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
    bool verifyPreGap(const char *buffer, quint32 length, quint64, quint32) override
    {
        note();
        return std::all_of(buffer, buffer + length, [this](char c) { return c == m_gapByte; });
    }
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        note();
        ++verifyCalls;
        for (quint32 i = 0; i < length; ++i) {
            if (buffer[i] != patternByte(address * blockSize + i, m_seed))
                return false;
        }
        verified += length;
        return !badVerify;
    }
    bool cleanupTrackAfterVerification() override
    {
        note();
        ++closed;
        return true;
    }

private:
    void note()
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            onMainThread = true;
    }

    quint64 m_blocks;
    quint32 m_blockSize;
    int m_seed;
    char m_gapByte;
    int m_delayMs;
    quint64 m_nextAddress = 0;
};

inline BurnTrack dataTrack(const std::shared_ptr<TrackProducer> &p, quint64 blocks)
{
    return {BurnTrack::Kind::data, p, blocks, 2048, 0, {}};
}

// Keeps the disc in the tray afterwards.
inline BurnProperties keepDisc()
{
    BurnProperties p;
    p.completion = CompletionAction::mount;
    return p;
}

// Everything a job emitted, and whether it kept to its rules on the way:
// statuses on the main thread, one final status and nothing after it.
struct JobWatch
{
    explicit JobWatch(DiscJob *job)
    {
        QObject::connect(job, &DiscJob::statusChanged, job, [this](const JobStatus &s) {
            offMainThread = offMainThread || QThread::currentThread() != QCoreApplication::instance()->thread();
            afterFinal = afterFinal || finals > 0;
            finals += s.state == DiscJobState::done || s.state == DiscJobState::failed;
            statuses.append(s);
        });
    }
    // Waits for the final status, then a little more for anything after it;
    // true when the job ended exactly once and kept to the rules.
    bool endsOnce(int timeout = 10000, int settle = 50)
    {
        QElapsedTimer t;
        t.start();
        while (finals == 0 && t.elapsed() < timeout)
            QTest::qWait(5);
        QTest::qWait(settle);
        return finals == 1 && !afterFinal && !offMainThread;
    }
    bool saw(DiscJobState state) const
    {
        return std::any_of(statuses.begin(), statuses.end(), [state](const JobStatus &s) { return s.state == state; });
    }
    // The states in order, repeats folded.
    QStringList states() const
    {
        static const char *const names[] = {"none",         "preparing", "sessionOpen", "trackOpen",
                                            "trackWrite",   "trackClose", "sessionClose", "finishing",
                                            "verifying",    "erasing",   "done",        "failed"};
        QStringList out;
        for (const JobStatus &s : statuses) {
            const QString name = QLatin1String(names[int(s.state)]);
            if (out.isEmpty() || out.last() != name)
                out.append(name);
        }
        return out;
    }
    JobStatus last() const { return statuses.isEmpty() ? JobStatus{} : statuses.last(); }

    QList<JobStatus> statuses;
    bool offMainThread = false;
    bool afterFinal = false;
    int finals = 0;
};
