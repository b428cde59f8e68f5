#pragma once
// One burner to burn on, of either service: a virtual burner with a blank CD-R,
// writing under the test's own folders, or (with `stdio`) libburn's pseudo-drive
// writing into a file of the same folders. Tests of what both services promise
// run each row on both.

#include "BurnFixtures.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QDir>

struct BurnRig
{
    explicit BurnRig(bool unthrottled = true, bool stdio = false)
    {
        service.setUnthrottled(unthrottled);
        if (stdio) {
            hardware = std::make_unique<HardwareDiscService>(QStringList{QStringLiteral("stdio:") + image});
            burner = hardware->devices().last();
        }
    }

    TestEnv env;
    VirtualDiscService service{1}; // idle when the rig burns through libburn
    std::unique_ptr<HardwareDiscService> hardware;
    DiscDeviceRef burner = service.devices().first();
    QString folder = service.outputFolder(1); // kept: an unplugged burner has none
    QString image = env.path(QStringLiteral("stdio.iso"));
    std::unique_ptr<JobWatch> watch;

    DiscService &owner() { return hardware ? static_cast<DiscService &>(*hardware) : service; }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QByteArray disc(const QString &name) const { return readFile(folder + QLatin1Char('/') + name); }
    // All a burn left: the pseudo-drive's file, or every file of the virtual
    // burner's folder, so that a stray partial file shows too.
    QByteArray written() const
    {
        if (hardware)
            return QFile::exists(image) ? readFile(image) : QByteArray();
        QByteArray all;
        for (const QString &name : files())
            all += disc(name);
        return all;
    }
    // Burns, waits for the one final status and returns its state; `watch`
    // keeps what the job sent.
    DiscJobState burn(const BurnProperties &properties, const BurnLayout &layout)
    {
        auto job = owner().burn(burner, properties, layout);
        if (!job)
            return DiscJobState::none;
        watch = std::make_unique<JobWatch>(job.get());
        return watch->endsOnce() ? watch->last().state : DiscJobState::none;
    }
};
