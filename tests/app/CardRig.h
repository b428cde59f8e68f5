#pragma once
// The application model on scripted burners, for the data cards' models:
// jobs stay as queued, so what an action adds can be read off the queue.

#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/LogModel.h"
#include "queue/JobQueue.h"

struct CardRig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    ScriptedDiscService service;
    QList<std::shared_ptr<ScriptedDevice>> devices;
    std::unique_ptr<AppModel> model;

    explicit CardRig(int burners = 0)
    {
        for (int i = 0; i < burners; ++i)
            devices.append(service.plug(QStringLiteral("Burner %1").arg(i), env.path(QStringLiteral("dev%1").arg(i))));
        model = std::make_unique<AppModel>(
            AppModel::Config{settings.get(), true, env.path(QStringLiteral("log.txt")), &service});
        model->refreshDrives();
        queue()->setAutoStart(false);
    }
    JobQueue *queue() const { return model->queue(); }
    QString lastLine() const { return model->logLines()->lines().first().text; }
    QStringList titles() const
    {
        QStringList out;
        for (const QJob &j : queue()->jobs())
            out.append(j.title);
        return out;
    }
};
