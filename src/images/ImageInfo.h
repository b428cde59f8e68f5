#pragma once
// What an image file is and which discs it fits on.
//
// inspect() reads at most 20.5 KiB of the file and never throws; examine()
// reads more (a DMG's tables, a sheet and the files it names) and never
// throws either; everything else here is pure. All of it may be called from any thread. inspect() is
// too short to need cancelling, but it does block on the file system: a file
// on slow or network storage is better inspected off the main thread.
// Everything here is a plain value; nothing is shared or kept between calls.

#include <QString>
#include <QStringList>

#include <optional>

// Byte capacities of the disc classes, each a whole number of 2048-byte sectors.
struct DiscSizes
{
    static constexpr qint64 cd = 737280000;       // 80-minute CD-R, 360 000 sectors
    static constexpr qint64 dvd = 4700372992;     // single-layer DVD, 2 295 104 sectors
    static constexpr qint64 dvdDL = 8547991552;   // DVD+R DL, 4 173 824 sectors
    static constexpr qint64 bd = 25025314816;     // single-layer BD-R, 12 219 392 sectors

    // The smallest disc class that holds `bytes`, as the line the Data panel
    // shows ("Needs a DVD (too big for a CD)"). A size equal to a capacity fits.
    static QString fits(qint64 bytes);
};

// The kind of image made from a folder.
enum class ImageFormat { iso, dmg };

namespace ImageFormats {
// Every format, in the order the format picker lists them.
QList<ImageFormat> all();
// "ISO", "DMG": the format's stable identifier.
QString id(ImageFormat format);
// The format whose id() is `id`, if any.
std::optional<ImageFormat> fromId(const QString &id);
// "iso", "dmg": the file-name extension, lower case, no dot.
QString extension(ImageFormat format);
// The sentence the format picker shows under the choice.
QString explanation(ImageFormat format);
} // namespace ImageFormats

struct ImageInfo
{
    QString path;                       // the image file, absolute
    qint64 bytes = 0;                   // its size
    bool isUDIF = false;                // a UDIF ("koly") container with no UDF recognition sequence
    bool hasISO9660 = false;            // at least one CD001 volume descriptor
    bool hasUDF = false;                // a BEA01, NSR02 or NSR03 recognition entry
    bool hasHFS = false;                // an HFS, HFS+ or HFSX volume header, or an Apple partition map
    std::optional<QString> volumeName;  // Joliet name, else the primary name; never empty
    // Filled by examine() only:
    std::optional<qint64> sheetBytes;   // a cue or toc sheet's disc, 2048 bytes a sector
    QString problem;                    // why no burner could burn it, as a sentence; empty when nothing is

    bool operator==(const ImageInfo &) const = default;

    // A plain sector image that can be written to a disc as it stands.
    bool isRaw() const { return !isUDIF; }
    // "ISO 9660 image", "Mac disk image (DMG)", "Raw disc image", ...
    QString formatName() const;
    // What the disc takes: a sheet's tracks, not the sheet's own bytes.
    qint64 discBytes() const { return sheetBytes.value_or(bytes); }
    // DiscSizes::fits(discBytes()).
    QString fitsOn() const { return DiscSizes::fits(discBytes()); }
    // Whether it is a cue sheet or TOC file: a list of tracks kept in other
    // files, told by its extension.
    bool isTrackSheet() const;
    // Burned only through the DMG reader: a UDIF container, or a file named
    // as one (which is never written raw when the reader turns it down).
    bool isDmg() const;
    // Whether a burned disc can be checked by the SHA-256 of this file: only
    // a plain sector image goes to the disc byte for byte (a DMG is decoded,
    // a sheet names other files).
    bool sha256Checkable() const { return !isDmg() && !isTrackSheet(); }
    // What the user should know before burning it, or empty. A sector image
    // with no file system this probe knows is still burned as it is (it may
    // be a file system the probe doesn't read), but it is most likely not
    // a disc image at all.
    QString warning() const;

    // Looks inside `path`: the last 512 bytes for a UDIF trailer, the first
    // 4 KiB for an HFS volume header or Apple partition map, and sectors 16
    // to 23 for ISO 9660 and UDF descriptors. Nothing when the path is not
    // a regular file, is empty, or can't be opened; a read that fails only
    // clears what it would have found. Never throws.
    static std::optional<ImageInfo> inspect(const QString &path);

    // inspect(), then what a burner would make of the file: a sheet is read
    // with the files it names (its disc's size, or what is wrong), a DMG's
    // tables are read (`problem` says why it can't be burned). When inspect()
    // gives nothing, `why` gets the reason as a sentence. Reads a DMG's
    // property list and looks up every file a sheet names: keep it off the
    // main thread.
    static std::optional<ImageInfo> examine(const QString &path, QString *why = nullptr);

    // File-name extensions (lower case, no dot) of the disc images the program burns.
    static const QStringList &burnableExtensions();
};
