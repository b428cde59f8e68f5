#pragma once
// The window's size rules and its saved frame: pure functions of their
// arguments (plus the settings store for the frame), apart from the rest of
// the window rules so the frame read back from the settings can be checked
// on its own.
//
// Threading: reentrant.

#include <QRectF>
#include <QSettings>
#include <QSizeF>
#include <QString>
#include <optional>

namespace TDWindow {
// The smallest window, and the largest size a first window opens at.
inline constexpr QSizeF minSize{900, 560};
inline constexpr QSizeF preferred{1440, 960};
// The visible area assumed when the system names no screen.
inline constexpr QSizeF noScreenSize{1280, 720};
inline const QString frameKey = QStringLiteral("klvo.td.windowFrame");
// Frames smaller than this in either direction are not worth restoring.
inline constexpr double smallestSavedSide = 100;

// Per dimension: max(min(v, minSize), min(floor(0.94 v), preferred)).
QSizeF defaultSize(std::optional<QSizeF> visible);
// Grows the frame to the smaller of the minimum and the screen, shrinks it
// to the screen, moves it back onto the screen, then rounds outwards.
QRectF fit(const QRectF &frame, const QRectF &visible);
// The frame grown (never shrunk) towards `content` in each direction, as far
// as the screen allows, then fitted to the screen.
QRectF grownToShow(const QRectF &frame, const QSizeF &content, const QRectF &visible);

// "{{x, y}, {w, h}}", the text the frame is kept as.
QString frameText(const QRectF &frame);
// The frame in that text; none for anything else.
std::optional<QRectF> parseFrame(const QString &text);
// The saved frame, or none when absent, unreadable or smaller than 100 × 100.
std::optional<QRectF> savedFrame(const QSettings &defaults);
void save(const QRectF &frame, QSettings &defaults);

} // namespace TDWindow
