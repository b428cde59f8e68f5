#pragma once
// A real application model on scripted burners (or any other burner
// service) in a private home: the set-up the model, card and window tests
// share.

#include "AudioFixtures.h"
#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/LogModel.h"
#include "drives/Deck.h"
#include "queue/JobQueue.h"

struct ModelRig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    ScriptedDiscService service;
    QList<std::shared_ptr<ScriptedDevice>> devices;
    std::unique_ptr<AppModel> model;

    // With `burnerService`, the model takes its burners from there (it must
    // outlive the rig) and `burners` is ignored.
    explicit ModelRig(int burners = 0, DiscService *burnerService = nullptr, DesktopNotifier *notifier = nullptr)
    {
        for (int i = 0; i < burners && !burnerService; ++i)
            devices.append(service.plug(QStringLiteral("B%1").arg(i), env.path(QStringLiteral("dev%1").arg(i))));
        model = std::make_unique<AppModel>(AppModel::Config{settings.get(), true, env.path(QStringLiteral("log.txt")),
                                                            burnerService ? burnerService : &service, notifier});
    }
    Deck *deck(int i) const { return model->decks().at(i); }
    JobQueue *queue() const { return model->queue(); }
    QString lastLine() const { return model->logLines()->lines().first().text; }
    // The burn log, oldest first.
    QStringList texts() const
    {
        QStringList out;
        for (const auto &l : model->logLines()->lines())
            out.prepend(l.text);
        return out;
    }
    bool addTones(int project, const QStringList &names, double seconds = 0.3)
    {
        return ::addTones(env, model->projects().at(project), names, seconds);
    }
    // Starts deck `i` on its disc; the scripted burner keeps writing until told.
    ScriptedJob *startBurning(int i)
    {
        const qsizetype before = service.jobs.size();
        model->start(deck(i));
        if (!QTest::qWaitFor([&] { return service.jobs.size() > before; }, 10000))
            return nullptr;
        return service.jobs.last().job;
    }
};

// For the data cards' models: jobs stay as queued, so what an action adds
// can be read off the queue.
struct CardRig : ModelRig
{
    explicit CardRig(int burners = 0)
        : ModelRig(burners)
    {
        model->refreshDrives();
        queue()->setAutoStart(false);
    }
    QStringList titles() const
    {
        QStringList out;
        for (const QJob &j : queue()->jobs())
            out.append(j.title);
        return out;
    }
};
