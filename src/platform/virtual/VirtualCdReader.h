#pragma once
// Reads the written CD a virtual burner holds, described by a cue or toc
// sheet, the way a drive gives back a burned disc: from LBA 0 on, without the
// 2-second pre-gap a burner puts before it (it lies in the lead-in, which
// nothing reads), every other gap as INDEX 00 of its track. The sectors are
// those the burner writes into its BIN (SheetProducer), Mode 1 headers
// carrying their disc address. Private to the virtual burners.
//
// Threading: made on the main thread, then used from one thread at a time.
// It shares only the tray's stamp with its burner and opens the sheet's
// files anew for each read, so it holds nothing between calls.
//
// Errors: as CdReader.h says. A tray changed since the reader was made (an
// eject, another disc, a burn) or an unplugged burner throws readFailed on
// the next call, as does a file of the sheet that can no longer be opened.

#include "platform/api/CdReader.h"

#include <QList>
#include <QString>
#include <atomic>
#include <memory>

// What a burner's readers watch: every change of its tray moves `changes`
// on. Any thread.
struct VirtualTrayStamp
{
    std::atomic<quint64> changes{0};
    std::atomic<bool> unplugged{false};
};

class VirtualCdReader final : public CdReader
{
public:
    // `burner` names the burner in errors.
    VirtualCdReader(const DiscSheet &sheet, QString burner, std::shared_ptr<const VirtualTrayStamp> stamp);

    DiscSheet contents() override;
    bool read(qint64 lba, int count, char *into) override;

    // The disc `sheet` makes, as contents() describes it. Pure; any thread.
    static DiscSheet discOf(const DiscSheet &sheet);

private:
    // Throws when the disc is no longer the one this reader was made for.
    void check(qint64 offset) const;

    DiscSheet m_sheet;
    // Each track as it lies on the disc (the first without its lead-in
    // pre-gap) and the LBA of its first sector; the last entry is the lead-out.
    QList<SheetTrack> m_tracks;
    QList<qint64> m_first;
    QString m_burner;
    std::shared_ptr<const VirtualTrayStamp> m_stamp;
    quint64 m_changes;
};
