#pragma once
// One of the six burner slots, lettered A to F. It holds the burner attached
// to the slot, what that burner can do and what is in its tray, and the state
// of the one operation it runs at a time.
//
// Threading: main thread only. The deck's own background work (audio
// preparation, the SHA-256 read-back, removing prepared files) runs through
// offMain on a pool the deck owns and waits for when it is destroyed; a disc
// copy runs in the job queue and reports to the deck on the main thread.
//
// Ownership: created once by the application model, never replaced. It knows
// nothing of its owner: it reports through signals (state settled, audio burn
// ended or stopped, blank ready, log lines) and is handed the burner service
// it uses, which it holds weakly. It holds its burner through a shared_ptr,
// so an unplugged burner stays valid until the deck lets go.

#include "audio/DiscProject.h"
#include "platform/api/DiscService.h"
#include "drives/ImageBurn.h"
#include "drives/TDDetect.h"
#include "images/ImageInfo.h"

#include <QDateTime>
#include <QStringList>
#include <QMetaEnum>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

class CancelToken;
class CDAudioProducer;
class QTimer;

class Deck : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int index READ index CONSTANT)
    Q_PROPERTY(QString letter READ letter CONSTANT)
    Q_PROPERTY(QString deviceKey READ deviceKey NOTIFY deviceChanged)
    Q_PROPERTY(bool hasDrive READ hasDrive NOTIFY deviceChanged)
    Q_PROPERTY(QString driveName READ driveName NOTIFY deviceChanged)
    Q_PROPERTY(QString interconnect READ interconnect NOTIFY snapshotChanged)
    Q_PROPERTY(QString capsSummary READ capsSummary NOTIFY capsChanged)
    Q_PROPERTY(bool canTestBurn READ canTestBurn NOTIFY capsChanged)
    Q_PROPERTY(QString mediaText READ mediaText NOTIFY mediaTextChanged)
    Q_PROPERTY(bool blankLoaded READ blankLoaded NOTIFY blankLoadedChanged)
    Q_PROPERTY(int maxSpeedX READ maxSpeedX NOTIFY maxSpeedXChanged)
    Q_PROPERTY(int speedX READ speedX WRITE setSpeedX NOTIFY speedXChanged)
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString stateName READ stateName NOTIFY stateChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged)
    Q_PROPERTY(Op op READ op NOTIFY opChanged)
    Q_PROPERTY(QString opName READ opName NOTIFY opChanged)
    Q_PROPERTY(QString lastOpName READ lastOpName NOTIFY opChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(double actualX READ actualX NOTIFY actualXChanged)
    Q_PROPERTY(QString phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(int currentTrack READ currentTrack NOTIFY currentTrackChanged)
    Q_PROPERTY(double buffer READ buffer NOTIFY bufferChanged)
    Q_PROPERTY(QString jobName READ jobName NOTIFY jobNameChanged)
    Q_PROPERTY(QStringList trayMedia READ trayMedia NOTIFY deviceChanged)
    Q_PROPERTY(QString etaText READ etaText NOTIFY etaTextChanged)

public:
    enum class State { idle, preparing, burning, working, done, failed, stopped, waiting };
    Q_ENUM(State)
    enum class Op { none, audio, image, erase, read };
    Q_ENUM(Op)

    explicit Deck(int index, QObject *parent = nullptr);
    ~Deck() override;

    int index() const { return m_index; }
    QString letter() const;
    // The burners the deck burns on; not owned, may be null (no burns then).
    void setService(DiscService *service) { m_service = service; }
    // How long a demo run lasts, in seconds; 0: as long as the disc would take.
    void setDemoSeconds(double seconds) { m_demoSeconds = seconds; }

    const DiscDeviceRef &device() const { return m_device; }
    QString deviceKey() const { return m_deviceKey; }
    bool hasDrive() const { return m_device != nullptr; }
    // The burner's name; "No burner connected" without a burner or a name.
    QString driveName() const;
    QString interconnect() const;
    const DriveCaps &caps() const { return m_caps; }
    QString capsSummary() const { return m_caps.summary(); }
    bool canTestBurn() const { return m_caps.testBurn; }
    QString mediaText() const { return m_mediaText; }
    bool blankLoaded() const { return m_blankLoaded; }
    int maxSpeedX() const { return m_maxSpeedX; }
    // 0 means the drive's top speed.
    int speedX() const { return m_speedX; }
    void setSpeedX(int x);
    State state() const { return m_state; }
    // The state's name ("burning"), for the screens.
    QString stateName() const { return QString::fromLatin1(QMetaEnum::fromType<State>().valueToKey(int(m_state))); }
    // Preparing, burning or working.
    bool busy() const;
    Op op() const { return m_op; }
    // The operation's name ("audio"), for the screens.
    QString opName() const { return QString::fromLatin1(QMetaEnum::fromType<Op>().valueToKey(int(m_op))); }
    // The operation the deck ran last, kept after it ends (none before the
    // first): whose outcome a resting state is.
    QString lastOpName() const { return QString::fromLatin1(QMetaEnum::fromType<Op>().valueToKey(int(m_lastOp))); }
    double progress() const { return m_progress; }
    double actualX() const { return m_actualX; }
    QString phase() const { return m_phase; }
    int currentTrack() const { return m_currentTrack; }
    double buffer() const { return m_buffer; }
    QString jobName() const { return m_jobName; }
    const std::optional<DriveSnapshot> &snapshot() const { return m_snapshot; }
    const std::shared_ptr<CancelToken> &cancelToken() const { return m_cancel; }
    // Time left on an audio burn, "m:ss", or "—".
    QString etaText() const;

    MediaReport dataReport(std::optional<qint64> imageBytes) const;
    // The same line for the screens; `imageBytes` 0 or less: no image chosen.
    Q_INVOKABLE QString dataReportText(double imageBytes) const
    {
        return dataReport(imageBytes > 0 ? std::optional<qint64>(qint64(imageBytes)) : std::nullopt).text;
    }
    MediaReport eraseReport() const;
    MediaReport readReport() const;

    // A fresh reading's identity key.
    static QString keyFor(const DiscDevice &device);

    // Holds `device` (or none) and re-reads its tray.
    void attach(const DiscDeviceRef &device);
    // Re-reads the tray: snapshot, capabilities, top speed and the audio
    // media line. Without a burner: "No burner connected". A burner that
    // can't be used shows why as its media line, and the log says it when
    // it first appears or changes. A waiting deck with a blank in says
    // blankReady; a blank that has just gone in turns a finished, failed or
    // stopped deck back to idle and "Ready".
    Q_INVOKABLE void refreshStatus();

    // A reader of the written CD in the tray, for a worker thread; nullptr
    // without a burner, a CD or a service that reads one (DiscService::openCd).
    std::unique_ptr<CdReader> openCd() const;
    // A disc copy shown on this deck. beginRead returns the token the copy
    // polls; endRead reports its end exactly once.
    std::shared_ptr<CancelToken> beginRead(const QString &job);
    void endRead(bool ok, const QString &message);
    // How far the disc copy shown on this deck has got (0…1).
    void readProgress(double fraction);

    // How an image burn or an erase ended: called once, on the main thread.
    using DoneFn = std::function<void(bool ok, const QString &message)>;

    // Burns `project` as an audio CD: refusals only log; otherwise the audio
    // is prepared in the background and then written. The end is said by
    // audioBurnEnded (or audioBurnStopped after stop()). `project` must stay
    // alive for the burn (the deck reads its length for the time left).
    void start(DiscProject *project, bool test, bool verify, bool matchLoudness, bool demo, const QString &job);
    // Burns a disc image described by `info`; with `checksum` (and no test)
    // the new disc is read back and its SHA-256 compared with the image.
    // `done` hears the end exactly once.
    void burnImage(const ImageInfo &info, bool test, bool verify, bool checksum, bool demo, const QString &job,
                   DoneFn done);
    // Erases a rewritable disc. `done` hears the end exactly once.
    void eraseDisc(bool complete, bool demo, const QString &job, DoneFn done);

    // Ends what the deck is doing, as far as it can be ended (an erase can't).
    Q_INVOKABLE void stop();
    // Opens the tray when the deck is not busy.
    Q_INVOKABLE void eject();
    // The blanks the program can put in the burner's tray itself (a virtual
    // burner's: "CD-R", …); empty for a burner loaded by hand, or none.
    QStringList trayMedia() const;
    // Load the tray through the service: a blank of one of trayMedia(), or
    // the written disc an image (.cue, .toc, .iso) describes. Each logs what
    // it did, or the service's refusal; the new tray is read when the
    // service says it changed.
    Q_INVOKABLE void insertMedium(const QString &medium);
    Q_INVOKABLE void insertImage(const QString &path);
    // Copies mode: the deck waits for a blank, showing `phase`; the next
    // reading of its tray that finds one says blankReady().
    void waitForBlank(const QString &phase);
    // A deck waiting for a blank (Copies mode) that will get no copy goes
    // back to idle and "Ready", with no job named. Nothing for other states.
    void stopWaiting();

    // Demo runs tick this often.
    static constexpr int demoTickMs = 200;
    // Simulated top speed of a deck without a burner, by deck index.
    static int demoFallbackSpeed(int index, bool audio);
    // Seconds an audio demo lasts for a project of `totalSeconds` at speed `speed`.
    static double demoAudioSeconds(double totalSeconds, int speed);
    // The speed a demo simulates: the top speed, or the chosen one when lower.
    int demoSpeed(bool audio) const;

    // The service's status of the running burn or erase (main thread).
    void apply(const JobStatus &status);

Q_SIGNALS:
    void deviceChanged();
    void snapshotChanged();
    void capsChanged();
    void mediaTextChanged();
    void blankLoadedChanged();
    void maxSpeedXChanged();
    void speedXChanged();
    void stateChanged();
    void opChanged();
    void progressChanged();
    void actualXChanged();
    void phaseChanged();
    void currentTrackChanged();
    void bufferChanged();
    void jobNameChanged();
    void etaTextChanged();
    // After every change of state, once stateChanged has reached everything
    // watching it: the owner may start new work on the deck from here.
    void stateSettled();
    // An audio burn (or demo) ended, done or failed; state() says which.
    void audioBurnEnded();
    // An audio burn was stopped by the user.
    void audioBurnStopped();
    // The deck is waiting for a blank and one has gone in.
    void blankReady();
    // A line for the burn log, "Deck X…", and a tool's own words behind it
    // (often empty), shown under it.
    void logged(const QString &line, const QString &detail = {}) const;

protected:
    void setState(State s);
    void setOp(Op op);
    void setProgress(double p);
    void setActualX(double x);
    void setPhase(const QString &phase);
    void setCurrentTrack(int track);
    void setBuffer(double fill);
    void setJobName(const QString &job);
    // Says "Deck X" + text, and `detail` under it, through logged().
    void logLine(const QString &text, const QString &detail = {}) const;

private:
    struct AudioBurn
    {
        QList<TrackItem> tracks;
        QString album, artist, catalog;
        double gap = 2;
        bool test = false, verify = false;
    };
    // refreshStatus() without acting on what it finds.
    void readTray();
    void beginBurn(const QStringList &files, const AudioBurn &burn);
    // Says which prepared tracks play well short of their listed `seconds`,
    // and gives `project` (may be null) their real length.
    void reportEarlyEnds(DiscProject *project, const QList<TrackItem> &tracks, const QList<double> &seconds);
    // Says which prepared tracks had samples clipped to fit, and how many.
    void reportClipping(const QList<TrackItem> &tracks, const QList<qint64> &clipped, bool matchLoudness);
    // The audio burn is over (done or failed): the op is cleared and the end said.
    void endAudioBurn();
    void watch(std::unique_ptr<DiscJob> job, bool erase);
    // The burn or erase ended in failure with `message`; `detail` is the
    // burner's own words behind it, for the log only.
    void failed(const QString &message, const QString &detail = {});
    // The main-thread half of burnImage(), once the image's layout is read:
    // checks the blank and starts the burn, or ends the op with why not.
    void startImageBurn(const ImageInfo &info, bool test, bool verify, const std::optional<ImageBurn::Layout> &layout,
                        const QString &refusal);
    // Waits for the new disc's device, then compares it with the image.
    void checkDisc(const QString &image);
    // A burned disc's check: whether it matched, and the sentence for the log.
    struct Checked
    {
        bool ok = false;
        QString message;
    };
    using DiscCheck = std::function<Checked(CancelToken *token, const std::function<void(double)> &progress)>;
    // Asks every half second until `ready` gives the check of the new disc
    // (nothing while the burner hasn't reported it; after 30 s the op ends
    // well with `skipped`), then runs the check on a worker.
    void checkWhenBack(const QString &phase, const QString &skipped, const std::function<DiscCheck()> &ready);
    void checkDiscEnded(bool ok, const QString &message);
    // Releases the running burn or erase, its producers and prepared files.
    void finishDR();
    // Deletes prepared audio files on the deck's workers.
    void removeLater(const QStringList &files);
    void finishOp(bool ok, const QString &message);
    // Says what the read-back of an audio burn found; when the burn failed,
    // only a difference is worth a line.
    void logReadBack(bool finished) const;
    // What the burner's read-back of an image found, as it reported it
    // ("read back — Match — …").
    static QString imageReadBack(const std::optional<ReadBack> &readBack);
    // A job's end line followed by the read-back's sentence, if there is one.
    static QString withReadBack(const QString &line, const QString &readBack);
    void startDemo(std::function<void()> tick);
    void stopDemo();
    void demoAudioTick(double seconds, QList<double> lengths, bool verify, bool test);
    double demoOverride() const;

private:
    const int m_index;
    QPointer<DiscService> m_service;
    double m_demoSeconds = 0;
    // The disc an audio burn is writing, for the time left.
    QPointer<DiscProject> m_burnProject;
    DiscDeviceRef m_device;
    QString m_deviceKey;
    DriveCaps m_caps;
    QString m_mediaText = QStringLiteral("No burner");
    QString m_problemSaid; // the burner's access problem, as last logged
    bool m_blankLoaded = false;
    int m_maxSpeedX = 0;
    int m_speedX = 16;
    State m_state = State::idle;
    Op m_op = Op::none;
    Op m_lastOp = Op::none;
    double m_progress = 0;
    double m_actualX = 0;
    QString m_phase = QStringLiteral("Ready");
    int m_currentTrack = 0;
    double m_buffer = 1.0;
    QString m_jobName;
    std::optional<DriveSnapshot> m_snapshot;
    QDateTime m_startedAt = QDateTime::currentDateTime();
    std::shared_ptr<CancelToken> m_cancel;
    std::unique_ptr<DiscJob> m_burn;
    std::unique_ptr<DiscJob> m_erase;
    bool m_burnIsTest = false;
    QStringList m_prepared;
    QTimer *m_demoTimer = nullptr;
    // Preparation, read-back and clean-up run here; the destructor cancels
    // and waits, so none outlives the deck.
    QThreadPool m_workers;
    std::optional<QString> m_imageToCheck;
    bool m_imageVerify = false; // the burner reads the image burn back
    QString m_readBackSaid;     // imageReadBack(), for the end message after the SHA-256 check
    bool m_imageDemoChecksum = false;
    std::shared_ptr<void> m_keepAlive;
    DoneFn m_onDone;
    // The tracks of an audio burn the burner reads back, for what it found.
    std::shared_ptr<const QList<std::shared_ptr<CDAudioProducer>>> m_readBack;
};
