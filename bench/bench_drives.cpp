// Six burners at once at their top speed, through the hardware service
// (libburn), while the queue hashes a large file: audio CDs on decks A and B
// (decoded and prepared as any deck burn is), image burns on decks C to F.
// The burners are whatever TANDOR_EMULATED_DRIVES names /dev/sr50 to
// /dev/sr55 (bench/run preloads the emulated drive); each drive logs its own
// buffer figures, which bench/run reads.
//
// Prints, per deck, how long it was busy and how it ended, and how long the
// checksum took.
//
// usage: bench_drives WORKDIR HASHFILE DVDIMAGE BDIMAGE AUDIO...

#include "BenchWait.h"
#include "app/AppModel.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "images/ImageInfo.h"
#include "platform/linux/HardwareDiscService.h"
#include "queue/JobQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int deckCount = 6;

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: bench_drives WORKDIR HASHFILE DVDIMAGE BDIMAGE AUDIO...\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    for (const char *var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(work + QLatin1Char('/') + QString::fromLatin1(var).toLower()));
    QCoreApplication app(argc, argv);

    QStringList addresses;
    for (int i = 0; i < deckCount; ++i)
        addresses.append(QStringLiteral("/dev/sr%1").arg(50 + i));
    QSettings settings(work + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    HardwareDiscService burners(addresses);
    AppModel model({&settings, true, work + QStringLiteral("/log.txt"), &burners});
    model.setMode(BurnMode::independent);
    model.setVerify(false);
    model.setTest(false);
    const QList<Deck *> decks = model.decks().mid(0, deckCount);
    for (Deck *deck : decks)
        deck->setSpeedX(0);

    QStringList audio;
    for (int i = 5; i < argc; ++i)
        audio.append(QString::fromLocal8Bit(argv[i]));
    int added = 0;
    for (int i = 0; i < 2; ++i)
        model.projects().at(i)->add(audio, [&added](int) { ++added; });
    const auto dvd = ImageInfo::inspect(QString::fromLocal8Bit(argv[3]));
    const auto bd = ImageInfo::inspect(QString::fromLocal8Bit(argv[4]));
    if (!dvd || !bd) {
        std::fprintf(stderr, "can't read the images\n");
        return 1;
    }
    const bool ready = waitFor([&] {
        const QList<DiscDeviceRef> devices = burners.devices();
        return added == 2 && std::all_of(decks.begin(), decks.end(), [](Deck *d) { return d->hasDrive(); })
            && devices.size() >= deckCount
            && std::all_of(devices.begin(), devices.end(),
                           [](const DiscDeviceRef &d) { return d->status() && d->status()->blank; });
    }, 60000);
    if (!ready) {
        for (Deck *deck : decks)
            std::fprintf(stderr, "deck %s: %s, %s\n", qPrintable(deck->letter()), qPrintable(deck->mediaText()),
                         qPrintable(deck->phase()));
        std::fprintf(stderr, "%d of 2 projects filled\n", added);
        std::fprintf(stderr, "the burners did not all show a blank disc\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    const std::optional<QUuid> hash =
        model.queue()->add(Jobs::Checksum{QString::fromLocal8Bit(argv[2])}, QStringLiteral("Checksum"));
    if (!hash) {
        std::fprintf(stderr, "the queue refused the checksum\n");
        return 1;
    }
    QList<qint64> endedAt(deckCount, -1);
    QStringList failures(deckCount);
    model.start(decks[0]);
    model.start(decks[1]);
    for (int i = 2; i < deckCount; ++i)
        decks[i]->burnImage(i < 4 ? *dvd : *bd, false, false, false, false, {}, [&, i](bool ok, const QString &why) {
            endedAt[i] = clock.elapsed();
            if (!ok)
                failures[i] = why.isEmpty() ? QStringLiteral("failed") : why;
        });
    qint64 hashedAt = -1;
    waitFor([&] {
        for (int i = 0; i < 2; ++i)
            if (endedAt[i] < 0 && !decks[i]->busy())
                endedAt[i] = clock.elapsed();
        const std::optional<QJob> job = model.queue()->job(*hash);
        if (hashedAt < 0 && (!job || job->finished()))
            hashedAt = clock.elapsed();
        return hashedAt >= 0 && std::all_of(endedAt.begin(), endedAt.end(), [](qint64 t) { return t >= 0; });
    }, 30 * 60000);

    for (int i = 0; i < deckCount; ++i)
        std::printf("deck_%s=%.1f s, %s\n", qPrintable(decks[i]->letter()), endedAt[i] / 1000.0,
                    qPrintable(failures[i].isEmpty() ? decks[i]->phase() : failures[i]));
    const std::optional<QJob> hashed = model.queue()->job(*hash);
    std::printf("checksum=%.1f s, %s\n", hashedAt / 1000.0,
                hashed && hashed->state == JobState::done ? "done" : qPrintable(hashed ? hashed->detail : QString()));
    return 0;
}
