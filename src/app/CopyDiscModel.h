#pragma once
// The "Make an ISO from a CD or DVD" card: the discs found in the drives,
// the one chosen, and Make ISO, which queues the copy. An audio or mixed CD
// in a deck is a master instead: it is read into a BIN/CUE (in the cache,
// or where the user keeps it), which the burn card then burns. The same disc list
// feeds the verify card's "Against…" menu. Whether the copy is burned after
// is the burn-image card's choice: this model only says what it queued
// (imageQueued). A master read "as a stack" goes to Copies mode instead
// (stackReady) and is not queued for the burn card.
//
// Threading: main thread only. Listing the discs runs on a worker and the
// list comes back on the main thread.
//
// Ownership: made and owned by the application model, which owns `queue`
// and `decks` too; none is called once it is being destroyed. Every refusal
// is one line of the burn log.

#include "app/CardSupport.h"
#include "platform/api/DiscInfo.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>
#include <utility>

class Deck;
class JobQueue;

class CopyDiscModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The copy-disc card's model belongs to the application model")
    // [{bsdName, label, volumeName, device, master}]; a master's bsdName is "deck:N"
    Q_PROPERTY(QVariantList discs READ discsList NOTIFY discsChanged)
    Q_PROPERTY(QString discBSD READ discBSD WRITE setDiscBSD NOTIFY discBSDChanged)
    // The last master read's unreadable sectors, as the log said them; empty
    // when it read cleanly or none was read. Copy Anyway burns it all the same.
    Q_PROPERTY(QString unreadable READ unreadable NOTIFY unreadableChanged)
    // A master read from now on becomes the disc of Copies mode instead of
    // being burned on the burn card's decks.
    Q_PROPERTY(bool stack READ stack WRITE setStack NOTIFY stackChanged)

public:
    CopyDiscModel(JobQueue *queue, const QList<Deck *> &decks, LogFn log, QObject *parent);

    const QList<DiscInfo> &discs() const { return m_discs; }
    QVariantList discsList() const;
    QString discBSD() const { return m_discBSD; }
    void setDiscBSD(const QString &bsd);

    // "Look for Discs": lists the discs on a worker, then logs what it found.
    Q_INVOKABLE void refreshDiscs();
    // The first look when a card that lists discs is shown: the same, without
    // a log line, and only while none are known. A disc coming to or going
    // from a deck looks again, quietly, too.
    Q_INVOKABLE void lookForDiscsQuietly();
    // What a look does with the list it found: keeps the chosen disc when it
    // is still there, else chooses the first.
    void applyDiscs(const QList<DiscInfo> &found, bool logIt);
    // Queues copying the chosen disc into the image `output` (a master:
    // the cue of its BIN/CUE; empty: a new one in the cache).
    Q_INVOKABLE void copy(const QString &output);
    // Whether the chosen disc is a master (an audio or mixed CD in a deck).
    Q_INVOKABLE bool masterChosen() const;
    QString unreadable() const { return m_unreadable; }
    bool stack() const { return m_stack; }
    void setStack(bool on);
    // Burns the master read last despite its unreadable sectors (read as a
    // stack: hands it to Copies mode).
    Q_INVOKABLE void copyAnyway();
    // Where masters read without Keep the image go (made by the first such read).
    static QString cacheFolder();
    // The name the save dialog proposes.
    Q_INVOKABLE QString imageName() const;

Q_SIGNALS:
    void discsChanged();
    void discBSDChanged();
    void unreadableChanged();
    void stackChanged();
    // A master read as a stack has ended well (or Copy Anyway was clicked):
    // the BIN/CUE whose cue is `sheet` is what Copies mode is to burn.
    void stackReady(const QString &sheet);
    // copyAnyway(): `image` is to be burned now, on every chosen deck but
    // `skipDeck`.
    void burnNow(const QString &image, std::optional<int> skipDeck);
    // copy() queued `job`, which will write the image `output`, reading the
    // disc in `fromDeck` when the disc is in one of the decks.
    void imageQueued(const QString &output, const QUuid &job, std::optional<int> fromDeck);

private:
    // Device paths of the decks' discs that udev doesn't list.
    QStringList unlistedDrives() const;
    void look(bool logIt);
    JobQueue *m_queue;
    QList<Deck *> m_decks;
    LogFn m_log;
    QList<DiscInfo> m_discs;
    QString m_discBSD;
    // Adds the masters the decks hold; a drive's own entry for the same disc
    // gives way.
    QList<DiscInfo> withMasters(QList<DiscInfo> found) const;
    std::optional<int> masterDeck(const QString &bsd) const;
    QList<std::pair<QString, int>> m_deckDiscs; // each deck's disc and its audio tracks, as last seen
    struct Pending
    {
        QUuid job;
        QString cue;
        std::optional<int> deck;
        bool stack = false;
    };
    std::optional<Pending> m_reading; // the master read queued last
    std::optional<Pending> m_kept;    // a read that left unreadable sectors
    QString m_unreadable;
    bool m_stack = false;
    quint64 m_looks = 0;        // looks begun
    bool m_answerOwed = false;  // Look for Discs clicked, no look back since
};
