#pragma once
// What the benchmarks that drive the application model share.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds or `ms` pass; false on a timeout.
inline bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > ms)
            QCoreApplication::quit();
    });
    tick.start();
    if (!done())
        QCoreApplication::exec();
    return done();
}
