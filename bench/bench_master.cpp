// Copying a master CD onto two burners, as the Copy card does it: the master
// read securely into a BIN/CUE in the cache (every chunk read twice), then
// that cue burned on the two other decks at their top speed, each copy
// compared with the master track by track once burned.
//
// The burners are either three virtual ones (the master inserted in the
// first; "fast": unthrottled, "paced": at the top CD speed a virtual burner
// offers), or the devices named, through the hardware service (bench/run
// preloads the emulated drive and writes the master onto the first).
//
// Prints read= and burn= in seconds, each from its jobs' start to their end
// (the burns: the first start to the last end, comparisons included), then
// the comparison lines of the burn log. Exits 1 when anything failed.
//
// usage: bench_master WORKDIR MASTER.cue fast|paced|DEVICE...

#include "BenchWait.h"
#include "app/AppModel.h"
#include "app/CopyDiscModel.h"
#include "drives/Deck.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/virtual/VirtualDiscService.h"
#include "queue/JobQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

bool allEnded(JobQueue *queue, const QList<QUuid> &ids)
{
    return std::all_of(ids.begin(), ids.end(), [queue](const QUuid &id) {
        const std::optional<QJob> job = queue->job(id);
        return !job || job->finished();
    });
}

// Seconds from the first job's start to the last one's end; -1 when one never ran.
double span(JobQueue *queue, const QList<QUuid> &ids)
{
    QDateTime first, last;
    for (const QUuid &id : ids) {
        const std::optional<QJob> job = queue->job(id);
        if (!job || !job->startedAt || !job->endedAt)
            return -1;
        if (!first.isValid() || *job->startedAt < first)
            first = *job->startedAt;
        if (!last.isValid() || *job->endedAt > last)
            last = *job->endedAt;
    }
    return first.msecsTo(last) / 1000.0;
}

// Prints why each job that didn't end done ended; true when all did.
bool reportFailures(JobQueue *queue, const QList<QUuid> &ids)
{
    bool ok = true;
    for (const QUuid &id : ids) {
        const std::optional<QJob> job = queue->job(id);
        if (job && job->state == JobState::done)
            continue;
        ok = false;
        std::fprintf(stderr, "%s: %s\n", job ? qPrintable(job->title) : "a job", job ? qPrintable(job->detail) : "gone");
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_master WORKDIR MASTER.cue fast|paced|DEVICE...\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    const QString master = QString::fromLocal8Bit(argv[2]);
    for (const char *var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(work + QLatin1Char('/') + QString::fromLatin1(var).toLower()));
    QCoreApplication app(argc, argv);

    const QString mode = QString::fromLocal8Bit(argv[3]);
    std::unique_ptr<DiscService> burners;
    if (mode == QLatin1String("fast") || mode == QLatin1String("paced")) {
        auto virtuals = std::make_unique<VirtualDiscService>(3);
        virtuals->setUnthrottled(mode == QLatin1String("fast"));
        if (const QString refusal = virtuals->insertImage(1, master); !refusal.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(refusal));
            return 1;
        }
        burners = std::move(virtuals);
    } else {
        QStringList addresses;
        for (int i = 3; i < argc; ++i)
            addresses.append(QString::fromLocal8Bit(argv[i]));
        burners = std::make_unique<HardwareDiscService>(addresses);
    }
    QSettings settings(work + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    AppModel model({&settings, true, work + QStringLiteral("/log.txt"), burners.get()});
    model.setMode(BurnMode::independent);
    JobQueue *queue = model.queue();

    // The deck holding the master and the first two holding a blank.
    Deck *source = nullptr;
    QList<Deck *> targets;
    const bool ready = waitFor([&] {
        source = nullptr;
        targets.clear();
        for (Deck *deck : model.decks()) {
            const std::optional<DriveSnapshot> &s = deck->snapshot();
            if (!s)
                continue;
            if (s->audioTracks > 0 && !source)
                source = deck;
            else if (s->blank && targets.size() < 2)
                targets.append(deck);
        }
        return source && targets.size() == 2;
    }, 60000);
    if (!ready) {
        for (Deck *deck : model.decks())
            if (deck->hasDrive())
                std::fprintf(stderr, "deck %s: %s, %s\n", qPrintable(deck->letter()), qPrintable(deck->mediaText()),
                             qPrintable(deck->phase()));
        std::fprintf(stderr, "no deck showed the master, or fewer than two a blank CD\n");
        return 1;
    }

    const QString copy = CopyDiscModel::cacheFolder() + QStringLiteral("/Master.cue");
    const std::optional<QUuid> read =
        queue->add(Jobs::ReadDisc{QStringLiteral("deck:") + QString::number(source->index()), source->index(), copy, true},
                   QStringLiteral("Read the master"));
    if (!read)
        return 1;
    waitFor([&] { return allEnded(queue, {*read}); }, 60 * 60000);
    if (!reportFailures(queue, {*read}))
        return 1;
    std::printf("read=%.1f\n", span(queue, {*read}));
    std::fflush(stdout);

    QList<QUuid> burns;
    for (Deck *deck : std::as_const(targets)) {
        deck->setSpeedX(0);
        // As the Copy card queues it, without the burner's own verify pass:
        // the comparison with the master reads every sector back already.
        if (const std::optional<QUuid> id =
                queue->add(Jobs::BurnImage{copy, deck->index(), false, false, true}, QStringLiteral("Burn the copy")))
            burns.append(*id);
    }
    if (burns.size() != targets.size())
        return 1;
    waitFor([&] { return allEnded(queue, burns); }, 60 * 60000);
    const bool burned = reportFailures(queue, burns);
    std::printf("burn=%.1f\n", span(queue, burns));
    // The log is newest first.
    int identical = 0;
    const QList<LogLine> &lines = model.logLines()->lines();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (line->text.startsWith(QLatin1String("Deck ")) && line->text.contains(QLatin1String("the master"))) {
            std::printf("%s\n", qPrintable(line->text));
            identical += line->text.contains(QLatin1String("identical to the master"));
        }
    return burned && identical == targets.size() ? 0 : 1;
}
