#pragma once
// Makes a disc image from a folder with xorriso and, when asked, mounts the
// new image and compares it with the folder. Threading, ownership and
// cancelling as for every WorkerJob (QueuedJob.h); a cancel also ends xorriso.

#include "queue/Job.h"
#include "queue/QueuedJob.h"

class MakeImageJob : public WorkerJob
{
    Q_OBJECT

public:
    MakeImageJob(const Jobs::MakeImage &params, QThreadPool *pool, QObject *parent = nullptr);
    void start() override;

private:
    const Jobs::MakeImage m_params;
};
