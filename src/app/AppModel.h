#pragma once
// The one application object. It owns the six decks, the six audio projects,
// the job queue, the data cards' models, the theme store and the burn log, and
// is the one way any part of the program reports to the user (log()).
//
// Threading: created on the main thread and used only there. Work running
// elsewhere reports back through queued calls. The log file is written by its
// own writer thread, never by the main thread.

#include "app/ChromeThemes.h"
#include "app/Enums.h"
#include "app/LogFile.h"
#include "app/LogModel.h"

#include "images/ImageInfo.h"
#include "platform/api/DiscService.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QtQmlIntegration/qqmlintegration.h>
#include <memory>
#include <optional>

class Deck;
class QTimer;
class DiscProject;
class JobQueue;
class BurnImageModel;
class MakeImageModel;
class CopyDiscModel;
class EraseModel;
class ChecksumModel;
class VerifyModel;
class MountModel;
class KVZoom;
class DesktopNotifier;
struct DesktopNote;
Q_MOC_INCLUDE("drives/Deck.h")
Q_MOC_INCLUDE("audio/DiscProject.h")
Q_MOC_INCLUDE("queue/JobQueue.h")
Q_MOC_INCLUDE("app/BurnImageModel.h")
Q_MOC_INCLUDE("app/MakeImageModel.h")
Q_MOC_INCLUDE("app/CopyDiscModel.h")
Q_MOC_INCLUDE("app/EraseModel.h")
Q_MOC_INCLUDE("app/ChecksumModel.h")
Q_MOC_INCLUDE("app/VerifyModel.h")
Q_MOC_INCLUDE("app/MountModel.h")
Q_MOC_INCLUDE("app/Zoom.h")

class AppModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created once by the program")
    Q_PROPERTY(Tandor::BurnMode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(QString modeName READ modeName NOTIFY modeChanged)
    Q_PROPERTY(QString modeHelp READ modeHelp NOTIFY modeChanged)
    Q_PROPERTY(Tandor::MainTab tab READ tab WRITE setTab NOTIFY tabChanged)
    Q_PROPERTY(int deckSetting READ deckSetting WRITE setDeckSetting NOTIFY deckSettingChanged)
    Q_PROPERTY(int editingIndex READ editingIndex WRITE setEditingIndex NOTIFY editingIndexChanged)
    Q_PROPERTY(bool test READ test WRITE setTest NOTIFY testChanged)
    Q_PROPERTY(bool verify READ verify WRITE setVerify NOTIFY verifyChanged)
    Q_PROPERTY(bool matchLoudness READ matchLoudness WRITE setMatchLoudness NOTIFY matchLoudnessChanged)
    Q_PROPERTY(bool demo READ demo WRITE setDemo NOTIFY demoChanged)
    Q_PROPERTY(int copies READ copies WRITE setCopies NOTIFY copiesChanged)
    Q_PROPERTY(int copiesDone READ copiesDone NOTIFY copiesDoneChanged)
    Q_PROPERTY(int copiesStarted READ copiesStarted NOTIFY copiesStartedChanged)
    // What Copies mode burns: empty for the audio project, else the cue of a
    // master copy (copyFromSheet), and that master as the Copies card names it.
    Q_PROPERTY(QString copySource READ copySource NOTIFY copySourceChanged)
    Q_PROPERTY(QString copySourceName READ copySourceName NOTIFY copySourceChanged)
    // Decks whose image burn, running or the last one ended, is a copy of the
    // stack: their cards tell it as the Audio CD screen's own news.
    Q_PROPERTY(QList<int> stackDecks READ stackDecks NOTIFY stackDecksChanged)
    Q_PROPERTY(LogModel *logLines READ logLines CONSTANT)
    Q_PROPERTY(int connectedCount READ connectedCount NOTIFY connectedCountChanged)
    Q_PROPERTY(int drivesSeen READ drivesSeen NOTIFY drivesSeenChanged)
    Q_PROPERTY(QList<DiscProject *> projects READ projects CONSTANT)
    Q_PROPERTY(QList<Deck *> decks READ decks CONSTANT)
    Q_PROPERTY(JobQueue *queue READ queue CONSTANT)
    // The cards of the Data & ISO and Checksums & Mount screens.
    Q_PROPERTY(BurnImageModel *burnImage READ burnImage CONSTANT)
    Q_PROPERTY(MakeImageModel *makeImage READ makeImage CONSTANT)
    Q_PROPERTY(CopyDiscModel *copyDisc READ copyDisc CONSTANT)
    Q_PROPERTY(EraseModel *eraseDisc READ eraseDisc CONSTANT)
    Q_PROPERTY(ChecksumModel *checksums READ checksums CONSTANT)
    Q_PROPERTY(VerifyModel *verifyImage READ verifyImage CONSTANT)
    Q_PROPERTY(MountModel *mounts READ mounts CONSTANT)
    Q_PROPERTY(ChromeThemeStore *themes READ themes CONSTANT)
    Q_PROPERTY(KVZoom *zoom READ zoom CONSTANT)
    Q_PROPERTY(ChromeTheme theme READ theme NOTIFY themeChanged)
    Q_PROPERTY(bool anyBusy READ anyBusy NOTIFY decksChanged)
    Q_PROPERTY(int visibleCount READ visibleCount NOTIFY decksChanged)
    Q_PROPERTY(QList<Deck *> visibleDecks READ visibleDecks NOTIFY decksChanged)
    Q_PROPERTY(DiscProject *editingProject READ editingProject NOTIFY editingProjectChanged)
    Q_PROPERTY(QString logFilePath READ logFilePath CONSTANT)
    // Desktop notifications when work ends while the window is in the background.
    Q_PROPERTY(bool notifications READ notifications WRITE setNotifications NOTIFY notificationsChanged)
    // Set by the window: whether the user is looking at it.
    Q_PROPERTY(bool windowActive READ windowActive WRITE setWindowActive NOTIFY windowActiveChanged)

public:
    struct Config
    {
        QSettings *store = nullptr; // must outlive the model
        // False: no drive watching of any kind (tests of the model alone).
        bool watchHardware = true;
        QString logFile = TDLogFile::defaultPath();
        DiscService *service = nullptr; // the burners; must outlive the model
        // Where desktop notifications go; none: they are never sent. Must
        // outlive the model.
        DesktopNotifier *notifier = nullptr;
    };

    // Every 4 s the burners are checked, in case a notification was missed.
    static constexpr int hardwareWatchMs = 4000;

    explicit AppModel(const Config &config, QObject *parent = nullptr);
    ~AppModel() override;

    // Appends a line to the burn log: on top of logLines and at the end of the
    // file. `detail`, when given, is a tool's own words behind `text`: the
    // card shows it under the line, the file on the next line, indented.
    Q_INVOKABLE void log(const QString &text, const QString &detail = {});

    BurnMode mode() const { return m_mode; }
    void setMode(BurnMode mode);
    QString modeName() const { return Tandor::messageName(m_mode); }
    QString modeHelp() const { return Tandor::helpText(m_mode); }
    MainTab tab() const { return m_tab; }
    void setTab(MainTab tab);
    int deckSetting() const { return m_deckSetting; }
    void setDeckSetting(int decks);
    int editingIndex() const { return m_editingIndex; }
    void setEditingIndex(int index);
    bool test() const { return m_test; }
    void setTest(bool on);
    bool verify() const { return m_verify; }
    void setVerify(bool on);
    bool matchLoudness() const { return m_matchLoudness; }
    void setMatchLoudness(bool on);
    bool demo() const { return m_demo; }
    void setDemo(bool on);
    int copies() const { return m_copies; }
    // Kept within minCopies…maxCopies, the range the Copies card offers.
    void setCopies(int copies);
    static constexpr int minCopies = 1;
    static constexpr int maxCopies = 500;
    int copiesDone() const { return m_copiesDone; }
    int copiesStarted() const { return m_copiesStarted; }
    QString copySource() const { return m_copySource ? m_copySource->info.path : QString(); }
    QString copySourceName() const { return m_copySource ? m_copySource->name : QString(); }
    QList<int> stackDecks() const { return m_stackDecks; }
    // Makes the master copy `sheet` (a cue or toc) what Copies mode burns,
    // once it has been looked at off the main thread: each copy is an image
    // burn of it, compared with it track by track when Verify is on. The mode
    // becomes Copies and the count starts afresh; while audio burns or copies
    // run, that waits until they have ended. A sheet that can't be burned is
    // logged and the source stays as it was.
    void copyFromSheet(const QString &sheet);
    // Copies mode burns the audio project again (the count starts afresh).
    // Refused with a log line while a deck is busy.
    Q_INVOKABLE void copyProject();
    LogModel *logLines() const { return m_logLines; }
    int connectedCount() const { return m_connectedCount; }
    int drivesSeen() const { return m_drivesSeen; }
    QList<DiscProject *> projects() const { return m_projects; }
    QList<Deck *> decks() const { return m_decks; }
    JobQueue *queue() const { return m_queue; }
    BurnImageModel *burnImage() const { return m_burnImage; }
    MakeImageModel *makeImage() const { return m_makeImage; }
    CopyDiscModel *copyDisc() const { return m_copyDisc; }
    EraseModel *eraseDisc() const { return m_eraseDisc; }
    ChecksumModel *checksums() const { return m_checksums; }
    VerifyModel *verifyImage() const { return m_verifyImage; }
    MountModel *mounts() const { return m_mounts; }
    KVZoom *zoom() const { return m_zoom; }
    ChromeThemeStore *themes() const { return m_themes; }
    const ChromeTheme &theme() const { return m_themes->theme(); }
    QSettings *store() const { return m_store; }
    TDLogFile &logFile() { return m_logFile; }
    QString logFilePath() const { return m_logFile.path(); }
    bool notifications() const { return m_notifications; }
    void setNotifications(bool on);
    bool windowActive() const { return m_windowActive; }
    void setWindowActive(bool active);

    bool anyBusy() const;
    int visibleCount() const;
    QList<Deck *> visibleDecks() const;
    DiscProject *editingProject() const;
    // The disc `deck` burns in the current mode.
    DiscProject *projectFor(const Deck *deck) const;
    // The same for the screens, which re-read it when the mode changes; null for no deck.
    Q_INVOKABLE DiscProject *projectForDeck(Deck *deck) const { return deck ? projectFor(deck) : nullptr; }

    // How many deck cards to show, given which decks hold a burner or are at
    // work (`active`, deck order) and the "decks" setting (0 = Auto).
    static int visibleCountFor(const QList<bool> &active, int deckSetting);

    // Files handed to the program (command line, a second copy, the desktop):
    // the first disc image goes to the burn-image card, everything else becomes
    // tracks of the first project.
    Q_INVOKABLE void openFiles(const QStringList &paths);

    // Writes a copy of the whole log file to `target` (replacing it) without
    // blocking; falls back to the lines in memory when the file can't be read.
    // A failure is logged. Emits logCopySaved when finished.
    Q_INVOKABLE void saveLogCopy(const QString &target);
    // Opens the file manager with the log file selected.
    Q_INVOKABLE void revealLogFile();

    // Audio burns. Starts the deck's disc (by mode) with the model's options.
    Q_INVOKABLE void start(Deck *deck);
    // Starts every shown deck that is ready, 1.5 s apart.
    Q_INVOKABLE void burnAll();
    // Clears the Copies counters (every mode pick does).
    Q_INVOKABLE void resetQueue();
    // Decks are started this far apart so burners don't draw peak power together.
    static constexpr int staggerMs = 1500;

    // Seconds every demo run lasts; 0 (the default) lets each run decide.
    double demoSeconds() const { return m_demoSeconds; }
    void setDemoSeconds(double seconds);

    // The burners now present: their keys in service order (the first device
    // with a key wins) and each key's device.
    struct Drives
    {
        QStringList order;
        QHash<QString, DiscDeviceRef> byKey;
    };
    Drives currentDrives() const;
    // Matches the burners now present to decks, logging who came and went.
    void assignDevices();
    // assignDevices, but only when the set of burners changed.
    void assignIfChanged();
    // The Refresh Drives command: the service reads every tray again.
    Q_INVOKABLE void refreshDrives();
    DiscService *service() const { return m_service; }

Q_SIGNALS:
    void modeChanged();
    void tabChanged();
    void deckSettingChanged();
    void editingIndexChanged();
    void testChanged();
    void verifyChanged();
    void matchLoudnessChanged();
    void demoChanged();
    void copiesChanged();
    void copiesDoneChanged();
    void copiesStartedChanged();
    void copySourceChanged();
    void stackDecksChanged();
    void connectedCountChanged();
    void drivesSeenChanged();
    void themeChanged();
    void decksChanged();
    void editingProjectChanged();
    void logCopySaved(const QString &target, bool ok);
    void notificationsChanged();
    void windowActiveChanged();
    // Another copy of the program was started and handed its files over.
    void activationRequested();

private:
    void setConnectedCount(int count);
    void setCopiesStarted(int count);
    void setCopiesDone(int count);
    void setDrivesSeen(int count);
    void onDeviceStatus();
    // What follows a deck's report.
    void deckStateChanged();
    void queueDeckReady(Deck *deck);
    void deckFinished(Deck *deck);
    // A copy of the stack ended on `deck`, `done` or failed (not stopped):
    // the count moves on and the deck waits for its next blank.
    void copyEnded(Deck *deck, bool done);
    // Copies mode with a master: the copy `job` is an image burn of it.
    void burnStackCopy(Deck *deck, const QString &job);
    void setStackDeck(const Deck *deck, bool on);
    // Whether an audio burn or a copy of the stack is running on any deck.
    bool copiesRunning() const;
    struct CopySource
    {
        ImageInfo info;
        QString name;
    };
    void applyCopySource(const std::optional<CopySource> &source);
    void deckStopped(Deck *deck);
    // A Mirror burn is one piece of work: its decks' ends make one note, once
    // none of them is still burning (`ending` has just ended or stopped).
    void tellMirrorBurn(Deck *ending);
    // Every copy of the stack is taken: decks waiting for a blank stop waiting.
    void stopWaitingDecks();
    // Tells the desktop, unless the user is looking or has turned it off.
    void notify(const DesktopNote &note);

    QSettings *m_store;
    TDLogFile m_logFile;
    LogModel *m_logLines;
    BurnMode m_mode = BurnMode::mirror;
    MainTab m_tab = MainTab::audio;
    ChromeThemeStore *m_themes;
    int m_deckSetting = 0;
    int m_editingIndex = 0;
    bool m_test = false;
    bool m_verify = true;
    bool m_matchLoudness = true;
    bool m_demo = false;
    int m_copies = 10;
    int m_copiesDone = 0;
    int m_copiesStarted = 0;
    std::optional<CopySource> m_copySource;
    // A master read while copies were running, applied once they end.
    std::optional<CopySource> m_pendingSource;
    QList<int> m_stackDecks;
    bool m_startingCopy = false; // inside burnStackCopy's call to the deck
    int m_connectedCount = 0;
    int m_drivesSeen = 0;
    QList<DiscProject *> m_projects;
    QList<Deck *> m_decks;
    JobQueue *m_queue;
    BurnImageModel *m_burnImage = nullptr;
    MakeImageModel *m_makeImage = nullptr;
    CopyDiscModel *m_copyDisc = nullptr;
    EraseModel *m_eraseDisc = nullptr;
    ChecksumModel *m_checksums = nullptr;
    VerifyModel *m_verifyImage = nullptr;
    MountModel *m_mounts = nullptr;
    KVZoom *m_zoom;
    const bool m_watchHardware;
    DiscService *m_service;
    QTimer *m_watch = nullptr;
    double m_demoSeconds = 0;
    DesktopNotifier *m_notifier;
    bool m_notifications = true;
    // Decks whose Mirror burn ended while others of it still burn.
    QList<QPointer<Deck>> m_mirrorEnded;
    // Until a window says otherwise, nobody is away to be told.
    bool m_windowActive = true;
};
