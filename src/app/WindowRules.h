#pragma once
// The window's size rules, its saved frame, the width the page is laid out
// at under zoom, and the header's status line. Pure functions of their
// arguments (plus the settings store for the frame), so they can be checked
// without a screen; `WindowRules` hands them to QML.
//
// Threading: the free functions are reentrant. `WindowRules` is a QML
// singleton, one per engine, used on the main thread; it owns nothing.

#include <QObject>
#include <QRectF>
#include <QSettings>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include "app/WindowFrame.h"

class AppModel;
Q_MOC_INCLUDE("app/AppModel.h")

namespace TDWindow {
// The header's status line: burners, running and waiting jobs, demo mode,
// joined by " · ".
QString statusText(int connectedCount, int runningJobs, int waitingJobs, bool demo);
} // namespace TDWindow

namespace TDLayout {
// The narrowest the page is ever laid out at; a narrower view scrolls.
inline constexpr double designMinWidth = 1180;
// The width the page is laid out at before it is scaled by `zoom`.
double designWidth(double viewportWidth, double zoom);
} // namespace TDLayout

// The rules above for QML. Frames are read from and written to the
// application model's settings store.
class WindowRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QSizeF minSize READ minSize CONSTANT)
    Q_PROPERTY(double designMinWidth READ designMinWidth CONSTANT)
    // Extensions of the images the program burns, for the open dialog's filter.
    Q_PROPERTY(QStringList imageExtensions READ imageExtensions CONSTANT)
    // What the burners card says when no burner is connected.
    Q_PROPERTY(QString noBurnerMessage READ noBurnerMessage CONSTANT)

public:
    using QObject::QObject;

    static QSizeF minSize() { return TDWindow::minSize; }
    static double designMinWidth() { return TDLayout::designMinWidth; }
    static QStringList imageExtensions();
    static QString noBurnerMessage();

    // A width or height of 0 or less counts as no screen.
    Q_INVOKABLE static QSizeF defaultSize(double visibleWidth, double visibleHeight);
    Q_INVOKABLE static QRectF fit(const QRectF &frame, const QRectF &visible);
    // The saved frame as a rect, or undefined.
    Q_INVOKABLE static QVariant savedFrame(AppModel *app);
    Q_INVOKABLE static void save(AppModel *app, const QRectF &frame);
    Q_INVOKABLE static double designWidth(double viewportWidth, double zoom);
    Q_INVOKABLE static QString statusText(int connectedCount, int runningJobs, int waitingJobs, bool demo);
    // The local path of a dropped file URL; "" for anything else.
    Q_INVOKABLE static QString localPath(const QUrl &url);
    // Where a save dialog opens: the folder holding `near` (a file, or a
    // folder whose parent is meant) when it exists, else the documents
    // folder when it exists, else home. Only looks at the file system's
    // entries for those folders, never reads them.
    Q_INVOKABLE static QUrl dialogFolder(const QString &near);
    // The line under a CD-Text field naming what won't survive; "" when all does.
    Q_INVOKABLE static QString cdTextWarning(const QString &text);
};
