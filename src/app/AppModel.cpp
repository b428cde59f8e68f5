#include "app/AppModel.h"

#include "app/BurnImageModel.h"
#include "app/CardSupport.h"
#include "app/ChecksumModel.h"
#include "app/CopyDiscModel.h"
#include "app/EraseModel.h"
#include "app/MakeImageModel.h"
#include "app/MountModel.h"
#include "app/SaveFile.h"
#include "app/VerifyModel.h"
#include "app/WorkNotices.h"
#include "app/Zoom.h"
#include "audio/DiscProject.h"
#include "base/OffMain.h"
#include "base/TDError.h"
#include "drives/Deck.h"
#include "drives/TDDetect.h"
#include "platform/linux/FileManager.h"
#include "platform/linux/Libburn.h"
#include "platform/sheets/DiscSheet.h"
#include "queue/JobQueue.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimer>
#include <QThread>
#include <QCoreApplication>

#include <algorithm>

namespace {
const QString tabKey = QStringLiteral("klvo.td.tab");
const QString decksKey = QStringLiteral("decks");
const QString themeKey = QStringLiteral("klvo.td.theme");
const QString notificationsKey = QStringLiteral("klvo.td.notifications");

// “Left out 2 files that aren't audio: “a.mp3”, “b.jpg”.” A long list
// names the first few and counts the rest.
QString leftOutLine(const QStringList &names, DiscProject::LeftOut why)
{
    constexpr qsizetype named = 10;
    const bool one = names.size() == 1;
    QString text = QStringLiteral("Left out ") + QString::number(names.size())
        + (one ? QStringLiteral(" file that ") : QStringLiteral(" files that "));
    switch (why) {
    case DiscProject::LeftOut::notAudio:
        text += one ? QStringLiteral("isn't audio") : QStringLiteral("aren't audio");
        break;
    case DiscProject::LeftOut::unreadable:
        text += QStringLiteral("can't be read");
        break;
    }
    QStringList quoted;
    for (const QString &name : names.mid(0, named))
        quoted.append(QStringLiteral("“") + name + QStringLiteral("”"));
    text += QStringLiteral(": ") + quoted.join(QStringLiteral(", "));
    if (names.size() > named)
        text += QStringLiteral(" and ") + QString::number(names.size() - named) + QStringLiteral(" more");
    return text + QStringLiteral(".");
}
} // namespace

AppModel::AppModel(const Config &config, QObject *parent)
    : QObject(parent)
    , m_store(config.store)
    , m_logFile(config.logFile)
    , m_logLines(new LogModel(this))
    , m_themes(new ChromeThemeStore(config.store, themeKey, QStringLiteral("midnight"), this))
    , m_queue(new JobQueue(this))
    , m_zoom(new KVZoom(config.store, this))
    , m_watchHardware(config.watchHardware)
    , m_service(config.service)
    , m_notifier(config.notifier)
{
    Q_ASSERT(m_store);
    Q_ASSERT_X(QThread::currentThread() == thread() && (!QCoreApplication::instance()
                   || QThread::currentThread() == QCoreApplication::instance()->thread()),
               "AppModel", "must be created on the main thread");

    for (int i = 0; i < maxDecks; ++i) {
        m_projects.append(new DiscProject(this));
        m_decks.append(new Deck(i, this));
        // However the files came in (opened with the program, dropped, the
        // Add dialog), what was left out is said here.
        connect(m_projects.last(), &DiscProject::filesLeftOut, this,
                [this](const QStringList &names, DiscProject::LeftOut why) { log(leftOutLine(names, why)); });
        connect(m_projects.last(), &DiscProject::logged, this, [this](const QString &line) { log(line); });
    }

    // Stored values that name no screen, or aren't numbers, fall back to the
    // defaults; both are written straight back so the store always holds a
    // valid value.
    m_tab = Tandor::mainTabFromRaw(m_store->value(tabKey).toString());
    m_store->setValue(tabKey, Tandor::rawValue(m_tab));
    bool ok = false;
    m_deckSetting = m_store->value(decksKey).toInt(&ok);
    if (!ok)
        m_deckSetting = 0;
    m_store->setValue(decksKey, m_deckSetting);
    m_notifications = m_store->value(notificationsKey, true).toBool();

    // The decks report; the model decides what follows.
    for (Deck *deck : std::as_const(m_decks)) {
        deck->setService(m_service);
        connect(deck, &Deck::deviceChanged, this, &AppModel::decksChanged);
        connect(deck, &Deck::stateSettled, this, &AppModel::deckStateChanged);
        connect(deck, &Deck::blankReady, this, [this, deck] { queueDeckReady(deck); });
        connect(deck, &Deck::audioBurnEnded, this, [this, deck] { deckFinished(deck); });
        connect(deck, &Deck::audioBurnStopped, this, [this, deck] { deckStopped(deck); });
        connect(deck, &Deck::logged, this, &AppModel::log);
        // Any other work the deck takes on is no copy of the stack.
        connect(deck, &Deck::opChanged, this, [this, deck] {
            if (deck->op() != Deck::Op::none && !m_startingCopy)
                setStackDeck(deck, false);
        });
    }
    m_queue->setDecks(m_decks);
    m_queue->setDemo(m_demo);
    connect(this, &AppModel::demoChanged, m_queue, [this] { m_queue->setDemo(m_demo); });
    connect(m_queue, &JobQueue::logged, this, &AppModel::log);
    connect(m_queue, &JobQueue::jobEnded, this, [this](const QJob &job) {
        if (const std::optional<DesktopNote> note = WorkNotices::jobEnded(job))
            notify(*note);
    });

    // The data cards' models, and the one link between them: images the make
    // and copy cards queue are burned after, when asked, on the burn card's decks.
    const LogFn logLine = [this](const QString &text, const QString &detail) { log(text, detail); };
    m_burnImage = new BurnImageModel(this);
    m_makeImage = new MakeImageModel(m_queue, logLine, this);
    m_copyDisc = new CopyDiscModel(m_queue, m_decks, logLine, this);
    m_eraseDisc = new EraseModel(m_queue, this);
    m_checksums = new ChecksumModel(m_queue, logLine, this);
    m_verifyImage = new VerifyModel(m_queue, logLine, this);
    m_mounts = new MountModel(logLine, this);
    connect(m_makeImage, &MakeImageModel::imageQueued, m_burnImage,
            [this](const QString &output, const QUuid &job) { m_burnImage->burnWhenMade(output, job, std::nullopt); });
    connect(m_copyDisc, &CopyDiscModel::imageQueued, m_burnImage, &BurnImageModel::burnWhenMade);
    connect(m_copyDisc, &CopyDiscModel::burnNow, m_burnImage, &BurnImageModel::burnCopy);
    connect(m_copyDisc, &CopyDiscModel::stackReady, this, &AppModel::copyFromSheet);

    connect(m_themes, &ChromeThemeStore::themeChanged, this, &AppModel::themeChanged);

    log(QStringLiteral("Engine ready: libburn ") + Libburn::version()
        + QStringLiteral(". Audio CDs, data discs and disc images on up to ") + QString::number(maxDecks)
        + QStringLiteral(" burners."));

    if (!m_watchHardware || !m_service)
        return;
    // Queued: the service's notifications are handled from the event loop,
    // never inside the service's own call stack.
    connect(m_service, &DiscService::devicesChanged, this, &AppModel::assignDevices, Qt::QueuedConnection);
    connect(m_service, &DiscService::deviceStatusChanged, this, &AppModel::onDeviceStatus, Qt::QueuedConnection);
    assignDevices();
    if (m_drivesSeen == 0)
        log(TDMessages::noBurner);
    // Burners that the system reports late are picked up by these two checks.
    QTimer::singleShot(1000, this, &AppModel::assignIfChanged);
    QTimer::singleShot(3000, this, &AppModel::assignIfChanged);
    m_watch = new QTimer(this);
    m_watch->setInterval(hardwareWatchMs);
    connect(m_watch, &QTimer::timeout, this, &AppModel::assignIfChanged);
    m_watch->start();
}

AppModel::~AppModel() = default;

void AppModel::log(const QString &text, const QString &detail)
{
    const QDateTime now = QDateTime::currentDateTime();
    m_logLines->prepend({QUuid::createUuid(), now.toString(QStringLiteral("HH:mm:ss")), text, detail});
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_logFile.append(stamp + QStringLiteral("  ") + text);
    if (!detail.isEmpty())
        m_logFile.append(QString(stamp.size(), QLatin1Char(' ')) + QStringLiteral("    ") + detail);
}

void AppModel::setMode(BurnMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    Q_EMIT modeChanged();
    Q_EMIT editingProjectChanged();
    log(QStringLiteral("Mode set to ") + Tandor::messageName(mode) + QStringLiteral("."));
}

void AppModel::setTab(MainTab tab)
{
    if (tab == m_tab)
        return;
    m_tab = tab;
    m_store->setValue(tabKey, Tandor::rawValue(tab));
    Q_EMIT tabChanged();
}

void AppModel::setDeckSetting(int decks)
{
    if (decks == m_deckSetting)
        return;
    m_deckSetting = decks;
    m_store->setValue(decksKey, decks);
    Q_EMIT deckSettingChanged();
    Q_EMIT decksChanged();
}

void AppModel::setEditingIndex(int index)
{
    if (index < 0 || index >= maxDecks || index == m_editingIndex)
        return;
    m_editingIndex = index;
    Q_EMIT editingIndexChanged();
    Q_EMIT editingProjectChanged();
}

void AppModel::setTest(bool on) { setField(this, m_test, on, &AppModel::testChanged); }
void AppModel::setVerify(bool on) { setField(this, m_verify, on, &AppModel::verifyChanged); }
void AppModel::setMatchLoudness(bool on) { setField(this, m_matchLoudness, on, &AppModel::matchLoudnessChanged); }
void AppModel::setDemo(bool on) { setField(this, m_demo, on, &AppModel::demoChanged); }
void AppModel::setCopies(int copies) { setField(this, m_copies, std::clamp(copies, minCopies, maxCopies), &AppModel::copiesChanged); }

bool AppModel::anyBusy() const
{
    return std::any_of(m_decks.cbegin(), m_decks.cend(), [](const Deck *d) { return d->busy(); });
}

int AppModel::visibleCountFor(const QList<bool> &active, int deckSetting)
{
    int n = 0;
    for (int i = int(active.size()) - 1; i >= 0; --i) {
        if (active[i]) {
            n = i + 1;
            break;
        }
    }
    n = std::min(n, maxDecks);
    if (deckSetting == 0)
        return std::clamp(n, 2, maxDecks);
    return std::min(std::max(deckSetting, n), maxDecks);
}

int AppModel::visibleCount() const
{
    QList<bool> active;
    for (const Deck *d : m_decks) {
        const auto s = d->state();
        active.append(d->hasDrive() || s == Deck::State::preparing || s == Deck::State::burning
                      || s == Deck::State::working);
    }
    return visibleCountFor(active, m_deckSetting);
}

QList<Deck *> AppModel::visibleDecks() const
{
    return m_decks.mid(0, visibleCount());
}

DiscProject *AppModel::editingProject() const
{
    return m_mode == BurnMode::independent ? m_projects[m_editingIndex] : m_projects[0];
}

DiscProject *AppModel::projectFor(const Deck *deck) const
{
    return m_mode == BurnMode::independent ? m_projects[deck->index()] : m_projects[0];
}

void AppModel::openFiles(const QStringList &paths)
{
    QStringList images, others;
    for (const QString &path : paths) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (ImageInfo::burnableExtensions().contains(QFileInfo(path).suffix().toLower()))
            images.append(absolute);
        else
            others.append(absolute);
    }
    if (!images.isEmpty()) {
        m_burnImage->setImage(images.first());
        setTab(MainTab::data);
    }
    if (others.isEmpty())
        return;
    m_projects[0]->add(others, [this](int added) {
        log(QStringLiteral("Added ") + QString::number(added) + QStringLiteral(" track(s) to the disc."));
        setTab(MainTab::audio);
    });
}

void AppModel::saveLogCopy(const QString &target)
{
    // The copy is made on the log's writer thread after every pending line is
    // written, so it holds the whole log and the main thread never waits.
    const QString source = m_logFile.path();
    const QString fallback = m_logLines->chronologicalText();
    const QPointer<QObject> guard(this);
    m_logFile.whenWritten([this, guard, source, fallback, target] {
        QByteArray text;
        QFile in(source);
        bool whole = false;
        if (in.open(QIODevice::ReadOnly)) {
            // Qt returns what came before a read error as if it were all;
            // only the file's full length counts as read. Nothing else
            // writes the file while this task runs on its writer.
            const qint64 size = in.size();
            text = in.readAll();
            whole = in.error() == QFileDevice::NoError && text.size() == size;
        }
        if (!whole)
            text = fallback.toUtf8();
        const QString error = SaveFile::replace(target, text);
        postToMain(guard, [this, target, error] {
            if (!error.isEmpty())
                log(QStringLiteral("Couldn't save the log: ") + error);
            Q_EMIT logCopySaved(target, error.isEmpty());
        });
    });
}

void AppModel::revealLogFile()
{
    const QString path = m_logFile.path();
    const QPointer<QObject> guard(this);
    m_logFile.whenWritten([guard, path] { postToMain(guard, [path] { FileManager::reveal(path); }); });
}

void AppModel::setNotifications(bool on)
{
    if (on == m_notifications)
        return;
    m_notifications = on;
    m_store->setValue(notificationsKey, on);
    Q_EMIT notificationsChanged();
}

void AppModel::setWindowActive(bool active) { setField(this, m_windowActive, active, &AppModel::windowActiveChanged); }

void AppModel::notify(const DesktopNote &note)
{
    if (m_notifier && m_notifications && !m_windowActive)
        m_notifier->send(note);
}

void AppModel::setDemoSeconds(double seconds)
{
    m_demoSeconds = seconds;
    for (Deck *deck : std::as_const(m_decks))
        deck->setDemoSeconds(seconds);
}

void AppModel::deckStateChanged()
{
    if (m_pendingSource && !copiesRunning())
        applyCopySource(std::exchange(m_pendingSource, std::nullopt));
    Q_EMIT decksChanged();
    m_queue->pump();
}

void AppModel::setCopiesStarted(int count) { setField(this, m_copiesStarted, std::max(count, 0), &AppModel::copiesStartedChanged); }
void AppModel::setCopiesDone(int count) { setField(this, m_copiesDone, count, &AppModel::copiesDoneChanged); }

void AppModel::start(Deck *deck)
{
    if (m_queue->usesDeck(deck->index())) {
        log(QStringLiteral("Deck ") + deck->letter()
            + QStringLiteral(" is waiting for a job in the queue. Remove that job first."));
        return;
    }
    // A busy deck ignores a start, and would still look busy afterwards: a
    // copy taken for it here would never be given back.
    if (deck->busy())
        return;
    if (m_mode != BurnMode::queue) {
        deck->start(projectFor(deck), m_test, m_verify, m_matchLoudness, m_demo, QString());
        return;
    }
    if (m_copiesStarted >= m_copies) {
        log(QStringLiteral("Copies: all ") + QString::number(m_copies) + QStringLiteral(" copies are started or done."));
        return;
    }
    // A refusal the deck would give at once is given here, before a copy is taken.
    if (const MediaReport report = deck->dataReport(std::nullopt); m_copySource && !m_demo && !report.ready) {
        log(QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ") + report.text + QStringLiteral("."));
        return;
    }
    setCopiesStarted(m_copiesStarted + 1);
    const QString job = QStringLiteral("Copy %1 of %2").arg(m_copiesStarted).arg(m_copies);
    if (m_copySource)
        burnStackCopy(deck, job);
    else
        deck->start(m_projects[0], m_test, m_verify, m_matchLoudness, m_demo, job);
    if (!deck->busy())
        setCopiesStarted(m_copiesStarted - 1); // refused: the copy is not taken
    else if (m_copiesStarted >= m_copies)
        stopWaitingDecks();
}

void AppModel::burnStackCopy(Deck *deck, const QString &job)
{
    setStackDeck(deck, true);
    const QPointer<AppModel> self(this);
    const QPointer<Deck> guard(deck);
    m_startingCopy = true;
    // The comparison with the master reads every sector, so the burner's
    // own read-back would only read the disc twice: Verify means the comparison.
    deck->burnImage(m_copySource->info, m_test, false, m_verify, m_demo, job,
                    [self, guard, job](bool ok, const QString &message) {
                        if (!self || !guard || self->m_mode != BurnMode::queue)
                            return;
                        if (guard->state() == Deck::State::stopped) {
                            self->setCopiesStarted(self->m_copiesStarted - 1);
                            return;
                        }
                        if (!ok) {
                            const QString prefix = QStringLiteral("Deck ") + guard->letter() + QStringLiteral(": ");
                            self->log(QStringLiteral("Copies: ") + job + QStringLiteral(" failed on ") + prefix
                                      + (message.startsWith(prefix) ? message.mid(prefix.size()) : message)
                                      + QStringLiteral(" It is made again on the next blank."));
                        }
                        self->copyEnded(guard, ok);
                    });
    m_startingCopy = false;
}

void AppModel::setStackDeck(const Deck *deck, bool on)
{
    if (m_stackDecks.contains(deck->index()) == on)
        return;
    if (on)
        m_stackDecks.append(deck->index());
    else
        m_stackDecks.removeOne(deck->index());
    Q_EMIT stackDecksChanged();
}

bool AppModel::copiesRunning() const
{
    return std::any_of(m_decks.cbegin(), m_decks.cend(), [this](const Deck *d) {
        return d->busy() && (d->op() == Deck::Op::audio || m_stackDecks.contains(d->index()));
    });
}

void AppModel::copyFromSheet(const QString &sheet)
{
    struct Look
    {
        std::optional<ImageInfo> info;
        QString why;
        QString name;
    };
    offMain(
        this,
        [sheet] {
            Look look;
            look.info = ImageInfo::examine(sheet, &look.why);
            if (!look.info || !look.info->problem.isEmpty())
                return look;
            // The master is named by its CD-Text when it has some.
            QString name = QStringLiteral("“") + fileNameOf(sheet) + QStringLiteral("”");
            qsizetype tracks = 0;
            try {
                const DiscSheet disc = DiscSheet::read(sheet);
                tracks = disc.tracks.size();
                if (!disc.title.isEmpty())
                    name = QStringLiteral("“") + disc.title + QStringLiteral("”")
                        + (disc.performer.isEmpty() ? QString() : QStringLiteral(" by ") + disc.performer);
            } catch (const TDError &) {
                // examine() read it a moment ago; the file name will do.
            }
            if (tracks > 0)
                name += QStringLiteral(" (%1 track%2)").arg(tracks).arg(tracks == 1 ? QString() : QStringLiteral("s"));
            look.name = name;
            return look;
        },
        [this, sheet](const Look &look) {
            if (!look.info || !look.info->problem.isEmpty()) {
                log(QStringLiteral("Copies: ") + fileNameOf(sheet) + QStringLiteral(" can't be copied. ")
                    + (look.info ? look.info->problem : look.why));
                return;
            }
            const CopySource source{*look.info, look.name};
            if (!copiesRunning()) {
                applyCopySource(source);
                return;
            }
            m_pendingSource = source;
            log(QStringLiteral("Copies: the master ") + source.name
                + QStringLiteral(" is read; the stack copies it once the burns running now have ended."));
        });
}

void AppModel::applyCopySource(const std::optional<CopySource> &source)
{
    m_copySource = source;
    Q_EMIT copySourceChanged();
    if (source) {
        setMode(BurnMode::queue);
        log(QStringLiteral("Copies: each new copy is of the master ") + source->name
            + (m_verify ? QStringLiteral(", compared with it once burned.") : QStringLiteral(".")));
    } else {
        log(QStringLiteral("Copies: each new copy is of the audio project."));
    }
    resetQueue();
}

void AppModel::copyProject()
{
    if (!m_copySource)
        return;
    if (anyBusy()) {
        log(QStringLiteral("Copies: what is copied can change once every deck is free."));
        return;
    }
    applyCopySource(std::nullopt);
}

void AppModel::stopWaitingDecks()
{
    for (Deck *deck : m_decks)
        deck->stopWaiting();
}

void AppModel::burnAll()
{
    QList<Deck *> ready;
    for (Deck *deck : visibleDecks()) {
        if (deck->busy() || m_queue->usesDeck(deck->index()))
            continue;
        if (m_demo || (deck->hasDrive() && deck->blankLoaded()))
            ready.append(deck);
    }
    if (ready.isEmpty()) {
        log(m_demo                  ? QStringLiteral("Nothing to start.")
            : m_connectedCount == 0 ? TDMessages::noBurner
                                    : QStringLiteral("No deck has a blank CD-R loaded yet."));
        return;
    }
    // Each start re-checks the deck when it runs: it may have changed meanwhile.
    for (int i = 0; i < ready.size(); ++i)
        QTimer::singleShot(i * staggerMs, Qt::PreciseTimer, ready[i], [this, deck = ready[i]] { start(deck); });
}

void AppModel::resetQueue()
{
    setCopiesDone(0);
    setCopiesStarted(0);
    // A new count or mode: no deck is owed the copy its line still names.
    stopWaitingDecks();
}

void AppModel::queueDeckReady(Deck *deck)
{
    if (m_mode != BurnMode::queue || deck->state() != Deck::State::waiting || m_copiesStarted >= m_copies)
        return;
    deck->stopWaiting();
    start(deck);
}

void AppModel::deckFinished(Deck *deck)
{
    if (m_mode == BurnMode::mirror) {
        m_mirrorEnded.append(deck);
        tellMirrorBurn(deck);
        return;
    }
    if (m_mode != BurnMode::queue) {
        notify(WorkNotices::audioBurn({deck}));
        return;
    }
    copyEnded(deck, deck->state() == Deck::State::done);
}

void AppModel::copyEnded(Deck *deck, bool done)
{
    if (done)
        setCopiesDone(m_copiesDone + 1);
    else
        setCopiesStarted(m_copiesStarted - 1);
    if (m_copiesStarted >= m_copies) {
        stopWaitingDecks();
        if (m_copiesDone >= m_copies)
            log(QStringLiteral("Copies: all ") + QString::number(m_copies) + QStringLiteral(" copies are done."));
        // The stack is told once, by the copy that completes it; a failed
        // copy is made again on the next blank, so it isn't news on its own.
        if (done && m_copiesDone == m_copies)
            notify(WorkNotices::copiesDone(m_copies));
        return;
    }
    deck->waitForBlank(QStringLiteral("Insert a blank CD-R for copy ") + QString::number(m_copiesStarted + 1));
    if (m_demo) {
        QPointer<Deck> waiting(deck);
        QTimer::singleShot(staggerMs, this, [this, waiting] {
            if (waiting)
                queueDeckReady(waiting);
        });
    }
}

void AppModel::deckStopped(Deck *deck)
{
    if (m_mode == BurnMode::queue)
        setCopiesStarted(m_copiesStarted - 1);
    // A stopped deck isn't news, but the others' ends may have waited for it.
    if (!m_mirrorEnded.isEmpty())
        tellMirrorBurn(deck);
}

void AppModel::tellMirrorBurn(Deck *ending)
{
    for (const Deck *other : std::as_const(m_decks)) {
        if (other != ending && other->busy() && other->op() == Deck::Op::audio)
            return;
    }
    QList<const Deck *> ended;
    for (const QPointer<Deck> &deck : std::exchange(m_mirrorEnded, {})) {
        if (deck)
            ended.append(deck);
    }
    if (!ended.isEmpty())
        notify(WorkNotices::audioBurn(ended));
}

void AppModel::setConnectedCount(int count) { setField(this, m_connectedCount, count, &AppModel::connectedCountChanged); }
void AppModel::setDrivesSeen(int count) { setField(this, m_drivesSeen, count, &AppModel::drivesSeenChanged); }

AppModel::Drives AppModel::currentDrives() const
{
    Drives drives;
    if (!m_service)
        return drives;
    for (const DiscDeviceRef &device : m_service->devices()) {
        const QString key = Deck::keyFor(*device);
        if (drives.byKey.contains(key))
            continue;
        drives.order.append(key);
        drives.byKey.insert(key, device);
    }
    return drives;
}

void AppModel::assignDevices()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &AppModel::assignDevices, Qt::QueuedConnection);
        return;
    }
    const Drives drives = currentDrives();
    setDrivesSeen(int(drives.order.size()));
    QStringList current;
    for (const Deck *deck : std::as_const(m_decks))
        current.append(deck->deviceKey());
    const QStringList next = TDDetect::assign(current, drives.order);
    for (int i = 0; i < maxDecks; ++i) {
        Deck *deck = m_decks[i];
        if (next[i] == deck->deviceKey())
            continue;
        if (deck->hasDrive()) {
            log(QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ") + deck->driveName()
                + QStringLiteral(" was unplugged."));
            if (deck->busy())
                deck->stop();
        }
        deck->attach(drives.byKey.value(next[i]));
        if (deck->hasDrive()) {
            const QString name = deck->device()->displayName();
            log(QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ")
                + (name.isEmpty() ? QStringLiteral("burner") : name) + QStringLiteral(" found. ")
                + deck->mediaText() + QStringLiteral("."));
        }
    }
    if (drives.order.size() > maxDecks)
        log(QStringLiteral("More than 6 burners connected. Extra ones are ignored."));
    setConnectedCount(int(std::count_if(m_decks.cbegin(), m_decks.cend(), [](const Deck *d) { return d->hasDrive(); })));
    for (Deck *deck : std::as_const(m_decks))
        deck->refreshStatus();
    Q_EMIT decksChanged();
    m_queue->pump();
}

void AppModel::assignIfChanged()
{
    const QStringList present = currentDrives().order;
    QSet<QString> assigned;
    for (const Deck *deck : std::as_const(m_decks))
        if (!deck->deviceKey().isEmpty())
            assigned.insert(deck->deviceKey());
    if (QSet<QString>(present.cbegin(), present.cend()) != assigned)
        assignDevices();
}

void AppModel::onDeviceStatus()
{
    assignIfChanged();
    for (Deck *deck : std::as_const(m_decks))
        deck->refreshStatus();
    m_queue->pump();
}

void AppModel::refreshDrives()
{
    // The trays are read again in the background; what the readings find
    // comes back as status notifications.
    if (m_service)
        m_service->refresh();
    assignDevices();
    for (Deck *deck : std::as_const(m_decks))
        deck->refreshStatus();
    if (m_drivesSeen == 0) {
        log(QStringLiteral("Refresh: ") + TDMessages::noBurner);
    } else {
        QStringList entries;
        for (const Deck *deck : std::as_const(m_decks))
            if (deck->hasDrive())
                entries.append(QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ") + deck->mediaText());
        log(QStringLiteral("Refresh: ") + QString::number(m_drivesSeen) + QStringLiteral(" drive(s) found. ")
            + entries.join(QStringLiteral(" · ")));
    }
    m_queue->pump();
}
