#pragma once
// The real main window (Main.qml) on a real model with scripted burners (or
// any other burner service), for the window tests. The test program imports
// the QML plugins itself.

#include "ModelRig.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTest>
#include <QtQuickTest/quicktest.h>

#include <algorithm>
#include <functional>

struct MainWindowRig : ModelRig
{
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;

    // `beforeLoad` sets up the model and settings before the window is made.
    explicit MainWindowRig(int burners, const std::function<void(MainWindowRig &)> &beforeLoad = {},
                           DiscService *burnerService = nullptr)
        : ModelRig(burners, burnerService)
    {
        // A symbol a screen shows but the icon table lacks would draw nothing.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("no glyph for the symbol")));
        if (beforeLoad)
            beforeLoad(*this);
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->setInitialProperties({{QStringLiteral("app"), QVariant::fromValue(model.get())}});
        engine->load(QUrl(QStringLiteral("qrc:/Tandor/qml/Main.qml")));
        if (!engine->rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    }
    // The window goes before the model it shows.
    ~MainWindowRig() { engine.reset(); }

    template<typename T = QQuickItem>
    T *find(const QString &name) const { return window ? window->findChild<T *>(name) : nullptr; }

    // Items made by repeaters and list views are visual children only, so
    // these walk the item tree (from `root`, or the whole window).
    QList<QQuickItem *> findAll(const QString &name, QQuickItem *root = nullptr) const
    {
        QList<QQuickItem *> found;
        QList<QQuickItem *> todo{root ? root : (window ? window->contentItem() : nullptr)};
        while (!todo.isEmpty()) {
            QQuickItem *item = todo.takeFirst();
            if (!item)
                continue;
            if (item->objectName() == name)
                found.append(item);
            todo += item->childItems();
        }
        return found;
    }
    // The items called `name`, top to bottom (a list view keeps its
    // delegates in the order it made them, not in the order they show).
    QList<QQuickItem *> rows(const QString &name) const
    {
        QList<QQuickItem *> all = findAll(name);
        std::sort(all.begin(), all.end(),
                  [](QQuickItem *a, QQuickItem *b) { return a->mapToScene({}).y() < b->mapToScene({}).y(); });
        return all;
    }
    // The entry of an open Menu that reads `text`.
    static QQuickItem *menuEntry(QObject *menu, const QString &text)
    {
        QQuickItem *item = nullptr;
        for (int i = 0; i < menu->property("count").toInt(); ++i) {
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, item), Q_ARG(int, i));
            if (item->property("text").toString() == text)
                return item;
        }
        return nullptr;
    }
    QQuickItem *item(const QString &name, QQuickItem *root = nullptr) const
    {
        const QList<QQuickItem *> all = findAll(name, root);
        return all.isEmpty() ? nullptr : all.first();
    }

    bool show()
    {
        window->show();
        window->requestActivate();
        return QTest::qWaitForWindowActive(window);
    }
    // Scrolls the zoomed page until `target` is in view, as a user would,
    // and returns its centre in window coordinates.
    QPoint reveal(QQuickItem *target, QPointF at = {-1, -1}) const
    {
        QQuickItem *host = find(QStringLiteral("zoomHost"));
        if (at.x() < 0)
            at = QPointF(target->width() / 2, target->height() / 2);
        if (host) {
            const double y = target->mapToItem(host, at).y();
            if (y < 20 || y > host->height() - 20) {
                const double contentY = host->property("contentY").toDouble() + y - host->height() / 2;
                const double most = host->property("contentHeight").toDouble() - host->height();
                host->setProperty("contentY", std::clamp(contentY, 0.0, std::max(most, 0.0)));
            }
        }
        return target->mapToScene(at).toPoint();
    }
    // Types `text` into whatever has the keyboard focus, a key at a time.
    void type(const QString &text) const
    {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, QString(c), Qt::NoModifier);
        settle();
    }
    // Clicks where the user would see `target` (scrolled into view) once the
    // window has laid out what the last action changed.
    void click(QQuickItem *target, QPointF at = {-1, -1}) const
    {
        settle();
        QTest::mouseClick(window, Qt::LeftButton, {}, reveal(target, at));
        settle();
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(window, key, modifiers);
        settle();
    }
    // The file dialog the window opened, once it shows.
    static QFileDialog *fileDialog()
    {
        QFileDialog *found = nullptr;
        (void)QTest::qWaitFor([&found] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
                    found = dialog;
            }
            return found != nullptr;
        });
        return found;
    }
    // Types `text` over the name the file dialog proposes and presses Enter,
    // or presses Esc when `text` is null; true once the dialog is gone.
    static bool answerFileDialog(const QString &text)
    {
        const QPointer<QFileDialog> dialog = fileDialog();
        auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name)
            return false;
        name->selectAll();
        QTest::keyClicks(name, text);
        QTest::keyClick(name, text.isNull() ? Qt::Key_Escape : Qt::Key_Return);
        return QTest::qWaitFor([&dialog] { return !dialog || !dialog->isVisible(); });
    }
    // Lets the window lay out pending changes, as it does before a user sees them.
    void settle() const
    {
        if (window && window->isVisible())
            QQuickTest::qWaitForPolish(window);
    }
};
