#pragma once
// The "Make an image from a folder" card: the folder, the image format, the
// disc name and whether the image is checked after; Make queues the job.
// Whether the new image is burned after is the burn-image card's choice:
// this model only says what it queued (imageQueued).
//
// Threading: main thread only; nothing here blocks.
//
// Ownership: made and owned by the application model, which owns `queue`
// too; neither is called once it is being destroyed. Every refusal is one
// line of the burn log.

#include "app/CardSupport.h"
#include "images/ImageInfo.h"

#include <QObject>
#include <QString>
#include <QUuid>
#include <QtQmlIntegration/qqmlintegration.h>

class JobQueue;

class MakeImageModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The make-image card's model belongs to the application model")
    Q_PROPERTY(QString folder READ folder NOTIFY folderChanged)
    // "ISO" or "DMG" (ImageFormats::id).
    Q_PROPERTY(QString format READ format WRITE setFormat NOTIFY formatChanged)
    Q_PROPERTY(QString formatExplanation READ formatExplanation NOTIFY formatChanged)
    Q_PROPERTY(QString volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool checkAfter READ checkAfter WRITE setCheckAfter NOTIFY checkAfterChanged)

public:
    MakeImageModel(JobQueue *queue, LogFn log, QObject *parent);

    QString folder() const { return m_folder; }
    QString format() const { return ImageFormats::id(m_format); }
    // An id that names no format is ignored.
    void setFormat(const QString &id);
    QString formatExplanation() const { return ImageFormats::explanation(m_format); }
    QString volume() const { return m_volume; }
    void setVolume(const QString &volume);
    bool checkAfter() const { return m_checkAfter; }
    void setCheckAfter(bool on);

    // Chooses the folder for a new image. The volume name follows it when
    // empty or still the name made from the previous folder.
    Q_INVOKABLE void setFolder(const QString &path);
    // Queues making the image `output` from the folder.
    Q_INVOKABLE void make(const QString &output);
    // The name the save dialog proposes.
    Q_INVOKABLE QString imageName() const;

Q_SIGNALS:
    void folderChanged();
    void formatChanged();
    void volumeChanged();
    void checkAfterChanged();
    // make() queued `job`, which will write the image `output`.
    void imageQueued(const QString &output, const QUuid &job);

private:
    JobQueue *m_queue;
    LogFn m_log;
    QString m_folder;
    ImageFormat m_format = ImageFormat::iso;
    QString m_volume;
    bool m_checkAfter = true;
};
