// Times AudioPrep::prepare with loudness matching over a disc of tracks
// (best of several runs, the files expected to be in the page cache) and
// reports the process's peak resident memory over all runs. The prepared
// files go to $XDG_CACHE_HOME and are removed after each run.
// Prints "seconds=<best>", "cpu_seconds=<all runs>" and "peak_rss_mb=<peak>"
// last for bench/run.
//
// usage: bench_audio RUNS TRACK...

#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "base/TDError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>
#include <limits>
#include <sys/resource.h>

namespace {

double peakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// User and system time of every thread of the process so far.
double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_audio RUNS TRACK...\n");
        return 2;
    }
    const int runs = std::max(1, args.at(1).toInt());
    QList<TrackItem> tracks;
    double seconds = 0;
    for (const QString &path : args.mid(2)) {
        const std::optional<double> length = AudioPrep::duration(path);
        if (!length) {
            std::fprintf(stderr, "not audio: %s\n", qPrintable(path));
            return 1;
        }
        tracks.append({QUuid::createUuid(), path, TrackItem::titleFor(path), *length, 0, {}, {}});
        seconds += *length;
    }
    std::printf("%lld tracks, %.1f minutes\n", qlonglong(tracks.size()), seconds / 60);
    std::printf("memory before the first run: %.1f MB\n", peakRssMb());

    double best = std::numeric_limits<double>::infinity();
    const double cpuBefore = cpuSeconds();
    try {
        for (int i = 0; i < runs; ++i) {
            int reports = 0;
            QElapsedTimer timer;
            timer.start();
            const QStringList files = AudioPrep::prepare(tracks, true, [&](double) { ++reports; });
            const double took = double(timer.nsecsElapsed()) / 1e9;
            qint64 bytes = 0;
            for (const QString &f : files)
                bytes += QFileInfo(f).size();
            AudioPrep::cleanup(files);
            std::printf("run %d: %.3f s, %.1f MB of CD audio, %d progress reports\n", i + 1, took,
                        double(bytes) / 1e6, reports);
            std::fflush(stdout);
            best = std::min(best, took);
        }
    } catch (const PrepError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    } catch (const TDError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    std::printf("seconds=%.3f\n", best);
    std::printf("cpu_seconds=%.2f\n", cpuSeconds() - cpuBefore);
    std::printf("peak_rss_mb=%.1f\n", peakRssMb());
    return 0;
}
