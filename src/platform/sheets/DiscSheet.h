#pragma once
// A disc described by a cue sheet (.cue) or a cdrdao table of contents
// (.toc): which file each track's sectors come from, how its gaps are made
// and its CD-Text. Both readers (CueSheet.h, TocSheet.h) produce this, so the
// burners handle one kind of description.
//
// Threading: plain values and pure functions; any thread. read() and the
// default file lookup touch the file system (stat and small reads only).
//
// Errors: read() throws TDError: cantOpen/readFailed for the sheet itself,
// refused(...) with a sentence naming the sheet and the line for anything
// wrong inside it ("Line 7 of album.cue: the track mode MODE2/2336 can't be
// burned.").

#include <QList>
#include <QString>
#include <functional>
#include <optional>

struct SheetTrack
{
    enum class Mode { audio, mode1Cooked, mode1Raw, mode2Raw }; // AUDIO, MODE1/2048, MODE1/2352, MODE2/2352

    Mode mode = Mode::audio;
    QString file;           // absolute path
    bool bigEndian = false; // audio stored most significant byte first
    qint64 waveHeader = 0;  // a WAVE file's bytes before its samples; 0 for a raw file
    qint64 start = 0;       // byte offset of the track's INDEX 01 sector in `file`
    quint64 length = 0;     // sectors from INDEX 01 on
    quint32 fileGap = 0;    // INDEX 00 sectors, in `file` just before `start`
    quint32 preGap = 0;     // silence before the track that no file holds
    quint32 postGap = 0;    // silence after the track that no file holds
    QList<quint64> indexes; // INDEX 02, 03, ...: sectors after INDEX 01, rising
    bool copyPermitted = false; // FLAGS DCP
    bool preEmphasis = false;   // FLAGS PRE
    bool fourChannel = false;   // FLAGS 4CH
    QString title;
    QString performer;
    QString songwriter;
    QString message;
    QString isrc; // 12 characters, no hyphens; empty when none

    // Bytes a sector of this track takes in its file: 2048 or 2352.
    quint32 sectorBytes() const { return mode == Mode::mode1Cooked ? 2048 : 2352; }
    // Everything the track puts on the disc, gaps included.
    quint64 discSectors() const { return quint64(preGap) + fileGap + length + postGap; }
    bool operator==(const SheetTrack &) const = default;
};

struct DiscSheet
{
    QString title;
    QString performer;
    QString songwriter;
    QString message;
    QList<SheetTrack> tracks;
    QString catalog; // the disc's catalogue number (MCN), 13 digits; empty when none

    quint64 discSectors() const;
    bool hasText() const;
    bool operator==(const DiscSheet &) const = default;

    // The size in bytes of a file a sheet names (absolute path), or nothing
    // when there is no such file.
    using FileSize = std::function<std::optional<qint64>(const QString &path)>;
    static FileSize fileSystem();

    // Where the samples of a WAVE file lie, for files of CD audio (16-bit
    // stereo PCM at 44.1 kHz) only. Nothing when it is not one, `why` then
    // saying so ("isn't a WAVE file", "isn't 16-bit stereo 44.1 kHz PCM").
    struct WavePcm
    {
        qint64 offset = 0;
        qint64 bytes = 0;
    };
    static std::optional<WavePcm> wavePcm(const QString &path, QString &why);

    // Reads a .cue or .toc file (by its suffix, any case), the files it
    // names looked up beside it. Throws TDError; a file of another suffix is
    // refused.
    static DiscSheet read(const QString &path);
    // What a cue sheet reader gets for the sheet at `path`: a .cue file's
    // own text, or the cue sheet a .toc file amounts to (toCueText, absolute
    // file names). Throws TDError as read() and toCueText() do.
    static QString cueTextFor(const QString &path);
    // Whether read() takes files of this name.
    static bool isSheetName(const QString &path);

    // Sheet-language name of a mode ("MODE1/2048").
    static QString modeName(SheetTrack::Mode mode);
    // The cue sheet's FLAGS line of a track ("    FLAGS DCP PRE\n"); empty
    // when it has none.
    static QString flagsLine(const SheetTrack &track);
    // Why `code` can't be a disc's catalogue number (`catalog`) or a track's
    // ISRC, for a sheet's reader to name its line; empty when it can.
    static QString codeProblem(const QString &code, bool catalog);

    // A cue sheet for the same disc: absolute FILE names (MOTOROLA for
    // big-endian audio, WAVE for WAVE files), PREGAP/POSTGAP and INDEX 00 for
    // the gaps, INDEX 02 on, FLAGS, CATALOG and ISRC, CD-Text as
    // TITLE/PERFORMER/SONGWRITER/MESSAGE: only what libburn's cue reader
    // takes. Reading it back gives an equal sheet. Throws TDError::refused
    // when a cue sheet can't say where a track lies (part of a file, a start
    // inside a sector, a start or index past 999:59:74, or a file whose name
    // holds a double quote), naming the track. A double quote in CD-Text becomes a
    // single one.
    QString toCueText(const FileSize &size = fileSystem()) const;
};
