// Times Verifier::compare of an image against an identical copy (best of
// several runs, both files expected to be in the page cache already) and
// checks the result against sha256sum. Prints "seconds=<best>" last for
// bench/run.
//
// usage: bench_verify IMAGE COPY [RUNS]

#include "images/Verifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <limits>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_verify IMAGE COPY [RUNS]\n");
        return 2;
    }
    const QString image = args.at(1);
    const QString copy = args.at(2);
    const int runs = args.size() > 3 ? args.at(3).toInt() : 3;

    VerifyResult result;
    double best = std::numeric_limits<double>::infinity();
    try {
        for (int i = 0; i < runs; ++i) {
            CancelToken token;
            int reports = 0;
            QElapsedTimer timer;
            timer.start();
            result = Verifier::compare(image, copy, [&](double) { ++reports; }, &token);
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            std::printf("run %d: %.3f s (%d progress reports)\n", i + 1, seconds, reports);
            best = std::min(best, seconds);
        }
    } catch (const TDError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }

    QProcess p;
    p.start(QStringLiteral("sha256sum"), {image});
    p.waitForFinished(-1);
    const QString expected = QString::fromLatin1(p.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
    const bool right = result.match && result.imageSHA256 == expected && result.otherSHA256 == expected;
    std::printf("%s\n", qPrintable(result.summary()));
    std::printf("sha256sum agrees: %s\n", right ? "yes" : "NO");
    std::printf("seconds=%.3f\n", best);
    return right ? 0 : 1;
}
