#pragma once
// Virtual burners: software burners that behave like MMC burners at the
// burner service interface, so a user can try every burn without hardware
// and tests can drive the whole burn path. Each has every write capability,
// per-medium speeds and a tray whose medium can be chosen at run time:
// a blank CD-R 80 min (the default), CD-RW, DVD-R, DVD+RW, BD-R, or no disc.
//
// Threading: main thread only, like every service. The control calls change
// a burner at once (status() shows the change straight away) and post the
// matching notification, which is emitted later from the event loop, never
// inside the call, as a real service would.
//
// Ownership: the service owns its burners; an unplugged burner stays valid
// for its holders, keeps its last status and ignores ejectMedia().
//
// Cancelling: there is nothing to cancel; every control call is done when it
// returns, and only its notification is still to come.
//
// Burners are numbered from 1 in the order they were plugged; numbers are
// never reused, so a burner plugged in later is a new identity
// ("virtual:" + number).

#include "drives/DiscService.h"

#include <QList>
#include <QString>
#include <memory>

class VirtualDiscService final : public DiscService
{
    Q_OBJECT
public:
    enum Medium { NoDisc, CDR, CDRW, DVDR, DVDPlusRW, BDR };
    Q_ENUM(Medium)

    // `count` burners (the --virtual-burners option or the
    // "klvo.td.virtualBurners" setting), numbered 1 to count, each with a
    // blank CD-R. A negative count gives none.
    explicit VirtualDiscService(int count, QObject *parent = nullptr);
    ~VirtualDiscService() override;

    // The plugged burners in the order they were plugged.
    QList<DiscDeviceRef> devices() const override;
    // Writing comes later: both return nullptr, meaning the service could
    // not start the job.
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                  const BurnLayout &layout) override;
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) override;
    // No layouts from image files yet: always std::nullopt.
    std::optional<BurnLayout> layoutForImageFile(const QString &path) override;

    // Control. Each returns at once; the notification follows from the event
    // loop. Calls naming a burner that isn't plugged do nothing and return
    // false.

    // Plugs in a new burner with a blank CD-R; returns its number.
    // Posts devicesChanged.
    Q_INVOKABLE int plugBurner();
    // Posts devicesChanged.
    Q_INVOKABLE bool unplugBurner(int number);
    // Numbers of the plugged burners, in device order.
    Q_INVOKABLE QList<int> burnerNumbers() const;
    // Chooses the kind of medium the burner takes and puts a blank one in the
    // tray (NoDisc empties it). Posts deviceStatusChanged.
    Q_INVOKABLE bool setMedium(int number, VirtualDiscService::Medium medium);
    // Puts a fresh blank of the chosen kind in the tray (after an eject, or
    // to replace a written disc). Posts deviceStatusChanged.
    Q_INVOKABLE bool insertBlank(int number);
    // Empties the tray, as ejectMedia() does. Posts deviceStatusChanged.
    Q_INVOKABLE bool eject(int number);
    // The kind chosen for the burner (what insertBlank puts in); NoDisc for
    // an unknown burner.
    Q_INVOKABLE VirtualDiscService::Medium medium(int number) const;
    // Whether the tray holds a disc.
    Q_INVOKABLE bool hasDisc(int number) const;
    // Where burner `number` puts the discs it writes:
    // "$XDG_DATA_HOME/KLVO Tandor/Virtual Burners/Burner N" (by default under
    // ~/.local/share), created on first use. Empty when it can't be created.
    Q_INVOKABLE QString outputFolder(int number) const;

    // What a burner reports for a blank `medium` in its tray (NoDisc: an
    // empty tray). Pure; any thread.
    static DeviceStatus blankStatus(Medium medium);

private:
    class Burner;
    std::shared_ptr<Burner> find(int number) const;
    void post(void (DiscService::*signal)());

    QList<std::shared_ptr<Burner>> m_burners;
    int m_lastNumber = 0;
};
