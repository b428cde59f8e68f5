#pragma once
// The "Checksums (MD5 and SHA-256)" card: the chosen file, its sums once the
// queued job has worked them out, a pasted checksum compared with them, and
// saving them as a .sha256 file.
//
// Threading: main thread only. Saving writes the file on a worker and
// reports back on the main thread (saved).
//
// Ownership: made and owned by the application model, which owns `queue`
// too; neither is called once it is being destroyed. Only sums of the file
// now chosen are kept.

#include "app/CardSupport.h"
#include "images/Checksums.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

class JobQueue;

class ChecksumModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The checksum card's model belongs to the application model")
    Q_PROPERTY(QString file READ file NOTIFY fileChanged)
    // {md5, sha256, bytes, bytesText}; empty until worked out.
    Q_PROPERTY(QVariantMap sums READ sumsMap NOTIFY sumsChanged)
    Q_PROPERTY(QString expected READ expected WRITE setExpected NOTIFY expectedChanged)
    // The verdict on `expected` against `sums`; empty while either is missing.
    Q_PROPERTY(QString verdict READ verdict NOTIFY verdictChanged)

public:
    // Takes the sums of the chosen file from the queue's checksum jobs.
    ChecksumModel(JobQueue *queue, LogFn log, QObject *parent);

    QString file() const { return m_file; }
    const std::optional<Digests> &sums() const { return m_sums; }
    QVariantMap sumsMap() const;
    void setSums(const std::optional<Digests> &sums);
    QString expected() const { return m_expected; }
    void setExpected(const QString &text);
    QString verdict() const;

    // Chooses `file` and queues working out its sums.
    Q_INVOKABLE void checksum(const QString &file);
    // Writes the shown sums as a .sha256 file at `target` (chosen in a save
    // dialog), atomically, on a worker.
    Q_INVOKABLE void save(const QString &target);
    // The name the save dialog proposes.
    Q_INVOKABLE QString saveName() const;

Q_SIGNALS:
    void fileChanged();
    void sumsChanged();
    void expectedChanged();
    void verdictChanged();
    // A save ended (the log says why when it failed).
    void saved(const QString &target, bool ok);

private:
    JobQueue *m_queue;
    LogFn m_log;
    QString m_file;
    std::optional<Digests> m_sums;
    QString m_expected;
};
