#include "Zoom.h"

#include <algorithm>
#include <cmath>

KVZoom::KVZoom(QSettings *defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
}

double KVZoom::clamp(double x)
{
    // std::clamp passes NaN through, and a NaN zoom scales the page to nothing.
    if (std::isnan(x))
        return 1.0;
    return std::clamp(std::round(x * 100) / 100, min, max);
}

QString KVZoom::levelTitle(int percent)
{
    return QString::number(percent) + QLatin1Char('%');
}

double KVZoom::value() const
{
    const double saved = m_defaults ? m_defaults->value(key, 0.0).toDouble() : 0.0;
    return saved == 0.0 ? 1.0 : clamp(saved);
}

void KVZoom::setValue(double x)
{
    const double next = clamp(x);
    const double old = value();
    if (m_defaults)
        m_defaults->setValue(key, next);
    if (next != old)
        Q_EMIT valueChanged();
}

void KVZoom::zoomIn()
{
    const QList<int> all = levels();
    const int now = int(std::lround(value() * 100));
    const auto next = std::find_if(all.begin(), all.end(), [now](int level) { return level > now; });
    setLevel(next == all.end() ? all.last() : *next);
}

void KVZoom::zoomOut()
{
    const QList<int> all = levels();
    const int now = int(std::lround(value() * 100));
    const auto next = std::find_if(all.rbegin(), all.rend(), [now](int level) { return level < now; });
    setLevel(next == all.rend() ? all.first() : *next);
}
