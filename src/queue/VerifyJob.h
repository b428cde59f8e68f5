#pragma once
// Compares an image with another file or a disc, byte for byte. A mismatch
// fails the job with the comparison's summary. Threading, ownership and
// cancelling as for every WorkerJob (QueuedJob.h).

#include "images/Verifier.h"
#include "queue/Job.h"
#include "queue/QueuedJob.h"

class VerifyJob : public WorkerJob
{
    Q_OBJECT

public:
    VerifyJob(const Jobs::Verify &params, QThreadPool *pool, QObject *parent = nullptr);
    void start() override;

Q_SIGNALS:
    // Both sides were read to the end, match or not; one event before finished.
    void compared(const VerifyResult &result);

private:
    const Jobs::Verify m_params;
};
