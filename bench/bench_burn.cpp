// Six virtual burners burning at once, unthrottled: audio CDs on three decks
// and a disc image on three, then the image on all six, best of three. Prints
// the longest delay of a 10 ms main-thread timer during the runs and how many
// bytes each run wrote in how long.
//
// To tell a busy main thread from a starved one it also prints the longest
// single event the main thread handled, and how much of the worst delay the
// thread spent runnable but waiting for a CPU (the kernel's schedstat).
//
// Like the copies they are measured against, the image runs start with the
// file system's dirty pages written out and the previous run's discs removed:
// otherwise each run would pay for the write-back of the one before.
//
// usage: bench_burn WORKDIR AUDIO1 AUDIO2 AUDIO3 IMAGE

#include "app/AppModel.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "images/ImageInfo.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

// Times every event the main thread handles.
class TimedApp : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        const char *name = receiver->metaObject()->className(); // the receiver may delete itself
        QElapsedTimer clock;
        clock.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        if (const qint64 us = clock.nsecsElapsed() / 1000; us > longestUs) {
            longestUs = us;
            longestIn = name;
        }
        return handled;
    }
    qint64 longestUs = 0;
    const char *longestIn = "";
};

// Milliseconds the calling thread has spent runnable but not running.
qint64 cpuWaitMs()
{
    long long running = 0, waiting = 0;
    if (FILE *f = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(f, "%lld %lld", &running, &waiting) != 2)
            waiting = 0;
        std::fclose(f);
    }
    return waiting / 1000000;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_burn WORKDIR AUDIO1 AUDIO2 AUDIO3 IMAGE\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    for (const char *var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(work + QLatin1Char('/') + QString::fromLatin1(var).toLower()));
    TimedApp app(argc, argv);

    QSettings settings(work + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    auto *burners = new VirtualDiscService(6);
    burners->setUnthrottled(true);
    std::unique_ptr<DiscService> owner(burners);
    AppModel model({&settings, true, work + QStringLiteral("/log.txt"), burners});
    model.setMode(BurnMode::independent);
    model.setVerify(false);

    int added = 0;
    for (int i = 0; i < 3; ++i)
        model.projects().at(i)->add({QString::fromLocal8Bit(argv[2 + i])}, [&added](int) { ++added; });
    while (added < 3)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const auto image = ImageInfo::inspect(QString::fromLocal8Bit(argv[5]));
    if (!image) {
        std::fprintf(stderr, "can't read the image\n");
        return 1;
    }

    // The main thread's responsiveness: how late a 10 ms timer fires.
    QElapsedTimer sinceTick;
    qint64 worstDelay = 0;
    qint64 waitedBefore = 0;
    qint64 cpuWaitAtWorst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 delay = sinceTick.restart() - 10;
        const qint64 waited = cpuWaitMs();
        if (delay > worstDelay) {
            worstDelay = delay;
            cpuWaitAtWorst = waited - waitedBefore;
        }
        waitedBefore = waited;
    });

    // Burns on every deck given, waits for all of them, and says how long it took.
    const auto run = [&](const QList<int> &audioDecks, const QList<int> &imageDecks) {
        sinceTick.start();
        waitedBefore = cpuWaitMs();
        probe.start();
        QElapsedTimer clock;
        clock.start();
        int ended = 0;
        for (int i : audioDecks)
            model.start(model.decks().at(i));
        for (int i : imageDecks)
            model.decks().at(i)->burnImage(*image, false, false, false, false, {},
                                           [&ended](bool, const QString &) { ++ended; });
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            int done = ended;
            for (int i : audioDecks)
                done += model.decks().at(i)->busy() ? 0 : 1;
            if (done == audioDecks.size() + imageDecks.size())
                QCoreApplication::quit();
        });
        watch.start();
        QCoreApplication::exec();
        const double seconds = clock.elapsed() / 1000.0;
        probe.stop();
        return seconds;
    };
    const auto discs = [&work] {
        QStringList files;
        QDirIterator it(work + QStringLiteral("/xdg_data_home"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        return files;
    };
    const auto bytesOf = [](const QStringList &files) {
        qint64 bytes = 0;
        for (const QString &file : files)
            bytes += QFileInfo(file).size();
        return bytes;
    };

    ::sync();
    const double mixed = run({0, 1, 2}, {3, 4, 5});
    const qint64 mixedDelay = std::exchange(worstDelay, 0);
    const qint64 mixedEventUs = std::exchange(app.longestUs, 0);
    const char *mixedEventIn = app.longestIn;
    const qint64 mixedCpuWait = std::exchange(cpuWaitAtWorst, 0);
    const QStringList mixedDiscs = discs();
    const qint64 mixedBytes = bytesOf(mixedDiscs);
    for (const Deck *deck : model.decks())
        std::printf("deck %s: %s\n", qPrintable(deck->letter()), qPrintable(deck->phase()));

    // Every tray gets a new blank, then the image goes on all six.
    double images = 0;
    qint64 imageBytes = 0;
    for (int i = 0; i < 3; ++i) {
        for (int number : burners->burnerNumbers())
            burners->insertBlank(number);
        model.refreshDrives();
        ::sync();
        const double seconds = run({}, {0, 1, 2, 3, 4, 5});
        QStringList made = discs();
        for (const QString &file : mixedDiscs)
            made.removeOne(file);
        imageBytes = bytesOf(made);
        images = i == 0 ? seconds : std::min(images, seconds);
        for (const QString &file : made)
            QFile::remove(file);
    }

    std::printf("bytes=%lld\nseconds=%.3f\nimage_bytes=%lld\nimage_seconds=%.3f\nmixed_delay_ms=%lld\n"
                "image_delay_ms=%lld\nworst_delay_ms=%lld\n",
                mixedBytes, mixed, imageBytes, images, mixedDelay, worstDelay, std::max(mixedDelay, worstDelay));
    std::printf("mixed_longest_event_us=%lld\nmixed_longest_event_in=%s\nmixed_cpu_wait_ms=%lld\n"
                "image_longest_event_us=%lld\nimage_longest_event_in=%s\nimage_cpu_wait_ms=%lld\n",
                mixedEventUs, mixedEventIn, mixedCpuWait, app.longestUs, app.longestIn, cpuWaitAtWorst);
    return 0;
}
