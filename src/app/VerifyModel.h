#pragma once
// The "Verify an image against a disc or file" card: the image, the disc or
// file to check it against, Verify, which queues the job, and what the last
// verify job found.
//
// Threading: main thread only; nothing here blocks.
//
// Ownership: made and owned by the application model, which owns `queue`
// too; neither is called once it is being destroyed. Every refusal is one
// line of the burn log.

#include "app/CardSupport.h"
#include "images/Verifier.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

class JobQueue;

class VerifyModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The verify card's model belongs to the application model")
    Q_PROPERTY(QString image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(QString against READ against WRITE setAgainst NOTIFY againstChanged)
    // {match, summary}; empty when there is no result.
    Q_PROPERTY(QVariantMap result READ resultMap NOTIFY resultChanged)

public:
    // Takes the result of every verify job the queue finishes.
    VerifyModel(JobQueue *queue, LogFn log, QObject *parent);

    QString image() const { return m_image; }
    void setImage(const QString &path);
    QString against() const { return m_against; }
    void setAgainst(const QString &path);
    const std::optional<VerifyResult> &result() const { return m_result; }
    QVariantMap resultMap() const;
    void setResult(const std::optional<VerifyResult> &result);

    // Queues comparing the image with what it is checked against.
    Q_INVOKABLE void verify();

Q_SIGNALS:
    void imageChanged();
    void againstChanged();
    void resultChanged();

private:
    JobQueue *m_queue;
    LogFn m_log;
    QString m_image;
    QString m_against;
    std::optional<VerifyResult> m_result;
};
