#pragma once
// A burner service whose devices a test sets by hand, for testing the logic
// that reacts to burners (deck assignment, media reports) without hardware.
// Notifications are emitted only when the test calls notify*().

#include "platform/api/DiscService.h"

#include <QPointer>
#include <QThread>
#include <atomic>

// The identities of a service's devices, in its order.
inline QStringList ioPaths(const DiscService &service)
{
    QStringList paths;
    for (const DiscDeviceRef &device : service.devices())
        paths.append(device->info().ioPath);
    return paths;
}

class ScriptedDevice : public DiscDevice
{
public:
    ScriptedDevice(QString name, QString ioPath, QString bus = QStringLiteral("USB"));
    DeviceInfo info() const override { return m_info; }
    QString displayName() const override { return m_name; }
    std::optional<DeviceStatus> status() const override { return m_status; }
    void ejectMedia() override { ++ejects; m_status = emptyTray(); }
    QString accessProblem() const override { return m_problem; }

    // A blank 80-minute CD-R in a drive that writes everything.
    static DeviceStatus blankCDR();
    static DeviceStatus emptyTray();
    static QMap<QString, bool> allCaps();

    DeviceInfo m_info;
    QString m_name;
    std::optional<DeviceStatus> m_status;
    QString m_problem;
    int ejects = 0;
};

// A burn or erase whose statuses the test sends.
class ScriptedJob : public DiscJob
{
    Q_OBJECT
public:
    void abort() override { ++aborts; }
    void send(DiscJobState state, double percent = -1, double speed = 0, int track = 0, const QString &error = {},
              const std::optional<ReadBack> &readBack = {}, const QString &detail = {})
    {
        Q_EMIT statusChanged(JobStatus{state, percent, speed, track, error, readBack, detail});
    }
    int aborts = 0;
};

class ScriptedDiscService : public DiscService
{
    Q_OBJECT
public:
    QList<DiscDeviceRef> devices() const override { return list; }
    // Every started job is recorded with what it was asked to do; the test
    // drives it through `jobs`. `refuse` makes the next start fail.
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                  const BurnLayout &layout) override;
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) override;
    // Notes the thread it is called on: image files are to be read off the main thread.
    std::optional<BurnLayout> layoutForImageFile(const QString &) override
    {
        layoutThread = QThread::currentThread();
        return std::nullopt;
    }
    std::atomic<QThread *> layoutThread = nullptr;

    // Adds a burner with a blank CD-R; returns it so the test can change it.
    std::shared_ptr<ScriptedDevice> plug(const QString &name, const QString &ioPath);
    void unplug(const QString &ioPath);
    void notifyDevices() { Q_EMIT devicesChanged(); }
    void notifyStatus() { Q_EMIT deviceStatusChanged(); }

    QList<DiscDeviceRef> list;
    struct Started
    {
        DiscDeviceRef device;
        BurnProperties properties;
        BurnLayout layout;
        std::optional<EraseType> erase;
        QPointer<ScriptedJob> job;
    };
    QList<Started> jobs;
    bool refuse = false;
};
