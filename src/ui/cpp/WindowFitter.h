#pragma once
// Looks after the main window's frame: takes the saved frame the first time
// the window is set, keeps the window on its screen (when it changes screens
// or the screens change), grows it when asked to show a bigger page and
// shrinks it back to the user's size when the page is smaller again, and
// saves the frame a moment after it stops moving or resizing.
//
// Threading: main thread only. Holds the window and the model weakly; both
// outlive it in practice (it is declared inside the window).

#include "app/AppModel.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QQuickWindow>
#include <QRectF>
#include <QTimer>
#include <QtQmlIntegration/qqmlintegration.h>

class QScreen;

class WindowFitter : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(QQuickWindow *window READ window WRITE setWindow NOTIFY windowChanged)
    Q_PROPERTY(AppModel *app READ app WRITE setApp NOTIFY appChanged)
    // How long the frame must stay still before it is saved.
    Q_PROPERTY(int saveDelay READ saveDelay WRITE setSaveDelay NOTIFY saveDelayChanged)

public:
    explicit WindowFitter(QObject *parent = nullptr);

    QQuickWindow *window() const { return m_window; }
    void setWindow(QQuickWindow *window);
    AppModel *app() const { return m_app; }
    void setApp(AppModel *app);
    int saveDelay() const { return m_saveTimer.interval(); }
    void setSaveDelay(int ms);

    void classBegin() override {}
    void componentComplete() override;

    // Moves the window onto its screen's free area if it is not wholly there.
    Q_INVOKABLE void refit();
    // Sizes the window for a page of size `content` drawn at `zoom`: as much
    // of it as the user's own size would show at 100 %, zoomed, as far as
    // the screen allows, and never smaller than the user's size. So at
    // 100 % the window has the user's size again.
    Q_INVOKABLE void showWhole(QSizeF content, double zoom);
    // Saves the window's frame now.
    Q_INVOKABLE void saveNow();

Q_SIGNALS:
    void windowChanged();
    void appChanged();
    void saveDelayChanged();

private:
    void attach();
    void watchScreen(QScreen *screen);
    void frameChanged();

    QPointer<QQuickWindow> m_window;
    QPointer<AppModel> m_app;
    QList<QMetaObject::Connection> m_watches;
    QMetaObject::Connection m_screenWatch;
    QTimer m_saveTimer;
    bool m_complete = false;
    bool m_restored = false;
    // Set while the fitter itself moves the window, so that is not saved.
    bool m_applying = false;
    // The size the user last gave the window, and the size the fitter grew
    // it to beyond that (empty when it has not). Any other size is the user's.
    QSize m_userSize;
    QSize m_grownSize;
};
