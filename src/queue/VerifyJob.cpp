#include "queue/VerifyJob.h"

#include "base/OffMain.h"
#include "base/TDError.h"

VerifyJob::VerifyJob(const Jobs::Verify &params, QThreadPool *pool, QObject *parent)
    : WorkerJob(pool, parent)
    , m_params(params)
{
}

void VerifyJob::start()
{
    const QPointer<QObject> self = guard();
    run(std::make_shared<CancelToken>(),
        [this, self, params = m_params](CancelToken *token, const std::function<void(double)> &progress) {
            const VerifyResult result = Verifier::compare(params.image, params.against, progress, token);
            postToMain(self, [this, result] { Q_EMIT compared(result); });
            if (!result.match)
                throw TDError::tool(result.summary());
            return result.summary();
        });
}
