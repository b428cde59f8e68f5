#pragma once
// The application model on its own: no drive watch, no burners, a private
// home. `stored` goes into the settings before the model reads them.

#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/LogModel.h"

#include <QVariantMap>

struct AppModelAlone
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    QString logPath;
    std::unique_ptr<AppModel> model;

    explicit AppModelAlone(const QVariantMap &stored = {}, const QString &log = QStringLiteral("log.txt"))
        : logPath(env.path(log))
    {
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            settings->setValue(it.key(), it.value());
        reopen();
    }
    // A new model on the same settings and log, as at the next start.
    void reopen()
    {
        model.reset();
        model = std::make_unique<AppModel>(AppModel::Config{settings.get(), false, logPath});
    }
    const QList<LogLine> &lines() const { return model->logLines()->lines(); } // newest first
};
