#include "app/WindowFrame.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace TDWindow {

QSizeF defaultSize(std::optional<QSizeF> visible)
{
    const QSizeF v = visible.value_or(noScreenSize);
    const auto side = [](double v, double m, double p) { return std::max(std::min(v, m), std::min(std::floor(0.94 * v), p)); };
    return {side(v.width(), minSize.width(), preferred.width()), side(v.height(), minSize.height(), preferred.height())};
}

namespace {
// One axis of fit(): size first, then position.
void fitAxis(double &start, double &length, double visibleStart, double visibleLength, double minimum)
{
    length = std::min(std::max(length, std::min(visibleLength, minimum)), visibleLength);
    if (start + length > visibleStart + visibleLength)
        start = visibleStart + visibleLength - length;
    if (start < visibleStart)
        start = visibleStart;
}
} // namespace

QRectF fit(const QRectF &frame, const QRectF &visible)
{
    double x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    fitAxis(x, w, visible.x(), visible.width(), minSize.width());
    fitAxis(y, h, visible.y(), visible.height(), minSize.height());
    const double left = std::floor(x), top = std::floor(y);
    return {left, top, std::ceil(x + w) - left, std::ceil(y + h) - top};
}

QRectF grownToShow(const QRectF &frame, const QSizeF &content, const QRectF &visible)
{
    const auto side = [](double now, double wanted, double room) {
        return std::max(now, std::min(std::ceil(wanted), room));
    };
    QRectF grown = frame;
    grown.setWidth(side(frame.width(), content.width(), visible.width()));
    grown.setHeight(side(frame.height(), content.height(), visible.height()));
    return fit(grown, visible);
}

QString frameText(const QRectF &frame)
{
    const auto n = [](double v) { return QString::number(v, 'g', 12); };
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(n(frame.x()), n(frame.y()), n(frame.width()), n(frame.height()));
}

std::optional<QRectF> parseFrame(const QString &text)
{
    static const QString num = QStringLiteral(R"(\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*)");
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*\{\s*\{%1,%1\}\s*,\s*\{%1,%1\}\s*\}\s*$)").arg(num));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = match.captured(i + 1).toDouble(&ok);
        if (!ok || !std::isfinite(v[i]))
            return std::nullopt;
    }
    return QRectF(v[0], v[1], v[2], v[3]);
}

std::optional<QRectF> savedFrame(const QSettings &defaults)
{
    const QVariant stored = defaults.value(frameKey);
    if (!stored.isValid())
        return std::nullopt;
    const std::optional<QRectF> frame = parseFrame(stored.toString());
    if (!frame || frame->width() < smallestSavedSide || frame->height() < smallestSavedSide)
        return std::nullopt;
    return frame;
}

void save(const QRectF &frame, QSettings &defaults)
{
    defaults.setValue(frameKey, frameText(frame));
}

} // namespace TDWindow
