#pragma once
// Waits out the shared libburn thread: every reply it owes has been delivered
// once a new service's first reading is, since the thread answers in order.

#include "platform/linux/HardwareDiscService.h"

#include <QTest>

inline bool libburnCaughtUp(const QString &folder)
{
    HardwareDiscService probe({QStringLiteral("stdio:") + folder + QStringLiteral("/barrier.iso")});
    return QTest::qWaitFor([&] { return probe.devices().last()->status().has_value(); }, 10000);
}
