#include "app/WindowRules.h"

#include "app/AppModel.h"
#include "drives/TDDetect.h"
#include "images/ImageInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace TDWindow {

QString statusText(int connectedCount, int runningJobs, int waitingJobs, bool demo)
{
    QStringList parts;
    if (connectedCount > 0)
        parts << QString::number(connectedCount) + (connectedCount == 1 ? QStringLiteral(" BURNER") : QStringLiteral(" BURNERS"));
    else
        parts << QStringLiteral("NO BURNER FOUND");
    if (runningJobs > 0)
        parts << QString::number(runningJobs) + QStringLiteral(" RUNNING");
    if (waitingJobs > 0)
        parts << QString::number(waitingJobs) + QStringLiteral(" WAITING");
    if (demo)
        parts << QStringLiteral("DEMO MODE");
    return parts.join(QStringLiteral(" · "));
}

} // namespace TDWindow

double TDLayout::designWidth(double viewportWidth, double zoom)
{
    // A zoom of 0 or less would divide by nothing; such a page is laid out at 100 %.
    const double z = zoom > 0 ? zoom : 1.0;
    return std::max(viewportWidth / z, designMinWidth);
}

QSizeF WindowRules::defaultSize(double visibleWidth, double visibleHeight)
{
    if (visibleWidth <= 0 || visibleHeight <= 0)
        return TDWindow::defaultSize(std::nullopt);
    return TDWindow::defaultSize(QSizeF(visibleWidth, visibleHeight));
}

QRectF WindowRules::fit(const QRectF &frame, const QRectF &visible)
{
    return TDWindow::fit(frame, visible);
}

QVariant WindowRules::savedFrame(AppModel *app)
{
    if (!app || !app->store())
        return {};
    const std::optional<QRectF> frame = TDWindow::savedFrame(*app->store());
    return frame ? QVariant(*frame) : QVariant();
}

void WindowRules::save(AppModel *app, const QRectF &frame)
{
    if (app && app->store())
        TDWindow::save(frame, *app->store());
}

double WindowRules::designWidth(double viewportWidth, double zoom)
{
    return TDLayout::designWidth(viewportWidth, zoom);
}

QString WindowRules::statusText(int connectedCount, int runningJobs, int waitingJobs, bool demo)
{
    return TDWindow::statusText(connectedCount, runningJobs, waitingJobs, demo);
}

QStringList WindowRules::imageExtensions()
{
    return ImageInfo::burnableExtensions();
}

QString WindowRules::localPath(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

QUrl WindowRules::dialogFolder(const QString &near)
{
    if (!near.isEmpty()) {
        const QFileInfo here(QFileInfo(near).absolutePath());
        if (here.isDir())
            return QUrl::fromLocalFile(here.absoluteFilePath());
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return QUrl::fromLocalFile(documents);
    return QUrl::fromLocalFile(QDir::homePath());
}

QString WindowRules::cdTextWarning(const QString &text)
{
    return TDDetect::cdTextWarning(text);
}

QString WindowRules::noBurnerMessage()
{
    return TDMessages::noBurner;
}
