#include "base/Format.h"

#include <algorithm>
#include <cmath>

namespace {
QString trimmed(double value, int decimals)
{
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}
} // namespace

QString fmt(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const long long whole = std::llround(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString fmtBytes(qint64 count)
{
    if (count <= 0)
        return QStringLiteral("0 KB");
    const double n = double(count);
    // Pick the unit by what the rounded value would show, so 999 999 bytes
    // reads "1 MB" rather than "1000 KB".
    if (std::round(n / 1e3) < 1000.0)
        return QString::number(std::max<qint64>(1, std::llround(n / 1e3))) + QStringLiteral(" KB");
    if (std::round(n / 1e5) < 10000.0)
        return trimmed(std::round(n / 1e5) / 10.0, 1) + QStringLiteral(" MB");
    return trimmed(std::round(n / 1e7) / 100.0, 2) + QStringLiteral(" GB");
}
