#include "queue/ChecksumJob.h"

#include "base/OffMain.h"

ChecksumJob::ChecksumJob(const QString &file, QThreadPool *pool, QObject *parent)
    : WorkerJob(pool, parent)
    , m_file(file)
{
}

void ChecksumJob::start()
{
    const QPointer<QObject> self = guard();
    run(std::make_shared<CancelToken>(),
        [this, self, file = m_file](CancelToken *token, const std::function<void(double)> &progress) {
            const Digests digests = Checksums::compute(file, progress, token);
            postToMain(self, [this, file, digests] { Q_EMIT computed(file, digests); });
            return QStringLiteral("MD5 ") + digests.md5 + QStringLiteral(" · SHA-256 ") + digests.sha256;
        });
}
