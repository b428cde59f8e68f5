// Six virtual burners burning at once, unthrottled: audio CDs on three decks
// and a disc image on three. Prints the longest delay of a 10 ms main-thread
// timer during the run and how many bytes were written in how long.
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

int main(int argc, char *argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_burn WORKDIR AUDIO1 AUDIO2 AUDIO3 IMAGE\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    for (const char *var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(work + QLatin1Char('/') + QString::fromLatin1(var).toLower()));
    QCoreApplication app(argc, argv);

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
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        worstDelay = std::max(worstDelay, sinceTick.restart() - 10);
    });

    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    probe.start();
    int ended = 0;
    for (int i = 0; i < 3; ++i)
        model.start(model.decks().at(i));
    for (int i = 3; i < 6; ++i)
        model.decks().at(i)->burnImage(*image, false, false, false, false, {}, [&ended](bool, const QString &) { ++ended; });
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        int done = ended;
        for (int i = 0; i < 3; ++i)
            done += model.decks().at(i)->busy() ? 0 : 1;
        if (done == 6)
            QCoreApplication::quit();
    });
    watch.start();
    QCoreApplication::exec();
    const double seconds = clock.elapsed() / 1000.0;

    qint64 bytes = 0;
    int discs = 0;
    QDirIterator it(work + QStringLiteral("/xdg_data_home"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
        ++discs;
    }
    for (const Deck *deck : model.decks())
        std::printf("deck %s: %s\n", qPrintable(deck->letter()), qPrintable(deck->phase()));
    std::printf("files=%d\nbytes=%lld\nseconds=%.3f\nworst_delay_ms=%lld\n", discs, bytes, seconds, worstDelay);
    return 0;
}
