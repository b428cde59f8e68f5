#pragma once
// One burn on a libburn drive, phase by phase, for a LibburnJob's thread:
// the producers are opened, the drive is grabbed and its disc checked, the
// session is built from the layout (tracks fed through fifos, or a cue
// sheet), written with progress and cancel, read back when asked to verify
// (LibburnVerify.cpp), and everything is let go. A disc burned from a sheet
// is read back against the sheet's files, through the sheet readers' own
// producers. Private to the libburn job sources.
//
// Threading: job thread only; it lives within LibburnJob::Run::burn().
//
// Ownership: borrows the run (its drive, layout and status posting); owns
// libburn's disc, session and write options, the producers' feeds and the
// cue sheet copy until run() returns.
//
// Cancelling: each phase checks the run's abortRequested; a write under way
// is cancelled through libburn and its feeds are closed.

#include "platform/linux/LibburnFeed.h"
#include "platform/linux/LibburnRun.h"
#include "platform/sheets/DiscSheet.h"

#include <QList>
#include <QString>
#include <QTemporaryFile>
#include <memory>
#include <optional>
#include <vector>
#include <sys/types.h>

namespace burn {
struct burn_source;
struct burn_disc;
struct burn_session;
struct burn_track;
struct burn_write_opts;
}

class LibburnBurn
{
public:
    explicit LibburnBurn(LibburnJob::Run &run);

    LibburnBurn(const LibburnBurn &) = delete;
    LibburnBurn &operator=(const LibburnBurn &) = delete;

    // Runs the whole burn and lets the drive go; the error text, empty on
    // success.
    QString run();

    inline static const QString stoppedText = QStringLiteral("The burn was stopped.");

private:
    // Producers.
    QString openProducers();
    // Ends the producers' burn pass and closes the feeds; once.
    void endBurnPass();
    // Everything the producers hold, however the burn ends.
    void closeProducers();

    // The disc and what goes on it.
    void createDisc();
    void checkMedium();
    void copyCueSheet();
    void readCueSheet();
    void addTracks();
    void countTrackBlocks();

    // The write.
    void setWriteOptions();
    void chooseWriteType();
    void addCdText();
    void precheck();
    void fillFirstFifo();
    void write();
    void followWrite();

    // The read-back (LibburnVerify.cpp).
    void takeSheetTracks();
    void locateTracks();
    void readTrackStarts();
    void placeTracks(bool mmc);
    void readBack();
    void readBackTrack(int index, bool mmc, qint64 totalBlocks, qint64 &doneBlocks);
    bool readDisc(bool audio, bool mmc, qint64 lba, char *buffer, off_t bytes);
    bool sameUserData(LibburnFeed &feed, quint64 block, const char *read, quint64 count);
    // Sectors of track `index` that libburn fills with zeros itself, before
    // and after what its source holds: a sheet's PREGAP and POSTGAP.
    quint64 zerosBefore(int index) const;
    quint64 zerosAfter(int index) const;

    QString releaseAll();

    LibburnJob::Run &m_run;
    // The layout's tracks; after a sheet's burn, the sheet's, to read back.
    QList<BurnTrack> m_tracks;
    const bool m_fromCue;
    const bool m_audio;
    QList<std::shared_ptr<LibburnFeed>> m_feeds;
    QList<bool> m_verified;
    bool m_burnPassEnded = false;
    // The first track's fifo, filled before the write starts; one reference.
    burn::burn_source *m_firstFifo = nullptr;

    QString m_error;
    burn::burn_disc *m_disc = nullptr;
    burn::burn_session *m_session = nullptr;
    burn::burn_write_opts *m_opts = nullptr;
    unsigned char *m_textPacks = nullptr;
    int m_packCount = 0;
    // libburn opens a cue sheet's files relative to the working directory:
    // it gets a copy that names them by absolute path.
    QTemporaryFile m_cueCopy;
    // The sheet as it was burned, when it is to be read back.
    std::optional<DiscSheet> m_sheet;
    burn::burn_track **m_built = nullptr;
    int m_builtCount = 0;
    QList<qint64> m_trackBlocks;
    bool m_atOnce = false;
    bool m_wrote = false;
    // Start addresses of the written tracks, for the read-back.
    QList<qint64> m_starts;
    // Where each track's blocks (numbered from its pre-gap's first) lie:
    // block b at address gapStart + b; only blocks in [first, end) were
    // written where they can be read.
    struct Place
    {
        qint64 gapStart = 0;
        quint64 first = 0;
        quint64 end = 0;
    };
    QList<Place> m_places;
    std::vector<char> m_expected; // raw sectors a sheet's data track should hold
};
