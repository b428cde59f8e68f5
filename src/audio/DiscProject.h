#pragma once
// One audio CD: its tracks in burn order, the CD-Text album and artist, the
// mastering codes (catalogue number, ISRCs) and the silence between tracks.
//
// Threading: a project lives on the main thread and every member is called
// there; only add() reads files, on a worker of Qt's global pool (offMain),
// and hands the tracks back to the main thread. Each added track is then
// decoded once on the project's own worker to find its real length; a track
// removed meanwhile, or the project going, stops that. A burn copies what it
// needs when it starts, so later edits never reach a running burn.
//
// Errors: a mastering code that can't be one is refused by its setter, which
// keeps the code it had; codeProblem() says why, for the field it was typed in.
//
// Ownership: the application model owns its six projects for its whole life;
// screens and list models hold them weakly.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>
#include <functional>
#include <memory>

class CancelToken;

struct TrackItem
{
    QUuid id;       // fresh for every track added; names the row in lists
    QString path;   // the source file as the user chose it, never copied
    QString title;  // CD-Text title; the file name without extension at first
    double seconds = 0;
    // The length the file's header gave when it was added; `seconds` becomes
    // the length found by decoding it, which a cut or damaged file falls short of.
    double headerSeconds = 0;
    QString performer; // CD-Text performer; empty: the disc's artist
    QString isrc;      // 12 characters, upper case, no hyphens; empty when none
    bool operator==(const TrackItem &) const = default;

    // The file plays well short of what its header said.
    bool endsEarly() const;

    // The title a new track of `path` starts with: its file name without the
    // last extension ("a.live.flac" gives "a.live", ".flac" stays ".flac").
    static QString titleFor(const QString &path);
};

class DiscProject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString album READ album WRITE setAlbum NOTIFY albumChanged)
    Q_PROPERTY(QString artist READ artist WRITE setArtist NOTIFY artistChanged)
    Q_PROPERTY(QString catalog READ catalog NOTIFY catalogChanged)
    Q_PROPERTY(double gapSeconds READ gapSeconds WRITE setGapSeconds NOTIFY gapSecondsChanged)
    Q_PROPERTY(int count READ count NOTIFY tracksChanged)
    Q_PROPERTY(double totalSeconds READ totalSeconds NOTIFY totalSecondsChanged)
    Q_PROPERTY(QString totalText READ totalText NOTIFY totalSecondsChanged)
    Q_PROPERTY(bool fits READ fits NOTIFY totalSecondsChanged)
    Q_PROPERTY(QString displayName READ displayName NOTIFY albumChanged)

public:
    // Why add() left a file out.
    enum class LeftOut {
        notAudio,   // it can be read, but holds no audio the reader knows
        unreadable, // it is gone, not a file, or may not be read
    };
    Q_ENUM(LeftOut)

    // 80 minutes: a project this long still fits on a CD-R; a longer one does not.
    static constexpr double cdSeconds = 4800.0;

    explicit DiscProject(QObject *parent = nullptr);
    ~DiscProject() override;

    QString album() const { return m_album; }
    void setAlbum(const QString &album);
    QString artist() const { return m_artist; }
    void setArtist(const QString &artist);
    // The disc's catalogue number (UPC/EAN, 13 digits) or empty.
    QString catalog() const { return m_catalog; }
    // Takes `typed` as the catalogue number, empty for none; hyphens, spaces
    // and case don't matter. A code codeProblem() finds fault with is not
    // taken: returns false and the number stays as it was.
    Q_INVOKABLE bool setCatalog(const QString &typed);
    double gapSeconds() const { return m_gap; }
    // Rounded to whole seconds and kept within 0…5.
    void setGapSeconds(double seconds);

    const QList<TrackItem> &tracks() const { return m_tracks; }
    int count() const { return int(m_tracks.size()); }
    // Every track's seconds plus one gap between each two tracks.
    double totalSeconds() const;
    // The total as "m:ss".
    QString totalText() const;
    // Exactly 80:00 still fits.
    bool fits() const { return totalSeconds() <= cdSeconds; }
    // The album, or "Untitled disc" while it is empty.
    QString displayName() const;

    // Appends every file the audio reader can open, in the order given, and
    // leaves the rest out. The files are read on a worker thread; the tracks
    // arrive later on the main thread, batches in the order they were asked
    // for, followed by tracksAdded and `done` (if given) with the count, then
    // filesLeftOut for what was left out. A batch still being read when the
    // project is destroyed is dropped and its `done` never runs (the reading
    // itself runs to its end; it only looks at the files).
    Q_INVOKABLE void add(const QStringList &paths) { add(paths, {}); }
    void add(const QStringList &paths, std::function<void(int added)> done);
    // Swaps the track with its neighbour; does nothing outside the list.
    Q_INVOKABLE void move(int index, int delta);
    // Index-based edits do nothing for an index outside the list (a row that
    // has gone meanwhile).
    Q_INVOKABLE void remove(int index);
    Q_INVOKABLE void clear();
    Q_INVOKABLE void rename(int index, const QString &title);
    Q_INVOKABLE void setPerformer(int index, const QString &performer);
    // As setCatalog(), for the track's ISRC; false too for an index outside.
    Q_INVOKABLE bool setIsrc(int index, const QString &typed);
    // The length of track `id` as found by reading its file to the end, for a
    // file that holds less than it claimed. Does nothing for a track that is
    // no longer in the list.
    void setTrackSeconds(const QUuid &id, double seconds);

    // `typed` as stored: upper case, without hyphens and spaces.
    static QString normalCode(const QString &typed);
    // Why `typed` can't be the disc's catalogue number (`catalog`: an EAN-13
    // whose check digit is right) or a track's ISRC (CC-XXX-YY-NNNNN), in one
    // sentence; empty when it can, or when it is empty (no code).
    Q_INVOKABLE static QString codeProblem(const QString &typed, bool catalog);

Q_SIGNALS:
    void albumChanged();
    void artistChanged();
    void catalogChanged();
    void gapSecondsChanged();
    // Any change of the track list: added, moved, removed, cleared, or a
    // track's title, performer or ISRC edited.
    void tracksChanged();
    // The total (and so the fit) changed: the tracks or the gap did.
    void totalSecondsChanged();
    void tracksAdded(int added);
    // add() left these files out (their names, in the order given) for
    // `why`: once per reason and batch, after tracksAdded.
    void filesLeftOut(const QStringList &names, DiscProject::LeftOut why);
    // A line for the burn log.
    void logged(const QString &line);
    // The real length of every track added so far is known.
    void measured();

private:
    struct PendingAdd;
    void appendFinishedAdds();
    void changeTracks(bool totalToo);
    // Decodes the track's file on m_workers for its real length.
    void measure(const TrackItem &track);
    void stopMeasuring(const QUuid &id);
    // Sets a field of track `index` when the index is in the list and the
    // value is new.
    void editTrack(int index, QString TrackItem::*field, const QString &value);

    QList<std::shared_ptr<PendingAdd>> m_pending;
    QHash<QUuid, std::shared_ptr<CancelToken>> m_measuring;
    // One file at a time: measuring is background work and must leave the
    // shared pool and the other cores to what the user is waiting for.
    QThreadPool m_workers;
    QString m_album;
    QString m_artist;
    QString m_catalog;
    QList<TrackItem> m_tracks;
    double m_gap = 2.0;
};
