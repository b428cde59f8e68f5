#pragma once
// A real application model in a private home, on its own (AppModelAlone), on
// scripted burners (ModelRig), unthrottled virtual ones (VirtualRig) or any
// other burner service: the set-up the model, queue and window tests share.

#include "AudioFixtures.h"
#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/CopyDiscModel.h"
#include "app/LogModel.h"
#include "drives/Deck.h"
#include "platform/virtual/VirtualDiscService.h"
#include "queue/JobQueue.h"

#include <QTest>
#include <QVariantMap>

// The home, settings and model every rig has, and what the tests read off
// them. A rig that owns the burner service resets `model` first on its way
// out: the model must not outlive its burners.
struct AppRig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    QString logPath = env.path(QStringLiteral("log.txt"));
    std::unique_ptr<AppModel> model;

    void open(DiscService *burners, bool watch = true, DesktopNotifier *notifier = nullptr)
    {
        model = std::make_unique<AppModel>(AppModel::Config{settings.get(), watch, logPath, burners, notifier});
    }
    Deck *deck(int i) const { return model->decks().at(i); }
    JobQueue *queue() const { return model->queue(); }
    // The burn log, oldest first.
    QStringList texts() const
    {
        QStringList out;
        for (const auto &l : model->logLines()->lines())
            out.prepend(l.text);
        return out;
    }
    QString lastLine() const { return texts().last(); }
    int lines(const QString &text) const { return int(texts().count(text)); }
    QString log() const { return texts().join(QLatin1Char('\n')); }
};

// The model on its own: no drive watch, no burners. `stored` goes into the
// settings before the model reads them.
struct AppModelAlone : AppRig
{
    explicit AppModelAlone(const QVariantMap &stored = {}, const QString &log = QStringLiteral("log.txt"))
    {
        logPath = env.path(log);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            settings->setValue(it.key(), it.value());
        reopen();
    }
    // A new model on the same settings and log, as at the next start.
    void reopen() { model.reset(); open(nullptr, false); }
    const QList<LogLine> &lines() const { return model->logLines()->lines(); } // newest first
};

struct ModelRig : AppRig
{
    ScriptedDiscService service;
    QList<std::shared_ptr<ScriptedDevice>> devices;

    // With `burnerService`, the model takes its burners from there (it must
    // outlive the rig) and `burners` is ignored.
    explicit ModelRig(int burners = 0, DiscService *burnerService = nullptr, DesktopNotifier *notifier = nullptr)
    {
        for (int i = 0; i < burners && !burnerService; ++i)
            devices.append(service.plug(QStringLiteral("B%1").arg(i), env.path(QStringLiteral("dev%1").arg(i))));
        open(burnerService ? burnerService : &service, true, notifier);
    }
    ~ModelRig() { model.reset(); }
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
    explicit CardRig(int burners = 0) : ModelRig(burners)
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

// `count` virtual burners, each writing its discs under the test's folders,
// looked at once.
struct VirtualRig : AppRig
{
    std::unique_ptr<VirtualDiscService> burners;

    explicit VirtualRig(int count) : burners(std::make_unique<VirtualDiscService>(count))
    {
        burners->setUnthrottled(true);
        open(burners.get());
        model->refreshDrives();
    }
    ~VirtualRig() { model.reset(); }
    // Where the burner on deck `deckIndex` puts its discs.
    QString folder(int deckIndex) const { return burners->outputFolder(burners->burnerNumbers().at(deckIndex)); }
    QJob job(const QUuid &id) const { return *queue()->job(id); }
    JobState state(const QUuid &id) const { return queue()->job(id) ? job(id).state : JobState::waiting; }
    // A data CD, "Holiday", in drive sr7, whose device is the file `device`;
    // the copy card is shown it.
    DiscInfo insertDisc(const QString &device, qint64 bytes)
    {
        const DiscInfo info = dataCD(bytes, QStringLiteral("Holiday"));
        queue()->setDiscLookup([info, device](const QString &bsd) -> std::optional<JobQueue::DiscSource> {
            return bsd == info.bsdName ? std::optional(JobQueue::DiscSource{info, device}) : std::nullopt;
        });
        model->copyDisc()->applyDiscs({info}, false);
        return info;
    }
    // Waits for the job added last to end; its detail, and its state in `state`.
    QString runLastJob(JobState *state)
    {
        const QUuid id = queue()->jobs().last().id;
        if (!QTest::qWaitFor([&] { return queue()->job(id)->finished(); }, 30000))
            return QStringLiteral("(still running)");
        *state = job(id).state;
        return job(id).detail;
    }
    // A blank in deck `d`'s burner, and the deck seeing it.
    bool blank(int d)
    {
        if (!deck(d)->blankLoaded())
            burners->insertBlank(burners->burnerNumbers().at(d));
        model->refreshDrives();
        return QTest::qWaitFor([&] { return deck(d)->blankLoaded(); }, 10000);
    }
};
