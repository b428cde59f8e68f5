// Cue and toc sheets read into tracks, the errors bad sheets give, CD-Text
// packs as libburn makes them, and raw Mode 1 sectors against the code the
// standard defines.

#include "FuzzSeeds.h"
#include "ImageFixtures.h"
#include "base/TDError.h"
#include "platform/sheets/CdTextPacks.h"
#include "platform/sheets/CueSheet.h"
#include "platform/sheets/RawSector.h"
#include "platform/sheets/TocSheet.h"
#include "platform/virtual/VirtualCueSheet.h"

#include <QTemporaryDir>
#include <QTest>

#include <libburn/libburn.h>

Q_DECLARE_METATYPE(DiscSheet)

namespace {

using Mode = SheetTrack::Mode;

const QString nothingThrown = QStringLiteral("(nothing was thrown)");

// Files the sheets below name, all in /discs.
DiscSheet::FileSize sizes()
{
    return [](const QString &path) -> std::optional<qint64> {
        static const QMap<QString, qint64> known{
            {"/discs/data image.iso", 150 * 2048}, {"/discs/album.bin", 1000 * 2352}, {"/discs/two.raw", 40 * 2352},
            {"/discs/odd.bin", 1000},          {"/discs/mixed.bin", 30 * 2352},
            {"/discs/huge.bin", 200'000'000'000LL * 2352}, // whole sectors of both sizes
        };
        return known.contains(path) ? std::optional(known.value(path)) : std::nullopt;
    };
}

SheetTrack track(Mode mode, const QString &file, qint64 start, quint64 length, quint32 fileGap = 0,
                 quint32 preGap = 0, quint32 postGap = 0, bool bigEndian = false)
{
    return {mode, file, bigEndian, 0, start, length, fileGap, preGap, postGap, {}, false, false, false, {}, {}, {}, {}, {}};
}

DiscSheet disc(QList<SheetTrack> tracks, const QString &title = {}, const QString &performer = {}, const QString &catalog = {})
{
    return {title, performer, {}, {}, std::move(tracks), catalog};
}

// One line per track, so a failed comparison shows where they differ.
QString describe(const DiscSheet &d)
{
    QString s = QStringLiteral("disc '%1' / '%2' / '%3' / '%4' %5\n").arg(d.title, d.performer, d.songwriter, d.message, d.catalog);
    for (const SheetTrack &t : d.tracks) {
        QString more; // indexes and flags
        QDebug(&more).nospace() << t.indexes << t.copyPermitted << t.preEmphasis << t.fourChannel;
        s += QStringLiteral("%1 %2%3 (header %11) start %4 length %5 fileGap %6 preGap %7 postGap %8 '%9' / '%10' %12")
                 .arg(DiscSheet::modeName(t.mode), t.file, t.bigEndian ? QStringLiteral(" (big-endian)") : QString())
                 .arg(t.start).arg(t.length).arg(t.fileGap).arg(t.preGap).arg(t.postGap)
                 .arg(t.title, t.performer).arg(t.waveHeader).arg(t.isrc)
             + QStringLiteral(" '%1' / '%2' %3\n").arg(t.songwriter, t.message, more);
    }
    return s;
}

// The disc a virtual burner writes of `d` into `bin`: every sector 2352
// bytes, one track after another, each with its silence and INDEX 00 sectors
// before INDEX 01 and its post-gap inside it.
DiscSheet burned(DiscSheet d, const QString &bin)
{
    quint64 at = 0;
    for (SheetTrack &t : d.tracks) {
        const quint32 gap = t.preGap + t.fileGap;
        t = {t.mode == Mode::mode1Cooked ? Mode::mode1Raw : t.mode, bin, false, 0, qint64(at + gap) * 2352, t.length + t.postGap, gap, 0, 0, t.indexes, t.copyPermitted, t.preEmphasis, t.fourChannel, t.title, t.performer, t.songwriter, t.message, t.isrc};
        at += t.discSectors();
    }
    return d;
}

// `count` INDEX lines one sector apart: a cue's from INDEX 01 at 00:00:00,
// a toc's (INDEX 02 on) from one sector into the track.
QString indexLines(int count, bool cue)
{
    QString s;
    for (int i = 1; i <= count; ++i)
        s += (cue ? QStringLiteral("INDEX %1 ").arg(i, 2, 10, QChar(u'0')) : QStringLiteral("INDEX "))
             + QString::asprintf("00:%02d:%02d\n", (i - cue) / 75, (i - cue) % 75);
    return s;
}

DiscSheet parse(const QString &name, const QString &text)
{
    return name.endsWith(QLatin1String(".cue")) ? CueSheet::parse(text, name, "/discs", sizes())
                                               : TocSheet::parse(text, name, "/discs", sizes());
}

// A row of a sheet's _data: it reads as `expected`, and a virtual burner's
// cue sheet of it reads as the BIN that burner writes.
void checkReads(const QString &name)
{
    QFETCH(QString, text);
    QFETCH(DiscSheet, expected);
    keepFuzzSeed(name.right(3), text.toUtf8());
    DiscSheet got;
    QCOMPARE(thrown([&] { got = parse(name, text); }).text(), nothingThrown);
    QCOMPARE(describe(got), describe(expected));
    QVERIFY(got == expected);
    const DiscSheet bin = burned(expected, "/discs/burned.bin");
    const auto binSize = [&](const QString &) { return std::optional(qint64(bin.discSectors()) * 2352); };
    QCOMPARE(thrown([&] { got = CueSheet::parse(VirtualCueSheet::forSheet("burned.bin", expected), "burned.cue", "/discs", binSize); }).text(), nothingThrown);
    QCOMPARE(describe(got), describe(bin));
}

// A row of a sheet's _data: it fails with `error`.
void checkRefused(const QString &name)
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    keepFuzzSeed(name.right(3), text.toUtf8());
    QCOMPARE(thrown([&] { parse(name, text); }).text(), error);
}

// GF(2^8) as the CD's Reed-Solomon codes use it: x^8 + x^4 + x^3 + x^2 + 1.
quint8 timesAlpha(quint8 v) { return quint8((v << 1) ^ ((v & 0x80) ? 0x1d : 0)); }

// Both syndromes of one codeword, from the parity-check matrix
// [1 … 1; a^(n-1) … a 1]: zero for a codeword.
bool isCodeword(const QList<quint8> &c)
{
    quint8 s0 = 0, s1 = 0;
    for (quint8 v : c) {
        s0 ^= v;
        s1 = quint8(timesAlpha(s1) ^ v); // Horner: highest power first
    }
    return s0 == 0 && s1 == 0;
}

} // namespace

class TestCueSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<DiscSheet>("expected");
        const QString album = "/discs/album.bin";

        QTest::newRow("data track, quoted name, CRLF") << "FILE \"data image.iso\" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n" << disc({track(Mode::mode1Cooked, "/discs/data image.iso", 0, 150)});

        SheetTrack one = track(Mode::audio, album, 0, 300);
        one.title = "First";
        one.performer = "Band A";
        one.isrc = "ABCDE1234567";
        one.songwriter = "W1";
        one.message = "M1";
        one.copyPermitted = one.fourChannel = true;
        SheetTrack two = track(Mode::audio, album, 450 * 2352, 400, 150);
        two.title = "Second";
        two.preEmphasis = true;
        two.indexes = {75, 300};
        SheetTrack three = track(Mode::audio, album, 850 * 2352, 150, 0, 0, 75);
        three.indexes = {149}; // the file's last sector
        DiscSheet everything = disc({one, two, three}, "Album", "Band", "0000000000000");
        everything.songwriter = "Writer";
        everything.message = "Hello there";
        QTest::newRow("audio in one file: every index, CD-Text and flag, tolerated commands")
            << "REM GENRE Rock\nCATALOG 0000000000000\nTITLE \"Album\"\nPERFORMER Band\nSONGWRITER Writer\n"
               "MESSAGE \"Hello there\"\nFILE album.bin BINARY\n"
               "  TRACK 01 AUDIO\n    TITLE First\n    PERFORMER \"Band A\"\n    FLAGS DCP 4CH SCMS\n"
               "    SONGWRITER W1\n    MESSAGE \"M1\"\n    ISRC ABCDE1234567\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    FLAGS PRE\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
               "    INDEX 02 00:07:00\n    INDEX 03 00:10:00\n"
               "  track 03 audio\n    index 01 00:11:25\n    INDEX 02 00:13:24\n    POSTGAP 00:01:00\n"
            << everything;

        QTest::newRow("two files, MOTOROLA, PREGAP silence") << "FILE \"data image.iso\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n" "FILE two.raw MOTOROLA\nTRACK 02 AUDIO\nPREGAP 00:02:00\nINDEX 01 00:00:10\n" << disc({track(Mode::mode1Cooked, "/discs/data image.iso", 0, 150), track(Mode::audio, "/discs/two.raw", 10 * 2352, 30, 0, 150, 0, true)});

        QTest::newRow("raw data modes and audio share a file") << "FILE mixed.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n" "TRACK 02 MODE2/2352\nINDEX 01 00:00:10\nTRACK 03 AUDIO\nINDEX 00 00:00:20\nINDEX 01 00:00:21\n" << disc({track(Mode::mode1Raw, "/discs/mixed.bin", 0, 10), track(Mode::mode2Raw, "/discs/mixed.bin", 10 * 2352, 10), track(Mode::audio, "/discs/mixed.bin", 21 * 2352, 9, 1)});
        QTest::newRow("last minute, second and frame; track 99") << "FILE huge.bin BINARY\nTRACK 99 AUDIO\nINDEX 01 999:59:74\n" << disc({track(Mode::audio, "/discs/huge.bin", 4'499'999LL * 2352, 200'000'000'000 - 4'499'999)});
        SheetTrack many = track(Mode::audio, album, 0, 1000);
        for (quint32 i = 1; i <= 98; ++i)
            many.indexes.append(i);
        QTest::newRow("INDEX 99") << "FILE album.bin BINARY\nTRACK 01 AUDIO\n" + indexLines(99, true) << disc({many});
    }
    void cue()
    {
        checkReads(QStringLiteral("album.cue"));
        // What we hand libburn reads back as the same disc.
        QFETCH(DiscSheet, expected);
        DiscSheet again;
        QCOMPARE(thrown([&] { again = CueSheet::parse(expected.toCueText(sizes()), "again.cue", "/", sizes()); }).text(), nothingThrown);
        QCOMPARE(describe(again), describe(expected));
    }

    // An audio burn's cue sheet on a virtual burner carries its MCN and ISRCs,
    // and CD-Text as Latin-1 on one line: a control character becomes a
    // space, a quote an apostrophe, what Latin-1 lacks a question mark.
    void virtualAudioCue()
    {
        const BurnTrack one{BurnTrack::Kind::audio, {}, 75, 2352, 0, "DEA123400001"}, two{BurnTrack::Kind::audio, {}, 75, 2352, 0, {}};
        const CDText text{"en", QString("A\x1f\"B\" ") + QChar(0xff) + QChar(0x100), {}, {}, {}};
        QCOMPARE(VirtualCueSheet::forAudio("t.bin", {one, two}, text, "4006381333931"),
                 "TITLE \"A 'B' \u00ff?\"\nCATALOG 4006381333931\nFILE \"t.bin\" BINARY\n  TRACK 01 AUDIO\n    ISRC DEA123400001\n"
                 "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
    }

    void cueErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString head = "FILE album.bin BINARY\n";
        QTest::newRow("mode") << head + "TRACK 01 MODE2/2336\n" << "Line 2 of album.cue: the track mode MODE2/2336 can't be burned.";
        QTest::newRow("missing file") << "FILE gone.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n" << "Line 1 of album.cue: the file gone.bin is missing.";
        QTest::newRow("partial sector") << "\nFILE odd.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n" << "Line 2 of album.cue: odd.bin isn't a whole number of 2352-byte sectors.";
        QTest::newRow("index on the last one of the track before") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:20\nTRACK 02 AUDIO\nINDEX 01 00:00:20\n" << "Line 5 of album.cue: INDEX 01 00:00:20 lies before the index above it.";
        QTest::newRow("two indexes at one time") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:20\nINDEX 02 00:00:20\n" << "Line 4 of album.cue: INDEX 02 00:00:20 lies before the index above it.";
        QTest::newRow("index 00 after 01") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:20\nINDEX 00 00:00:30\n" << "Line 4 of album.cue: INDEX 00 comes after another index.";
        QTest::newRow("no tracks") << head + "REM nothing\n" << "album.cue has no tracks.";
        QTest::newRow("mp3") << "FILE a.mp3 MP3\n" << "Line 1 of album.cue: the file type MP3 can't be burned.";
        QTest::newRow("unknown command") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nSPEED 4\n" << "Line 4 of album.cue: the command SPEED isn't understood.";
        QTest::newRow("track before file") << "TRACK 01 AUDIO\n" + head << "Line 1 of album.cue: TRACK comes before any FILE.";
        QTest::newRow("no index 01") << head + "TRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n" << "Line 2 of album.cue: track 01 has no INDEX 01.";
        QTest::newRow("second 60") << head + "TRACK 01 AUDIO\nINDEX 01 00:60:00\n" << "Line 3 of album.cue: 00:60:00 isn't a time (mm:ss:ff).";
        QTest::newRow("minute 1000") << head + "TRACK 01 AUDIO\nINDEX 01 1000:00:00\n" << "Line 3 of album.cue: 1000:00:00 isn't a time (mm:ss:ff).";
        QTest::newRow("frame 75") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:75\n" << "Line 3 of album.cue: 00:00:75 isn't a time (mm:ss:ff).";
        QTest::newRow("unclosed quote") << "FILE \"album.bin BINARY\n" << "Line 1 of album.cue: a quote isn't closed.";
        QTest::newRow("track 00") << head + "TRACK 00 AUDIO\n" << "Line 2 of album.cue: 00 isn't a track number.";
        QTest::newRow("track 100") << head + "TRACK 100 AUDIO\n" << "Line 2 of album.cue: 100 isn't a track number.";
        QTest::newRow("INDEX 100") << head + "TRACK 01 AUDIO\n" + indexLines(100, true) << "Line 102 of album.cue: 100 isn't an index number.";
        QTest::newRow("track numbers skip") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n" << "Line 4 of album.cue: track 03 should be track 2.";
        QTest::newRow("sector sizes share a file") << head + "TRACK 01 MODE1/2048\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n" << "Line 4 of album.cue: tracks of 2048- and 2352-byte sectors share the file album.bin.";
        QTest::newRow("index on the file's end") << head + "TRACK 01 AUDIO\nINDEX 01 00:13:25\n" << "Line 2 of album.cue: track 01 has no sectors in album.bin.";
        QTest::newRow("ISRC of 13 characters") << head + "TRACK 01 AUDIO\nISRC DEA1234000012\n" << "Line 3 of album.cue: \"DEA1234000012\" isn't right: an ISRC is 12 characters, like DEA123400001.";
        QTest::newRow("catalogue number of 14 digits") << "CATALOG 40063813339310\n" + head << "Line 1 of album.cue: \"40063813339310\" isn't right: a catalogue number is 13 digits.";
        QTest::newRow("ISRC before a track") << head + "ISRC DEA123400001\n" << "Line 2 of album.cue: ISRC belongs in a track.";
        QTest::newRow("unknown flag") << head + "TRACK 01 AUDIO\nFLAGS DCP COPY\n" << "Line 3 of album.cue: the flag COPY isn't understood.";
        QTest::newRow("INDEX 02 twice") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 02 00:01:00\nINDEX 02 00:02:00\n" << "Line 5 of album.cue: INDEX 02 should be INDEX 03.";
        QTest::newRow("INDEX 02 before INDEX 01") << head + "TRACK 01 AUDIO\nINDEX 00 00:00:00\nINDEX 02 00:01:00\n" << "Line 4 of album.cue: INDEX 02 comes before INDEX 01.";
        QTest::newRow("INDEX 01 twice") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 01 00:01:00\n" << "Line 4 of album.cue: track 1 has two INDEX 01 lines.";
        QTest::newRow("POSTGAP before INDEX 01") << head + "TRACK 01 AUDIO\nPOSTGAP 00:01:00\n" << "Line 3 of album.cue: POSTGAP comes before INDEX 01.";
        QTest::newRow("PREGAP after an index") << head + "TRACK 01 AUDIO\nINDEX 00 00:00:00\nPREGAP 00:01:00\n" << "Line 4 of album.cue: PREGAP comes after an index.";
        QTest::newRow("index number skipped") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 03 00:01:00\n" << "Line 4 of album.cue: INDEX 03 should be INDEX 02.";
        QTest::newRow("INDEX 02 on the file's end") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 02 00:13:25\n" << "Line 4 of album.cue: INDEX 02 lies past the end of track 01.";
        QTest::newRow("index in the next file") << head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE two.raw BINARY\nINDEX 02 00:00:00\n" << "Line 5 of album.cue: an index of track 1 lies in another file than its TRACK line.";
    }
    void cueErrors() { checkRefused(QStringLiteral("album.cue")); }

    void toc_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<DiscSheet>("expected");
        SheetTrack first = track(Mode::audio, "/discs/album.bin", 30 * 2352, 270, 30, 0, 0, true);
        first.title = "One";
        first.performer = "P1";
        first.isrc = "DEXXX9800001";
        first.songwriter = "S1";
        first.message = "M1";
        first.preEmphasis = true;
        SheetTrack second = track(Mode::audio, "/discs/album.bin", 300 * 2352, 150, 0, 150, 0, true);
        second.copyPermitted = second.fourChannel = true;
        second.indexes = {75, 149}; // the track's last sector
        QTest::newRow("audio: START, PREGAP, INDEX, samples, CD-Text, flags, comments")
            << "CD_DA // an album\nCATALOG \"1234567890123\"\n"
               "CD_TEXT { LANGUAGE_MAP { 0 : EN }\n LANGUAGE 0 { TITLE \"\\351t\\351 \\378\" PERFORMER \"Band\" "
               "GENRE { 0, 8 } } }\n"
               "TRACK AUDIO\nNO COPY\nPRE_EMPHASIS\nISRC \"DEXXX9800001\"\n"
               "CD_TEXT { LANGUAGE 0 { TITLE \"One\" PERFORMER \"P1\" SONGWRITER \"S1\" MESSAGE \"M1\" }"
               " LANGUAGE 1 { TITLE \"Eins\" } }\n"
               "FILE \"album.bin\" 0 00:04:00\nSTART 00:00:30\n"
               "TRACK AUDIO\nCOPY\nFOUR_CHANNEL_AUDIO\nPREGAP 00:02:00\n"
               "AUDIOFILE \"album.bin\" 176400 00:02:00 // 4 s in samples\nINDEX 00:01:00\nINDEX 00:01:74\n"
               "TRACK AUDIO\nFILE \"album.bin\" #2352 00:06:00 588\n"
            << disc({first, second, track(Mode::audio, "/discs/album.bin", 451 * 2352, 1, 0, 0, 0, true)},
                    QStringLiteral("\u00e9t\u00e9 378"), "Band", "1234567890123"); // cdrdao's octal escapes
        QTest::newRow("data then audio, ZERO gaps, byte lengths")
            << "CD_ROM\nTRACK MODE1\nDATAFILE \"data image.iso\" 204800\nZERO 00:02:00 // post-gap\n"
               "TRACK MODE1_RAW\nZERO MODE1 00:01:00\nSTART\nDATAFILE \"mixed.bin\" 00:00:10\n"
               "TRACK MODE2_RAW\nDATAFILE \"mixed.bin\" #23520\n"
            << disc({track(Mode::mode1Cooked, "/discs/data image.iso", 0, 100, 0, 0, 150),
                     track(Mode::mode1Raw, "/discs/mixed.bin", 0, 10, 0, 75),
                     track(Mode::mode2Raw, "/discs/mixed.bin", 10 * 2352, 20)});
        QTest::newRow("last minute, second and frame") << "TRACK AUDIO\nFILE \"huge.bin\" 99999:59:74 00:00:01\n" << disc({track(Mode::audio, "/discs/huge.bin", 449'999'999LL * 2352, 1, 0, 0, 0, true)});
        QTest::newRow("100 minutes of every gap, START at the data's last sector") << "TRACK AUDIO\nSILENCE 100:00:00\nFILE \"huge.bin\" 0 100:00:01\nSTART 200:00:00\nSILENCE 100:00:00\n" << disc({track(Mode::audio, "/discs/huge.bin", 450'000LL * 2352, 1, 450'000, 450'000, 450'000, true)});
        SheetTrack many = track(Mode::audio, "/discs/album.bin", 0, 1000, 0, 0, 0, true);
        for (quint32 i = 1; i <= 98; ++i)
            many.indexes.append(i);
        QTest::newRow("99 indexes") << "TRACK AUDIO\nFILE \"album.bin\" 0\n" + indexLines(98, false) << disc({many});
    }
    void toc() { checkReads(QStringLiteral("album.toc")); }

    void tocErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("mode") << "CD_ROM_XA\nTRACK MODE2_FORM1\n" << "Line 2 of album.toc: the track mode MODE2_FORM1 can't be burned.";
        QTest::newRow("sub-channel") << "TRACK AUDIO RW\n" << "Line 1 of album.toc: sub-channel data (RW) can't be burned.";
        QTest::newRow("fifo") << "TRACK AUDIO\n\nFIFO \"/tmp/f\" 1000\n" << "Line 3 of album.toc: FIFO can't be burned from a toc sheet.";
        QTest::newRow("missing file") << "TRACK AUDIO\nFILE \"gone.bin\" 0\n" << "Line 2 of album.toc: the file gone.bin is missing.";
        QTest::newRow("silence inside") << "TRACK AUDIO\nFILE \"album.bin\" 0 00:01:00\nSILENCE 00:01:00\nFILE \"album.bin\" 00:02:00\n" << "Line 4 of album.toc: track 1 takes its data from more than one place, which can't be burned.";
        QTest::newRow("silence that isn't a gap") << "TRACK AUDIO\nSILENCE 00:02:00\nFILE \"album.bin\" 0\n" << "Line 1 of album.toc: track 1 begins with silence that isn't its pre-gap; add START after it.";
        QTest::newRow("no tracks") << "CD_DA\n// nothing\n" << "album.toc has no tracks.";
        QTest::newRow("no file") << "TRACK AUDIO\nSILENCE 00:02:00\nTRACK AUDIO\n" << "Line 1 of album.toc: track 1 has no file.";
        QTest::newRow("a byte past the end") << "TRACK MODE1\nDATAFILE \"data image.iso\" #1 307200\n" << "Line 2 of album.toc: the part of data image.iso it names lies past the end of the file.";
        QTest::newRow("nothing after the offset") << "TRACK MODE1\nDATAFILE \"data image.iso\" #307200\n" << "Line 2 of album.toc: the part of data image.iso it names lies past the end of the file.";
        QTest::newRow("partial sector") << "TRACK MODE1\nDATAFILE \"data image.iso\" 1000\n" << "Line 2 of album.toc: track 1 isn't a whole number of 2048-byte sectors.";
        QTest::newRow("datafile in audio") << "TRACK AUDIO\nDATAFILE \"album.bin\"\n" << "Line 2 of album.toc: DATAFILE belongs in a data track.";
        QTest::newRow("unclosed quote") << "TRACK AUDIO\nFILE \"album.bin 0\n" << "Line 2 of album.toc: a quote isn't closed.";
        QTest::newRow("second 60") << "TRACK AUDIO\nFILE \"album.bin\" 0 00:60:00\n" << "Line 2 of album.toc: 00:60:00 isn't a length (mm:ss:ff or a number).";
        QTest::newRow("frame 75") << "TRACK AUDIO\nFILE \"album.bin\" 0 00:00:75\n" << "Line 2 of album.toc: 00:00:75 isn't a length (mm:ss:ff or a number).";
        QTest::newRow("silence of 100 minutes and a sector") << "TRACK AUDIO\nSILENCE 100:00:01\nSTART\nFILE \"album.bin\" 0\n" << "Line 1 of album.toc: track 1 has more silence than any disc holds.";
        QTest::newRow("post-gap of 100 minutes and a sector") << "TRACK AUDIO\nFILE \"album.bin\" 0\nZERO 100:00:01\n" << "Line 1 of album.toc: track 1 has more silence than any disc holds.";
        QTest::newRow("START at the data's end") << "TRACK AUDIO\nFILE \"album.bin\" 0 00:00:10\nSTART 00:00:10\n" << "Line 1 of album.toc: track 1 starts after its data.";
        QTest::newRow("unknown header") << "CD_I\nTRACK AUDIO\n" << "Line 1 of album.toc: CD_I isn't understood here.";
        QTest::newRow("catalogue number of 12 digits") << "CATALOG \"400638133393\"\nTRACK AUDIO\n" << "Line 1 of album.toc: \"400638133393\" isn't right: a catalogue number is 13 digits.";
        QTest::newRow("ISRC with a letter in its year") << "TRACK AUDIO\nISRC \"DEA12A400001\"\n" << "Line 2 of album.toc: \"DEA12A400001\" isn't right: an ISRC is 12 characters, like DEA123400001.";
        QTest::newRow("index at the track's start") << "TRACK AUDIO\nFILE \"album.bin\" 0\nINDEX 00:00:00\n" << "Line 3 of album.toc: INDEX 00:00:00 lies before the index above it.";
        QTest::newRow("two indexes at one time") << "TRACK AUDIO\nFILE \"album.bin\" 0\nINDEX 00:01:00\nINDEX 00:01:00\n" << "Line 4 of album.toc: INDEX 00:01:00 lies before the index above it.";
        QTest::newRow("index part-way into a sector") << "TRACK AUDIO\nFILE \"album.bin\" 0\nINDEX 1\n" << "Line 3 of album.toc: INDEX 1 lies part-way into a sector.";
        QTest::newRow("100 indexes") << "TRACK AUDIO\nFILE \"album.bin\" 0\n" + indexLines(99, false) << "Line 101 of album.toc: a track holds at most 99 indexes.";
        QTest::newRow("100 tracks") << QString("TRACK AUDIO\nFILE \"album.bin\" 0 00:00:01\n").repeated(100) << "Line 199 of album.toc: a disc holds at most 99 tracks.";
        QTest::newRow("index at the track's end") << "TRACK AUDIO\nFILE \"album.bin\" 0 00:02:00\nINDEX 00:02:00\n" << "Line 3 of album.toc: INDEX 00:02:00 lies past the end of track 1.";
        QTest::newRow("cut short") << "CD_TEXT { LANGUAGE 0 { TITLE \"x\"" << "Line 1 of album.toc: the sheet ends too early.";
        // Amounts that would overflow 64 bits once turned into bytes or added up.
        QTest::newRow("minute 100000") << "TRACK AUDIO\nFILE \"album.bin\" 100000:00:00\n" << "Line 2 of album.toc: 100000:00:00 isn't a length (mm:ss:ff or a number).";
        QTest::newRow("a number of 15 digits") << "TRACK AUDIO\nSILENCE 100000000000000\n" << "Line 2 of album.toc: 100000000000000 isn't a length (mm:ss:ff or a number).";
        QTest::newRow("silence past counting") << "TRACK AUDIO\n" + QString("SILENCE 99999999999999\n").repeated(25000) << "Line 182 of album.toc: track 1 is longer than any disc holds.";
        QTest::newRow("pre-gap of 100 minutes and a sector") << "TRACK AUDIO\nFILE \"huge.bin\" 0\nSTART 100:00:01\n" << "Line 1 of album.toc: track 1 has a longer pre-gap than any disc holds.";
        QTest::newRow("offset past counting") << "TRACK AUDIO\nFILE \"album.bin\" #9223372036854775807 00:00:01\n" << "Line 2 of album.toc: the part of album.bin it names lies past the end of the file.";
    }
    // Tracks the toc reader takes but a cue sheet, and so the burner, can't be told.
    void tocCueTextLimits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("start at 999:59:74") << "TRACK MODE1\nDATAFILE \"huge.bin\" #9215997952\n" << nothingThrown;
        QTest::newRow("start a sector past 999:59:74") << "TRACK MODE1\nDATAFILE \"huge.bin\" #9216000000\n" << "Track 1 starts further into huge.bin, which a cue sheet can't say.";
        QTest::newRow("index at 999:59:74") << "TRACK MODE1\nDATAFILE \"huge.bin\" #9215995904\nINDEX 00:00:01\n" << nothingThrown;
        QTest::newRow("index a sector past 999:59:74") << "TRACK MODE1\nDATAFILE \"huge.bin\" #9215995904\nINDEX 00:00:02\n" << "Track 1 has an index further into huge.bin, which a cue sheet can't say.";
    }
    void tocCueTextLimits()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        DiscSheet sheet;
        QCOMPARE(thrown([&] { sheet = TocSheet::parse(text, "album.toc", "/discs", sizes()); }).text(), nothingThrown);
        QCOMPARE(thrown([&] { sheet.toCueText(sizes()); }).text(), error);
    }

    void tocErrors() { checkRefused(QStringLiteral("album.toc")); }

    // WAVE files, read for where their samples lie: positions count from the
    // first sample, whatever chunks come before it.
    void wave_data()
    {
        QTest::addColumn<QString>("sheet"); // file name, then text
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("error"); // empty: reads as the expected track
        const QString cue = "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:00:10\n";
        const QString toc = "CD_DA\nTRACK AUDIO\nFILE \"a.wav\" 0\nSTART 00:00:10\n";
        QTest::newRow("cue") << "a.cue" << cue << 2 << "";
        QTest::newRow("toc") << "a.toc" << toc << 2 << "";
        QTest::newRow("cue, mono") << "a.cue" << cue << 1 << "Line 1 of a.cue: a.wav isn't 16-bit stereo 44.1 kHz PCM.";
        QTest::newRow("toc, mono") << "a.toc" << toc << 1 << "Line 3 of a.toc: a.wav isn't 16-bit stereo 44.1 kHz PCM.";
        QTest::newRow("not audio") << "a.cue" << "FILE a.wav WAVE\nTRACK 01 MODE1/2352\n" << 2 << "Line 2 of a.cue: a MODE1/2352 track can't come from the WAVE file a.wav.";
        QTest::newRow("not a WAVE") << "a.cue" << "FILE b.txt WAVE\nTRACK 01 AUDIO\n" << 2 << "Line 1 of a.cue: b.txt isn't a WAVE file.";
    }
    void wave()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, text);
        QFETCH(int, channels);
        QFETCH(QString, error);
        QTemporaryDir dir;
        // RIFF, fmt, a LIST chunk of odd length (padded), then 75 sectors of samples.
        const QByteArray pcm = QByteArray(75 * 2352, '\x21');
        QByteArray fmt("fmt \x10\0\0\0\x01\0", 10);
        fmt += char(channels);
        fmt += QByteArray("\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 13);
        const QByteArray list = QByteArray("LIST\x03\0\0\0abc\0", 12);
        QByteArray wav = "RIFF" + QByteArray(4, '\0') + "WAVE" + fmt + list + "data";
        const quint32 n = quint32(pcm.size());
        wav += QByteArray(reinterpret_cast<const char *>(&n), 4) + pcm;
        QVERIFY(writeFile(dir.filePath("a.wav"), wav));
        QVERIFY(writeFile(dir.filePath("b.txt"), "RIFF but no more"));
        QVERIFY(writeFile(dir.filePath(sheet), text.toUtf8()));
        // The fuzz targets take the one WAVE file after the sheet and a NUL.
        keepFuzzSeed(sheet.endsWith(".cue") ? QStringLiteral("cue") : QStringLiteral("toc"), text.toUtf8() + '\0' + wav);
        if (!error.isEmpty()) {
            QCOMPARE(thrown([&] { DiscSheet::read(dir.filePath(sheet)); }).text(), error);
            return;
        }
        const qint64 header = wav.size() - pcm.size();
        SheetTrack expected = track(Mode::audio, dir.filePath("a.wav"), header + 10 * 2352, 65, 10);
        expected.waveHeader = header;
        DiscSheet got, again;
        QCOMPARE(thrown([&] { got = DiscSheet::read(dir.filePath(sheet)); }).text(), nothingThrown);
        QCOMPARE(describe(got), describe(disc({expected})));
        QVERIFY(got == disc({expected}));
        QCOMPARE(thrown([&] { again = CueSheet::parse(got.toCueText(), "again.cue", "/", DiscSheet::fileSystem()); }).text(), nothingThrown);
        QCOMPARE(again, got);
    }

    // A toc whose track a cue sheet can't describe is refused, not bent.
    void tocWithoutCueText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("toc");
        QTest::addColumn<QString>("error");
        QTest::newRow("part of a file") << "audio.bin" << "TRACK AUDIO\nFILE \"audio.bin\" 0 00:01:00\n" << "Track 1 stops before the end of audio.bin, which a cue sheet can't say.";
        // Raw data and big-endian audio can't share a FILE line.
        QTest::newRow("raw data, then audio of the same file") << "disc.bin" << "TRACK MODE1_RAW\nDATAFILE \"disc.bin\" 00:00:10\nTRACK AUDIO\nFILE \"disc.bin\" #23520 0\n" << "Track 1 stops before the end of disc.bin, which a cue sheet can't say.";
        // Written as it is, the quote would end the name early; bent to
        // another character, the sheet would name another file.
        QTest::newRow("a double quote in the file's name") << "say \"hi\".bin" << "TRACK AUDIO\nFILE \"say \\\"hi\\\".bin\" 0\n" << "Track 1 comes from a file named say \"hi\".bin, which a cue sheet can't say.";
    }
    void tocWithoutCueText()
    {
        QFETCH(QString, file);
        QFETCH(QString, toc);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(file), QByteArray(300 * 2352, 'a')));
        QVERIFY(writeFile(dir.filePath("cut.toc"), toc.toUtf8()));
        QCOMPARE(thrown([&] { DiscSheet::cueTextFor(dir.filePath("cut.toc")); }).text(), error);
    }

    // CD-Text packed by libburn as it burns it into a lead-in, read back onto
    // a sheet of the expected tracks; `spoil` is a pack whose CRC is broken.
    void cdTextPacks_data()
    {
        QTest::addColumn<DiscSheet>("written");
        QTest::addColumn<int>("spoil"); // -1: none
        QTest::addColumn<DiscSheet>("expected");
        const auto text = [](QString title, QString performer, QString songwriter = {}, QString message = {}) {
            return SheetTrack{Mode::audio, {}, false, 0, 0, 0, 0, 0, 0, {}, false, false, false, title, performer, songwriter, message, {}};
        };
        DiscSheet full = disc({text("One", "Band", "Writer", "Hi"), text("Two", "Band")}, "A title of three packs' text", "Band");
        full.songwriter = "Writer";
        full.message = "Mastered 2024";
        // The second track's performer goes as a TAB: the same as the first's.
        QTest::newRow("strings across packs, a repeat") << full << -1 << full;
        DiscSheet third = disc({text("One", "P1"), text("Two", "P2"), text("Three", "P3")}, "Album");
        QTest::newRow("a track the sheet doesn't have") << third << -1 << disc({text("One", "P1"), text("Two", "P2")}, "Album");
        // Titles take packs 0 ("Album\0One\0Tw") and 1 ("o\0Three\0"): with pack 0
        // lost, pack 1 picks up at the next whole title.
        QTest::newRow("bad CRC") << third << 0 << disc({text({}, "P1"), text({}, "P2"), text("Three", "P3")});
        // Whatever the disc holds, a text stays on one line of a cue sheet.
        QTest::newRow("control characters") << disc({text("A\x1f" "B\tC", "P")}) << -1 << disc({text("A B C", "P")});
    }
    void cdTextPacks()
    {
        QFETCH(DiscSheet, written);
        QFETCH(int, spoil);
        QFETCH(DiscSheet, expected);
        using namespace burn;
        QVERIFY(burn_initialize() > 0);
        char noName[] = "";
        const auto set = [&](auto setter, auto *target, const auto &holder) {
            const std::pair<int, QString> kinds[] = {{0x80, holder.title}, {0x81, holder.performer}, {0x82, holder.songwriter}, {0x85, holder.message}};
            for (const auto &[type, value] : kinds) {
                QByteArray latin1 = value.toLatin1(); // with its NUL
                QVERIFY(setter(target, 0, type, noName, reinterpret_cast<uchar *>(latin1.data()), int(latin1.size()) + 1, 0) > 0);
            }
        };
        burn_session *session = burn_session_create();
        set(burn_session_set_cdtext, session, written);
        for (const SheetTrack &t : written.tracks) {
            burn_track *track = burn_track_create();
            set(burn_track_set_cdtext, track, t);
            burn_session_add_track(session, track, BURN_POS_END);
            burn_track_free(track);
        }
        unsigned char *packs = nullptr;
        int count = 0;
        QVERIFY(burn_cdtext_from_session(session, &packs, &count, 0) > 0);
        burn_session_free(session);
        QByteArray bytes(reinterpret_cast<const char *>(packs), count * 18);
        free(packs);
        if (spoil >= 0)
            bytes[spoil * 18 + 17] = char(bytes[spoil * 18 + 17] ^ 1);

        DiscSheet got;
        got.tracks.resize(expected.tracks.size());
        CdTextPacks::apply(bytes, got);
        QCOMPARE(describe(got), describe(expected));
    }

    // Mode 1 sectors at addresses whose BCD digits and parity differ.
    void mode1Sector_data()
    {
        QTest::addColumn<quint32>("lba");
        QTest::addColumn<QByteArray>("header"); // minute, second, frame (BCD), mode
        QTest::newRow("first block") << 0u << QByteArray("\x00\x02\x00\x01", 4);
        QTest::newRow("past ten minutes") << 45'000u + 1234u << QByteArray("\x10\x18\x34\x01", 4);
        QTest::newRow("end of 79 minutes") << 79u * 60 * 75 - 150 + 74 << QByteArray("\x79\x00\x74\x01", 4);
    }
    void mode1Sector()
    {
        QFETCH(quint32, lba);
        QFETCH(QByteArray, header);
        QByteArray user(2048, Qt::Uninitialized);
        for (int i = 0; i < user.size(); ++i)
            user[i] = char((i * 131 + int(lba)) & 0xff);
        QByteArray sector(2352, '\x55');
        RawSector::encodeMode1(lba, user.constData(), sector.data());

        QCOMPARE(sector.left(12), QByteArray("\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00", 12));
        QCOMPARE(sector.mid(12, 4), header);
        QCOMPARE(sector.mid(16, 2048), user);
        QCOMPARE(sector.mid(0x814, 8), QByteArray(8, '\0'));
        // The EDC is a CRC stored little-endian: running it over the bytes
        // it covers plus itself leaves nothing.
        QCOMPARE(RawSector::edc(sector.constData(), 0x814), 0u);

        // Every P column and Q diagonal is a codeword of the standard's
        // parity-check matrix.
        const auto *s = reinterpret_cast<const quint8 *>(sector.constData()) + 12;
        const auto pColumn = [&](int column) {
            QList<quint8> word;
            for (int k = 0; k < 26; ++k)
                word.append(quint8(sector[12 + column + 86 * k]));
            return word;
        };
        for (int column = 0; column < 86; ++column)
            QVERIFY2(isCodeword(pColumn(column)), qPrintable(QString("P column %1").arg(column)));
        for (int diagonal = 0; diagonal < 52; ++diagonal) {
            QList<quint8> word;
            int index = (diagonal / 2) * 86 + diagonal % 2;
            for (int k = 0; k < 43; ++k) {
                word.append(s[index]);
                index = (index + 88) % 2236;
            }
            word << s[2236 + diagonal] << s[2236 + 52 + diagonal];
            QVERIFY2(isCodeword(word), qPrintable(QString("Q diagonal %1").arg(diagonal)));
        }
        // A single flipped data bit (column 2, row 1) breaks its column.
        sector[12 + 88] = char(sector[12 + 88] ^ 0x04);
        QVERIFY(!isCodeword(pColumn(2)));
    }
};

QTEST_MAIN(TestCueSheet)
#include "tst_cuesheet.moc"
