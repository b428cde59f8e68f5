// Times the UDIF writer and reader (best of several runs, inputs expected to
// be in the page cache already). Prints "seconds=<best>" last for bench/run.
//
// usage: bench_dmg write RAW DMG [RUNS]   Udif::write RAW to DMG
//        bench_dmg read DMG RAW [RUNS]    Reader::read of all of DMG in 64 KiB
//                                         requests, the way a burn asks; then
//                                         one untimed pass comparing with RAW

#include "base/CancelToken.h"
#include "base/TDError.h"
#include "platform/udif/Udif.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr qint64 request = 64 * 1024;

double timeWrite(const QString &raw, const QString &dmg)
{
    CancelToken token;
    int reports = 0;
    QElapsedTimer timer;
    timer.start();
    Udif::write(raw, dmg, [&](double) { ++reports; }, &token);
    return double(timer.nsecsElapsed()) / 1e9;
}

double timeRead(const QString &dmg)
{
    QElapsedTimer timer;
    timer.start();
    auto reader = Udif::Reader::open(dmg);
    std::vector<char> buffer(request);
    for (qint64 at = 0; at < reader->size(); at += request)
        reader->read(at, buffer.data(), std::min(request, reader->size() - at));
    return double(timer.nsecsElapsed()) / 1e9;
}

bool sameAs(const QString &dmg, const QString &raw)
{
    auto reader = Udif::Reader::open(dmg);
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly) || file.size() != reader->size())
        return false;
    std::vector<char> ours(request);
    for (qint64 at = 0; at < reader->size(); at += request) {
        const qint64 n = std::min(request, reader->size() - at);
        reader->read(at, ours.data(), n);
        const QByteArray theirs = file.read(n);
        if (theirs.size() != n || std::memcmp(theirs.constData(), ours.data(), size_t(n)) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4 || (args.at(1) != QLatin1String("write") && args.at(1) != QLatin1String("read"))) {
        std::fprintf(stderr, "usage: bench_dmg write RAW DMG [RUNS] | bench_dmg read DMG RAW [RUNS]\n");
        return 2;
    }
    const bool writing = args.at(1) == QLatin1String("write");
    const int runs = args.size() > 4 ? args.at(4).toInt() : 3;
    double best = std::numeric_limits<double>::infinity();
    try {
        for (int i = 0; i < runs; ++i) {
            const double seconds = writing ? timeWrite(args.at(2), args.at(3)) : timeRead(args.at(2));
            std::printf("run %d: %.3f s\n", i + 1, seconds);
            best = std::min(best, seconds);
        }
        if (!writing) {
            const bool same = sameAs(args.at(2), args.at(3));
            std::printf("decoded image equals %s: %s\n", qPrintable(args.at(3)), same ? "yes" : "NO");
            if (!same)
                return 1;
        }
    } catch (const TDError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    std::printf("seconds=%.3f\n", best);
    return 0;
}
