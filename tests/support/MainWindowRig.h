#pragma once
// The real main window (Main.qml) on a real model with scripted burners, for
// the window tests. The test program imports the QML plugins itself.

#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "app/AppModel.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <functional>

struct MainWindowRig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    ScriptedDiscService service;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;

    // `beforeLoad` sets up the model and settings before the window is made.
    explicit MainWindowRig(int burners, const std::function<void(MainWindowRig &)> &beforeLoad = {})
    {
        for (int i = 0; i < burners; ++i)
            service.plug(QStringLiteral("B%1").arg(i), env.path(QStringLiteral("dev%1").arg(i)));
        model = std::make_unique<AppModel>(
            AppModel::Config{settings.get(), true, env.path(QStringLiteral("log.txt")), &service});
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
    T *find(const QString &name) const
    {
        return window ? window->findChild<T *>(name) : nullptr;
    }
};
