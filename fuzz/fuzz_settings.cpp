// Feeds arbitrary bytes as the settings file and reads back each value the
// program trusts at start: the zoom, the theme and the two window frames.

#include "Scratch.h"

#include "app/ChromeThemes.h"
#include "app/WindowFrame.h"
#include "app/Zoom.h"
#include "help/SavedFrame.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

bool finite(const QRectF &r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

bool close(double a, double b) { return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)}); }

void checkZoom(QSettings &store)
{
    const double zoom = KVZoom(&store).value();
    if (!(zoom >= KVZoom::min && zoom <= KVZoom::max))
        broken("a zoom outside 85 %…200 %");
    if (!close(std::round(zoom * 100), zoom * 100))
        broken("a zoom that isn't a whole percent");
}

void checkTheme(QSettings &store)
{
    ChromeThemeStore themes(&store, QStringLiteral("klvo.td.theme"), QStringLiteral("midnight"));
    if (!themes.ids().contains(themes.themeId()) || !(themes.theme() == ChromeThemes::named(themes.themeId())))
        broken("a theme that isn't one of the themes");
}

void checkWindowFrame(QSettings &store)
{
    const std::optional<QRectF> frame = TDWindow::savedFrame(store);
    if (!frame)
        return;
    if (!finite(*frame) || frame->width() < TDWindow::smallestSavedSide || frame->height() < TDWindow::smallestSavedSide)
        broken("a saved frame that isn't finite or is smaller than 100 × 100");
    // Where the window opens: on the screen, at least the minimum size.
    for (const QRectF &screen : {QRectF(0, 0, 1280, 720), QRectF(-1920, 0, 1920, 1080), QRectF(0, 24, 3840, 2136)}) {
        const QRectF fitted = TDWindow::fit(*frame, screen);
        if (!finite(fitted) || !screen.contains(fitted))
            broken("a saved frame put off the screen");
        if (fitted.width() < TDWindow::minSize.width() || fitted.height() < TDWindow::minSize.height())
            broken("a saved frame opened smaller than the smallest window");
    }
    // Saved again as it came, it reads back the same.
    TDWindow::save(*frame, store);
    const std::optional<QRectF> again = TDWindow::savedFrame(store);
    if (!again || !close(again->x(), frame->x()) || !close(again->y(), frame->y())
        || !close(again->width(), frame->width()) || !close(again->height(), frame->height()))
        broken("a saved frame that doesn't read back");
}

void checkHelpFrame()
{
    SavedFrame frame;
    frame.setName(QStringLiteral("KLVOHelpWindow"));
    const QRect loaded = frame.load();
    if (loaded.isNull())
        return;
    if (loaded.width() < 100 || loaded.height() < 100)
        broken("a help window frame smaller than 100 × 100");
    frame.save(loaded);
    if (frame.load() != loaded)
        broken("a help window frame that doesn't read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool once = [] {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Fuzz::scratch());
        QCoreApplication::setOrganizationName(QStringLiteral("fuzz"));
        return true;
    }();
    (void)once;
    // A name of its own each run: QSettings caches files by name.
    static quint64 run = 0;
    QCoreApplication::setApplicationName(QStringLiteral("run%1").arg(++run));
    const QString path = Fuzz::scratch() + QStringLiteral("/fuzz/run%1.ini").arg(run);
    QDir().mkpath(Fuzz::scratch() + QStringLiteral("/fuzz"));
    Fuzz::writeFile(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    {
        QSettings store;
        if (store.fileName() != path)
            std::abort();
        checkZoom(store);
        checkTheme(store);
        checkWindowFrame(store);
        checkHelpFrame();
    }
    QFile::remove(path);
    return 0;
}
