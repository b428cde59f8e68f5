// Times Checksums::compute on one file (best of several runs, the file
// expected to be in the page cache already) and checks its digests against
// md5sum and sha256sum. Prints "seconds=<best>" last for bench/run.
//
// usage: bench_checksums FILE [RUNS]

#include "images/Checksums.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <limits>

namespace {

QString toolDigest(const QString &tool, const QString &file)
{
    QProcess p;
    p.start(tool, {file});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromLatin1(p.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_checksums FILE [RUNS]\n");
        return 2;
    }
    const QString file = args.at(1);
    const int runs = args.size() > 2 ? args.at(2).toInt() : 3;

    Digests digests;
    double best = std::numeric_limits<double>::infinity();
    try {
        for (int i = 0; i < runs; ++i) {
            CancelToken token;
            int reports = 0;
            QElapsedTimer timer;
            timer.start();
            digests = Checksums::compute(file, [&](double) { ++reports; }, &token);
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            std::printf("run %d: %.3f s (%d progress reports)\n", i + 1, seconds, reports);
            best = std::min(best, seconds);
        }
    } catch (const TDError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }

    const QString md5 = toolDigest(QStringLiteral("md5sum"), file);
    const QString sha256 = toolDigest(QStringLiteral("sha256sum"), file);
    const bool same = digests.md5 == md5 && digests.sha256 == sha256;
    std::printf("MD5     %s %s\nSHA-256 %s %s\n", qPrintable(digests.md5), digests.md5 == md5 ? "= md5sum" : "DIFFERS",
                qPrintable(digests.sha256), digests.sha256 == sha256 ? "= sha256sum" : "DIFFERS");
    std::printf("%.1f MB/s\n", double(digests.bytes) / best / 1e6);
    std::printf("seconds=%.3f\n", best);
    return same ? 0 : 1;
}
