#include "app/Format.h"

#include <cmath>

QString fmt(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const long long whole = std::llround(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}
