#pragma once
// Computes the MD5 and SHA-256 of a file. Threading, ownership and
// cancelling as for every WorkerJob (QueuedJob.h).

#include "images/Checksums.h"
#include "queue/QueuedJob.h"

class ChecksumJob : public WorkerJob
{
    Q_OBJECT

public:
    ChecksumJob(const QString &file, QThreadPool *pool, QObject *parent = nullptr);
    void start() override;

Q_SIGNALS:
    // The digests, one event before a successful finished.
    void computed(const QString &file, const Digests &digests);

private:
    const QString m_file;
};
