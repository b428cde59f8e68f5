// A long soak of the program's core: the real application model with six
// virtual burners, unthrottled, driven at random through the calls the window
// makes. Audio burns in every mode, image burns through the queue, stops,
// unplugs and re-plugs, new blanks, and checksum and verify jobs queued and
// cancelled all along. At the end everything is left to finish, and the run
// is checked: every burn and job ended exactly once with one final log line,
// nothing prepared or partial is left behind, memory and file descriptors.
//
// usage: bench_soak WORKDIR MINUTES SEED FILE...
//   FILE: audio tracks (.wav, .flac, .mp3) and disc images (.iso, .dmg)
// Exits 1 when a check fails, 2 on bad arguments.

#include "app/AppModel.h"
#include "app/BurnImageModel.h"
#include "app/ChecksumModel.h"
#include "app/VerifyModel.h"
#include "base/Allocator.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "platform/virtual/VirtualDiscService.h"
#include "queue/JobQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <map>
#include <random>

namespace {

qint64 statusKb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QStringList fdTargets()
{
    QStringList targets;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
        targets.append(fd.symLinkTarget());
    targets.sort();
    return targets;
}

int threads() { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

int openFds() { return int(fdTargets().size()); }

// What the end of a burn or job was, as its final log line says it.
enum class Outcome { done, failed, stopped };

struct AudioBurn
{
    int deck = 0;
    bool writing = false;   // the deck said it began writing
    int ends = 0;           // audioBurnEnded + audioBurnStopped
    int finalLines = 0;
    Deck::State endState = Deck::State::idle;
};

struct QueuedRec
{
    QString title;
    std::optional<JobState> final;
    int finalChanges = 0; // a final state changed into another one
    int endedSignals = 0;
};

QString key(const QString &title, JobState state) { return title + QLatin1Char('|') + rawValue(state); }

} // namespace

int main(int argc, char *argv[])
{
    limitAllocatorArenas(); // as the program does
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_soak WORKDIR MINUTES SEED FILE...\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    const double minutes = QByteArray(argv[2]).toDouble();
    const quint32 seed = QByteArray(argv[3]).toUInt();
    QStringList tracks, images;
    for (int i = 4; i < argc; ++i) {
        const QString file = QString::fromLocal8Bit(argv[i]);
        const QString suffix = QFileInfo(file).suffix().toLower();
        (suffix == QLatin1String("iso") || suffix == QLatin1String("dmg") ? images : tracks).append(file);
    }
    if (minutes <= 0 || tracks.isEmpty() || images.isEmpty()) {
        std::fprintf(stderr, "need MINUTES > 0, at least one track and one image\n");
        return 2;
    }
    for (const char *var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(work + QLatin1Char('/') + QString::fromLatin1(var).toLower()));
    QCoreApplication app(argc, argv);
    std::mt19937 rng(seed);
    const auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    const auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

    // What verify jobs compare the first image with: a copy, a copy with one
    // byte changed, and a file that isn't there.
    const QString image = images.first();
    const QString same = work + QStringLiteral("/same.iso");
    const QString changed = work + QStringLiteral("/changed.iso");
    QFile::copy(image, same);
    QFile::copy(image, changed);
    {
        QFile f(changed);
        if (f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2)) {
            char c = 0;
            f.getChar(&c);
            f.seek(f.size() / 2);
            f.putChar(char(c ^ 0x5a));
        }
    }
    const QStringList againsts{same, changed, work + QStringLiteral("/missing.iso")};
    QStringList checksumFiles = tracks + images;

    QSettings settings(work + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    auto *burners = new VirtualDiscService(6);
    burners->setUnthrottled(true);
    std::unique_ptr<DiscService> owner(burners);
    const QString logPath = work + QStringLiteral("/log.txt");
    auto model = std::make_unique<AppModel>(AppModel::Config{&settings, true, logPath, burners});
    JobQueue *queue = model->queue();

    // Each project gets one to three of the tracks.
    int added = 0;
    for (DiscProject *project : model->projects()) {
        QStringList some = tracks;
        std::shuffle(some.begin(), some.end(), rng);
        some = some.mid(0, 1 + pick(int(std::min<qsizetype>(3, some.size()))));
        project->add(some, [&added](int) { ++added; });
    }
    while (added < model->projects().size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    // --- What happens, as the model reports it.
    QList<AudioBurn> burns;
    std::array<int, 6> open{-1, -1, -1, -1, -1, -1}; // index into burns, per deck
    int strayEnds = 0, strayFinalLines = 0, wrongEndStates = 0;
    const QRegularExpression audioFinal(QStringLiteral(
        "^Deck [A-F]: (disc finished in |test burn passed in |failed\\. |burn stopped\\. That disc can't be used\\.$"
        "|test stopped\\. Disc untouched\\.$)"));
    const QRegularExpression writingLine(QStringLiteral("^Deck [A-F]: (burning|test burn) at "));
    for (Deck *deck : model->decks()) {
        const int d = deck->index();
        QObject::connect(deck, &Deck::stateChanged, [&, deck, d] {
            if (open[d] < 0 && deck->op() == Deck::Op::audio && deck->busy()) {
                open[d] = int(burns.size());
                burns.append(AudioBurn{d});
            }
            // The model may have moved the deck on (a copy waiting for its
            // blank) before the end reaches us: keep the end state seen.
            const Deck::State s = deck->state();
            if (open[d] >= 0 && (s == Deck::State::done || s == Deck::State::failed || s == Deck::State::stopped))
                burns[open[d]].endState = s;
        });
        const auto ended = [&, deck, d](bool stopped) {
            if (open[d] < 0) {
                ++strayEnds;
                return;
            }
            AudioBurn &b = burns[open[d]];
            ++b.ends;
            if (deck->state() != Deck::State::waiting)
                b.endState = deck->state();
            const bool right = stopped ? b.endState == Deck::State::stopped
                                       : b.endState == Deck::State::done || b.endState == Deck::State::failed;
            if (!right && ++wrongEndStates <= 5)
                std::printf("  deck %c: %s with the deck %s\n", 'A' + d, stopped ? "stopped" : "ended",
                            qPrintable(deck->stateName()));
            open[d] = -1;
        };
        QObject::connect(deck, &Deck::audioBurnEnded, [ended] { ended(false); });
        QObject::connect(deck, &Deck::audioBurnStopped, [ended] { ended(true); });
        QObject::connect(deck, &Deck::logged, [&, deck, d](const QString &line) {
            if (deck->op() == Deck::Op::image || deck->op() == Deck::Op::erase)
                return;
            if (writingLine.match(line).hasMatch() && open[d] >= 0)
                burns[open[d]].writing = true;
            if (!audioFinal.match(line).hasMatch())
                return;
            if (open[d] < 0)
                ++strayFinalLines;
            else
                ++burns[open[d]].finalLines;
        });
    }

    std::map<QUuid, QueuedRec> jobs;
    QSet<QUuid> running; // jobs of ours not yet final
    QHash<QString, int> finalLines; // title|state → lines
    int jobsDone = 0, jobsFailed = 0, jobsCancelled = 0, imageJobs = 0;
    const QRegularExpression queueFinal(
        QStringLiteral("^Queue: (?:(done|FAILED|stopped) — “(.*)”\\. |cancelled “(.*)”\\.$)"));
    QObject::connect(queue, &JobQueue::logged, [&](const QString &line, const QString &) {
        const auto m = queueFinal.match(line);
        if (!m.hasMatch())
            return;
        const QString word = m.captured(1);
        const QString title = word.isEmpty() ? m.captured(3) : m.captured(2);
        const JobState state = word == QLatin1String("done")     ? JobState::done
                               : word == QLatin1String("FAILED") ? JobState::failed
                                                                  : JobState::cancelled;
        ++finalLines[key(title, state)];
    });
    const auto scanJobs = [&] {
        for (auto it = running.begin(); it != running.end();) {
            const std::optional<QJob> job = queue->job(*it);
            if (!job || !job->finished()) {
                ++it;
                continue;
            }
            QueuedRec &rec = jobs[*it];
            rec.final = job->state;
            (job->state == JobState::done ? jobsDone : job->state == JobState::failed ? jobsFailed : jobsCancelled)++;
            it = running.erase(it);
        }
    };
    QObject::connect(queue, &JobQueue::changed, scanJobs);
    QObject::connect(queue, &JobQueue::jobEnded, [&](const QJob &job) {
        auto it = jobs.find(job.id);
        if (it == jobs.end())
            return;
        ++it->second.endedSignals;
        if (it->second.final && *it->second.final != job.state)
            ++it->second.finalChanges;
    });
    // Runs a call that queues jobs and keeps the ids it added.
    const auto queued = [&](const std::function<void()> &call) {
        QSet<QUuid> before;
        for (const QJob &j : queue->jobs())
            before.insert(j.id);
        call();
        for (const QJob &j : queue->jobs()) {
            if (before.contains(j.id) || jobs.count(j.id))
                continue;
            jobs[j.id] = {j.title, {}, 0, 0};
            running.insert(j.id);
            if (j.kind.as<Jobs::BurnImage>())
                ++imageJobs;
        }
        scanJobs();
    };

    // --- Burners: which number sits on which deck.
    const auto numberOf = [&](const Deck *deck) -> int {
        const QList<DiscDeviceRef> devices = burners->devices();
        const QList<int> numbers = burners->burnerNumbers();
        for (qsizetype i = 0; i < devices.size() && i < numbers.size(); ++i) {
            if (devices[i] == deck->device())
                return numbers[i];
        }
        return 0;
    };
    int unplugs = 0, unplugsBusy = 0, replugs = 0, blanks = 0, stops = 0, failsArmed = 0, modeChanges = 0;

    // --- The main thread's responsiveness: how late a 10 ms timer fires.
    QElapsedTimer sinceTick;
    qint64 worstDelay = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] { worstDelay = std::max(worstDelay, sinceTick.restart() - 10); });

    // --- The random user.
    const QList<BurnMode> modes{BurnMode::mirror, BurnMode::independent, BurnMode::queue};
    bool draining = false; // no new audio burns until the mode changes
    QElapsedTimer epoch;
    qint64 epochMs = 0;
    const auto audioActive = [&] {
        for (const Deck *deck : model->decks()) {
            if ((deck->busy() && deck->op() == Deck::Op::audio) || deck->state() == Deck::State::waiting)
                return true;
        }
        return false;
    };
    const auto newEpoch = [&] {
        const BurnMode mode = modes[pick(3)];
        if (mode != model->mode())
            ++modeChanges;
        model->setMode(mode);
        if (mode == BurnMode::queue) {
            model->setCopies(2 + pick(8));
            model->resetQueue();
        }
        model->setVerify(chance(0.6));
        model->setTest(chance(0.1));
        model->setMatchLoudness(chance(0.5));
        draining = false;
        epoch.restart();
        epochMs = 10000 + pick(20000);
    };
    const auto readyDecks = [&] {
        QList<Deck *> ready;
        for (Deck *deck : model->decks()) {
            if (!deck->busy() && deck->state() != Deck::State::waiting && deck->hasDrive() && deck->blankLoaded()
                && !queue->usesDeck(deck->index()))
                ready.append(deck);
        }
        return ready;
    };
    const auto busyDecks = [&] {
        QList<Deck *> busy;
        for (Deck *deck : model->decks()) {
            if (deck->busy())
                busy.append(deck);
        }
        return busy;
    };

    // Soon after a start, now and then: a stop or an unplug while it runs.
    const auto interrupt = [&](Deck *deck) {
        if (!chance(0.3))
            return;
        const bool unplug = chance(0.35);
        QTimer::singleShot(chance(0.3) ? 0 : pick(200), deck, [&, deck, unplug] {
            if (!deck->busy())
                return;
            const int number = numberOf(deck);
            if (unplug && number && burners->burnerNumbers().size() > 3) {
                if (burners->unplugBurner(number)) {
                    ++unplugs;
                    ++unplugsBusy;
                }
            } else {
                ++stops;
                deck->stop();
            }
        });
    };

    // Copies: every copy taken is burning or done, and no more are done than asked.
    int copiesDrift = 0;
    const auto checkCopies = [&] {
        if (model->mode() != BurnMode::queue)
            return;
        int burning = 0;
        for (int o : open)
            burning += o >= 0 ? 1 : 0;
        if (model->copiesStarted() != model->copiesDone() + burning || model->copiesDone() > model->copies()) {
            if (++copiesDrift <= 5)
                std::printf("  copies: %d started, %d done, %d burning, %d asked\n", model->copiesStarted(),
                            model->copiesDone(), burning, model->copies());
        }
    };

    const auto act = [&] {
        checkCopies();
        if (!draining && epoch.elapsed() > epochMs)
            draining = true;
        // A Copies stack is soon burned: the next epoch starts when it is.
        if (model->mode() == BurnMode::queue && model->copiesStarted() >= model->copies())
            draining = true;
        if (draining && !audioActive())
            newEpoch();
        const double r = std::uniform_real_distribution<double>(0, 24)(rng);
        if (r < 6) { // start audio
            if (draining)
                return;
            const QList<Deck *> ready = readyDecks();
            if (ready.isEmpty())
                return;
            if (model->mode() != BurnMode::queue && chance(0.2)) {
                model->burnAll();
            } else {
                Deck *deck = ready[pick(int(ready.size()))];
                model->start(deck);
                interrupt(deck);
            }
        } else if (r < 7) { // stop a running burn
            const QList<Deck *> busy = busyDecks();
            if (busy.isEmpty())
                return;
            ++stops;
            busy[pick(int(busy.size()))]->stop();
        } else if (r < 7.8) { // unplug, mostly a busy burner
            const QList<int> numbers = burners->burnerNumbers();
            if (numbers.size() <= 3)
                return;
            const QList<Deck *> busy = busyDecks();
            int number = 0;
            if (!busy.isEmpty() && chance(0.6))
                number = numberOf(busy[pick(int(busy.size()))]);
            if (number == 0)
                number = numbers[pick(int(numbers.size()))];
            if (number == 0)
                return;
            const bool wasBusy = burners->isBusy(number);
            if (burners->unplugBurner(number)) {
                ++unplugs;
                unplugsBusy += wasBusy ? 1 : 0;
            }
        } else if (r < 9) { // plug one back in
            if (burners->burnerNumbers().size() < 6) {
                burners->plugBurner();
                ++replugs;
            }
        } else if (r < 13) { // a new blank in an idle tray
            const QList<int> numbers = burners->burnerNumbers();
            for (int i = 0; i < 2 && !numbers.isEmpty(); ++i) {
                const int number = numbers[pick(int(numbers.size()))];
                if (!burners->isBusy(number) && burners->insertBlank(number))
                    ++blanks;
            }
        } else if (r < 14.5) { // image burn through the queue
            BurnImageModel *card = model->burnImage();
            const QString chosen = images[pick(int(images.size()))];
            if (card->image() != chosen || !card->imageInfo()) {
                card->setImage(chosen); // looked at on a worker; burned next time
                return;
            }
            QList<int> targets;
            for (int i = 0, n = 1 + pick(3); i < n; ++i)
                targets.append(pick(6));
            card->setTargets(targets);
            card->setTest(chance(0.1));
            card->setVerify(chance(0.5));
            card->setChecksumCheck(false);
            queued([card] { card->burn(); });
            for (int d : card->targetList())
                interrupt(model->decks().at(d));
        } else if (r < 17.5) { // checksums
            queued([&] { model->checksums()->checksum(checksumFiles[pick(int(checksumFiles.size()))]); });
        } else if (r < 20.5) { // verify an image against a file
            VerifyModel *card = model->verifyImage();
            card->setImage(image);
            card->setAgainst(againsts[pick(int(againsts.size()))]);
            queued([card] { card->verify(); });
        } else if (r < 22.5) { // cancel one of ours
            if (running.isEmpty())
                return;
            auto it = running.begin();
            std::advance(it, pick(int(running.size())));
            queue->cancelJob(it->toString());
        } else if (r < 23) { // a write error on the next burn
            const QList<int> numbers = burners->burnerNumbers();
            if (!numbers.isEmpty() && burners->failNextBurnAt(numbers[pick(int(numbers.size()))],
                                                             std::uniform_real_distribution<double>(0, 1)(rng)))
                ++failsArmed;
        } else { // the user tidies the queue
            queue->clearFinished();
        }
    };

    // --- Figures.
    const auto counts = [&] {
        struct C { int started = 0, done = 0, failed = 0, stopped = 0; } c;
        c.started = int(burns.size());
        for (const AudioBurn &b : burns) {
            if (b.ends == 0)
                continue;
            (b.endState == Deck::State::done ? c.done : b.endState == Deck::State::stopped ? c.stopped : c.failed)++;
        }
        return c;
    };
    // Image burns are queue jobs; their ends are counted by title.
    const auto imageEnds = [&](JobState state) {
        int n = 0;
        for (const auto &[id, rec] : jobs) {
            if (rec.final == state && (rec.title.startsWith(QLatin1String("Burn ")) || rec.title.startsWith(QLatin1String("Test-burn "))))
                ++n;
        }
        return n;
    };
    qint64 peakRss = 0;
    qint64 warmRss = -1;
    const qint64 runMs = qint64(minutes * 60000);
    const qint64 warmAtMs = std::min<qint64>(120000, runMs / 2);
    QElapsedTimer clock;
    const auto rssKb = [] { return statusKb("VmRSS"); };
    QTimer sampler;
    sampler.setInterval(1000);
    int minute = 0;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        peakRss = std::max(peakRss, rssKb());
        if (warmRss < 0 && clock.elapsed() >= warmAtMs)
            warmRss = rssKb();
        if (clock.elapsed() >= (minute + 1) * 60000LL) {
            ++minute;
            const auto c = counts();
            QString decks;
            for (const Deck *deck : model->decks())
                decks += deck->stateName().left(2) + QLatin1Char(deck->hasDrive() ? '+' : '-') + QLatin1Char(' ');
            std::printf("[%2d min] mode %d%s, decks %s\n", minute, int(model->mode()), draining ? " draining" : "",
                        qPrintable(decks));
            std::printf("[%2d min] audio burns %d started, %d done, %d failed, %d stopped; image burns %d queued, %d done "
                        "| unplugs %d, re-plugs %d | jobs %d done, %d failed, %d cancelled | RSS %lld MB, fds %d\n",
                        minute, c.started, c.done, c.failed, c.stopped, imageJobs, imageEnds(JobState::done), unplugs,
                        replugs,
                        jobsDone, jobsFailed, jobsCancelled, rssKb() / 1024, openFds());
            std::fflush(stdout);
        }
    });

    // Settle: the burners are found, the first image looked at.
    model->burnImage()->setImage(images.first());
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const QStringList fdsStart = fdTargets();
    const int threadsAtStart = threads();
    const int fdsAtStart = int(fdsStart.size());
    const qint64 rssAtStart = rssKb();

    clock.start();
    newEpoch();
    sinceTick.start();
    probe.start();
    sampler.start();
    QTimer actor;
    actor.setInterval(250);
    QObject::connect(&actor, &QTimer::timeout, act);
    actor.start();

    // The time is up: no new work; trays and burners back so queued burns can
    // end, waiting decks released; then everything is left to finish.
    bool hung = false;
    QTimer::singleShot(runMs, [&] {
        actor.stop();
        draining = true;
        model->resetQueue();
        QElapsedTimer waited;
        waited.start();
        auto *drain = new QTimer(&app);
        drain->setInterval(200);
        QObject::connect(drain, &QTimer::timeout, [&, drain, waited]() mutable {
            while (burners->burnerNumbers().size() < 6) {
                burners->plugBurner();
                ++replugs;
            }
            for (int number : burners->burnerNumbers()) {
                if (!burners->isBusy(number) && burners->insertBlank(number))
                    ++blanks;
            }
            model->resetQueue();
            const bool idle = busyDecks().isEmpty() && queue->activeCount() == 0 && !audioActive();
            if (!idle && waited.elapsed() < 180000)
                return;
            hung = !idle;
            drain->stop();
            QCoreApplication::quit();
        });
        drain->start();
    });
    QCoreApplication::exec();
    probe.stop();
    sampler.stop();

    // Clean-up of prepared files runs on the decks' workers, and idle pool
    // threads (each with its event fd) expire after 30 s: give both time.
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000 || (openFds() > fdsAtStart && t.elapsed() < 45000))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    scanJobs();
    const int fdsAtEnd = openFds();
    const qint64 rssAtEnd = rssKb();
    peakRss = std::max({peakRss, rssAtEnd, statusKb("VmHWM")});

    // Prepared audio and work files in the cache, partial discs anywhere.
    QStringList leftOver;
    {
        QDirIterator cache(work + QStringLiteral("/xdg_cache_home"), QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
        while (cache.hasNext())
            leftOver.append(cache.next());
        QDirIterator data(work + QStringLiteral("/xdg_data_home"), QDir::Files | QDir::Hidden,
                          QDirIterator::Subdirectories);
        while (data.hasNext()) {
            const QString file = data.next();
            if (file.endsWith(QLatin1String(".partial")))
                leftOver.append(file);
        }
    }

    // Every burn and job: one end, one final line.
    int badBurns = 0;
    for (const AudioBurn &b : burns) {
        const int wantLines = b.writing ? 1 : 0; // a stop while preparing says nothing
        if (b.ends != 1 || b.finalLines != wantLines) {
            ++badBurns;
            if (badBurns <= 10)
                std::printf("  bad burn: deck %c, %d ends, %d final lines (writing: %d), state %d\n", 'A' + b.deck,
                            b.ends, b.finalLines, b.writing, int(b.endState));
        }
    }
    if (strayEnds + strayFinalLines + wrongEndStates)
        std::printf("  burn ends with no burn: %d, final lines with no burn: %d, wrong end states: %d\n", strayEnds,
                    strayFinalLines, wrongEndStates);
    badBurns += strayEnds + strayFinalLines + wrongEndStates;
    int badJobs = 0;
    QHash<QString, int> finalStates;
    for (const auto &[id, rec] : jobs) {
        if (!rec.final || rec.finalChanges > 0 || rec.endedSignals > 1) {
            ++badJobs;
            if (badJobs <= 10)
                std::printf("  bad job: “%s”, final %s, %d changes, %d ended signals\n", qPrintable(rec.title),
                            rec.final ? qPrintable(rawValue(*rec.final)) : "none", rec.finalChanges, rec.endedSignals);
            continue;
        }
        ++finalStates[key(rec.title, *rec.final)];
    }
    int lineMismatches = 0;
    QSet<QString> keys;
    for (auto it = finalStates.cbegin(); it != finalStates.cend(); ++it)
        keys.insert(it.key());
    for (auto it = finalLines.cbegin(); it != finalLines.cend(); ++it)
        keys.insert(it.key());
    for (const QString &k : keys) {
        const int diff = std::abs(finalStates.value(k) - finalLines.value(k));
        if (diff && lineMismatches < 10)
            std::printf("  job lines: %s: %d jobs, %d lines\n", qPrintable(k), finalStates.value(k),
                        finalLines.value(k));
        lineMismatches += diff;
    }
    badJobs += lineMismatches;

    // The log file holds what the model said.
    model->logFile().flush();
    int fileFinal = 0;
    {
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &raw : log.readAll().split('\n')) {
                const QString text = QString::fromUtf8(raw).mid(21); // after the time stamp
                if (audioFinal.match(text).hasMatch() || queueFinal.match(text).hasMatch())
                    ++fileFinal;
            }
        }
    }
    int liveFinal = strayFinalLines;
    for (const AudioBurn &b : burns)
        liveFinal += b.finalLines;
    for (int n : std::as_const(finalLines))
        liveFinal += n;
    // Image burns say their deck's end too; those lines were not counted live.
    const int logFileGap = fileFinal < liveFinal ? liveFinal - fileFinal : 0;

    const auto c = counts();
    std::printf("\n--- soak: %.1f min, seed %u ---\n", minutes, seed);
    std::printf("audio burns         %d started, %d done, %d failed, %d stopped\n", int(burns.size()), c.done,
                c.failed, c.stopped);
    std::printf("image burns         %d queued, %d done, %d failed, %d stopped or cancelled\n", imageJobs,
                imageEnds(JobState::done), imageEnds(JobState::failed), imageEnds(JobState::cancelled));
    std::printf("burns done (all)    %d\n", c.done + imageEnds(JobState::done));
    std::printf("stops by hand       %d\n", stops);
    std::printf("unplugs             %d (%d mid-burn), re-plugs %d\n", unplugs, unplugsBusy, replugs);
    std::printf("blanks inserted     %d, write errors armed %d, mode changes %d\n", blanks, failsArmed, modeChanges);
    std::printf("jobs (all kinds)    %d queued, %d done, %d failed, %d cancelled\n", int(jobs.size()), jobsDone,
                jobsFailed, jobsCancelled);
    std::printf("RSS                 start %lld MB, after warm-up (%lld s) %lld MB, final %lld MB, peak %lld MB\n",
                rssAtStart / 1024, warmAtMs / 1000, std::max<qint64>(warmRss, 0) / 1024, rssAtEnd / 1024,
                peakRss / 1024);
    std::printf("open fds            start %d, end %d; threads start %d, end %d\n", fdsAtStart, fdsAtEnd,
                threadsAtStart, threads());
    std::printf("main-thread stall   %lld ms longest\n", worstDelay);
    std::printf("must be 0:\n");
    std::printf("  files left        %d\n", int(leftOver.size()));
    for (const QString &f : leftOver.mid(0, 10))
        std::printf("    %s\n", qPrintable(f));
    std::printf("  burns not ended once with one final line   %d\n", badBurns);
    std::printf("  jobs not ended once with one final line    %d\n", badJobs);
    std::printf("  final lines missing from the log file      %d\n", logFileGap);
    std::printf("  fds gained        %d\n", std::max(0, fdsAtEnd - fdsAtStart));
    if (fdsAtEnd > fdsAtStart) {
        QStringList gained = fdTargets();
        for (const QString &t : fdsStart)
            gained.removeOne(t);
        for (const QString &t : gained.mid(0, 10))
            std::printf("    %s\n", qPrintable(t));
    }
    std::printf("  still busy at end %d\n", hung ? 1 : 0);
    std::printf("  Copies counts off %d\n", copiesDrift);
    std::fflush(stdout);

    const bool ok = leftOver.isEmpty() && badBurns == 0 && badJobs == 0 && logFileGap == 0 && fdsAtEnd <= fdsAtStart
        && !hung && copiesDrift == 0;
    model.reset();
    return ok ? 0 : 1;
}
