#pragma once
// One of the six burner slots, lettered A to F. It holds the burner attached
// to the slot, what is in its tray and the state of the one operation it runs.
// Main thread only. The deck never outlives its application model; it holds
// the model weakly and reports to it when its state changes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

class AppModel;

class Deck : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Decks are created by the application model")
    Q_PROPERTY(int index READ index CONSTANT)
    Q_PROPERTY(QString letter READ letter CONSTANT)
    Q_PROPERTY(QString deviceKey READ deviceKey NOTIFY deviceKeyChanged)
    Q_PROPERTY(bool hasDrive READ hasDrive NOTIFY deviceKeyChanged)
    Q_PROPERTY(QString driveName READ driveName NOTIFY deviceKeyChanged)
    Q_PROPERTY(QString mediaText READ mediaText NOTIFY mediaTextChanged)
    Q_PROPERTY(bool blankLoaded READ blankLoaded NOTIFY blankLoadedChanged)
    Q_PROPERTY(int speedX READ speedX WRITE setSpeedX NOTIFY speedXChanged)
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged)
    Q_PROPERTY(Op op READ op NOTIFY opChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString phase READ phase NOTIFY phaseChanged)

public:
    enum class State { idle, preparing, burning, working, done, failed, stopped, waiting };
    Q_ENUM(State)
    enum class Op { none, audio, image, erase, read };
    Q_ENUM(Op)

    explicit Deck(int index, QObject *parent = nullptr);

    int index() const { return m_index; }
    QString letter() const;
    void setApp(AppModel *app);

    QString deviceKey() const { return m_deviceKey; }
    bool hasDrive() const { return !m_deviceKey.isEmpty(); }
    QString driveName() const;
    QString mediaText() const { return m_mediaText; }
    bool blankLoaded() const { return m_blankLoaded; }
    int speedX() const { return m_speedX; }
    void setSpeedX(int x);
    State state() const { return m_state; }
    // Preparing, burning or working.
    bool busy() const;
    Op op() const { return m_op; }
    double progress() const { return m_progress; }
    QString phase() const { return m_phase; }

    // Re-reads the tray. Without a burner: "No burner connected".
    Q_INVOKABLE void refreshStatus();

protected:
    // Every change of value tells the model (which may react, e.g. in Copies mode).
    void setState(State s);
    void setPhase(const QString &phase);

Q_SIGNALS:
    void deviceKeyChanged();
    void mediaTextChanged();
    void blankLoadedChanged();
    void speedXChanged();
    void stateChanged();
    void opChanged();
    void progressChanged();
    void phaseChanged();

private:
    const int m_index;
    QPointer<AppModel> m_app;
    QString m_deviceKey;
    QString m_mediaText = QStringLiteral("No burner");
    bool m_blankLoaded = false;
    int m_speedX = 16;
    State m_state = State::idle;
    Op m_op = Op::none;
    double m_progress = 0;
    QString m_phase = QStringLiteral("Ready");
};
