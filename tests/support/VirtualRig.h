#pragma once
// A real application model on `count` unthrottled virtual burners, each
// writing its discs under the test's own folders.

#include "ImageFixtures.h"
#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/CopyDiscModel.h"
#include "app/LogModel.h"
#include "drives/Deck.h"
#include "platform/virtual/VirtualDiscService.h"
#include "queue/JobQueue.h"

struct VirtualRig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    VirtualDiscService *burners;
    std::unique_ptr<DiscService> owner;
    std::unique_ptr<AppModel> model;

    explicit VirtualRig(int count)
        : burners(new VirtualDiscService(count))
        , owner(burners)
    {
        burners->setUnthrottled(true);
        model = std::make_unique<AppModel>(
            AppModel::Config{settings.get(), true, env.path(QStringLiteral("log.txt")), burners});
    }
    Deck *deck(int i) const { return model->decks().at(i); }
    // Where the burner on deck `deckIndex` puts its discs.
    QString folder(int deckIndex) const { return burners->outputFolder(burners->burnerNumbers().at(deckIndex)); }
    // A data CD, "Holiday", in drive sr7, whose device is the file `device`;
    // the copy card is shown it.
    DiscInfo insertDisc(const QString &device, qint64 bytes)
    {
        const DiscInfo info = dataCD(bytes, QStringLiteral("Holiday"));
        model->queue()->setDiscLookup([info, device](const QString &bsd) -> std::optional<JobQueue::DiscSource> {
            return bsd == info.bsdName ? std::optional(JobQueue::DiscSource{info, device}) : std::nullopt;
        });
        model->copyDisc()->applyDiscs({info}, false);
        return info;
    }
    // The burn log, oldest first.
    QStringList texts() const
    {
        QStringList out;
        for (const auto &l : model->logLines()->lines())
            out.prepend(l.text);
        return out;
    }
};
