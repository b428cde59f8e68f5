#include "WindowFitter.h"

#include "app/AppModel.h"
#include "app/WindowRules.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QScreen>

WindowFitter::WindowFitter(QObject *parent)
    : QObject(parent)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(500);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowFitter::saveNow);
}

void WindowFitter::setWindow(QQuickWindow *window)
{
    if (m_window == window)
        return;
    m_window = window;
    Q_EMIT windowChanged();
    attach();
}

void WindowFitter::setApp(AppModel *app)
{
    if (m_app == app)
        return;
    m_app = app;
    Q_EMIT appChanged();
    attach();
}

void WindowFitter::setSaveDelay(int ms)
{
    if (ms == m_saveTimer.interval())
        return;
    m_saveTimer.setInterval(ms);
    Q_EMIT saveDelayChanged();
}

void WindowFitter::componentComplete()
{
    m_complete = true;
    attach();
}

void WindowFitter::attach()
{
    // Observations made for an earlier window are dropped first.
    for (const auto &c : std::as_const(m_watches))
        disconnect(c);
    m_watches.clear();
    disconnect(m_screenWatch);
    m_saveTimer.stop();
    if (!m_complete || !m_window || !m_app)
        return;

    QQuickWindow *w = m_window;
    m_watches << connect(w, &QWindow::screenChanged, this, [this](QScreen *screen) {
        watchScreen(screen);
        refit();
    });
    m_watches << connect(qGuiApp, &QGuiApplication::screenAdded, this, &WindowFitter::refit);
    m_watches << connect(qGuiApp, &QGuiApplication::screenRemoved, this, &WindowFitter::refit);
    for (auto signal : {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        m_watches << connect(w, signal, this, &WindowFitter::frameChanged);
    watchScreen(w->screen());
    m_userSize = w->size();
    m_grownSize = {};

    // Only the first window of the run takes the saved frame, and only one
    // with a title bar.
    if (!m_restored && !(w->flags() & Qt::FramelessWindowHint)) {
        m_restored = true;
        const std::optional<QRectF> saved = TDWindow::savedFrame(*m_app->store());
        if (saved) {
            m_applying = true;
            w->setGeometry(saved->toAlignedRect());
            m_applying = false;
        }
    }
    refit();
}

void WindowFitter::watchScreen(QScreen *screen)
{
    disconnect(m_screenWatch);
    if (screen)
        m_screenWatch = connect(screen, &QScreen::availableGeometryChanged, this, &WindowFitter::refit);
}

void WindowFitter::refit()
{
    if (!m_window || !m_window->screen())
        return;
    const QRect frame = m_window->geometry();
    const QRect fitted = TDWindow::fit(QRectF(frame), QRectF(m_window->screen()->availableGeometry())).toAlignedRect();
    if (fitted != frame) {
        m_applying = true;
        m_window->setGeometry(fitted);
        m_applying = false;
    }
}

void WindowFitter::showWhole(QSizeF content, double zoom)
{
    if (!m_window || !m_window->screen() || (m_window->windowStates() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect frame = m_window->geometry();
    // The title bar and borders need room on the screen too.
    const QRect room = m_window->screen()->availableGeometry().marginsRemoved(m_window->frameMargins());
    // Grown from the user's size, not the current one, so a smaller page
    // gives that size back.
    const QSizeF wanted = content.boundedTo(QSizeF(m_userSize) * zoom);
    const QRect grown =
        TDWindow::grownToShow(QRectF(frame.topLeft(), QSizeF(m_userSize)), wanted, QRectF(room)).toAlignedRect();
    m_grownSize = grown.size() == m_userSize ? QSize() : grown.size();
    if (grown != frame)
        m_window->setGeometry(grown);
}

void WindowFitter::frameChanged()
{
    if (m_window && m_window->size() != m_grownSize) {
        m_userSize = m_window->size();
        m_grownSize = {};
    }
    if (!m_applying)
        m_saveTimer.start();
}

void WindowFitter::saveNow()
{
    m_saveTimer.stop();
    if (m_window && m_app && m_app->store())
        TDWindow::save(QRectF(m_window->geometry()), *m_app->store());
}
