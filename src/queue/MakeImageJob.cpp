#include "queue/MakeImageJob.h"

#include "base/CancelToken.h"
#include "base/Format.h"
#include "base/OffMain.h"
#include "base/TDError.h"
#include "images/BlockReader.h"
#include "images/FolderCompare.h"
#include "images/ImageMaker.h"
#include "images/Mounter.h"

#include <QFileInfo>

namespace {

// On the worker: the result text, or throws TDError. `detail` hears a new
// phase in words.
QString make(const Jobs::MakeImage &job, CancelToken *token, const std::function<void(double)> &progress,
             const std::function<void(const QString &)> &detail)
{
    const double makeShare = job.check ? 0.7 : 1.0;
    ImageMaker::make(job.folder, job.output, job.format, job.volume,
                     [&](double p) { progress(p * makeShare); }, token);
    const QString saved = QStringLiteral("Saved ") + QFileInfo(job.output).fileName() + QStringLiteral(" (")
        + fmtBytes(fileSize(job.output).value_or(0)) + QStringLiteral(")");
    if (!job.check)
        return saved + QStringLiteral(".");

    detail(QStringLiteral("Checking the new image against the folder"));
    const MountedImage mounted = Mounter::attach(job.output, false, true);
    // The check is over either way; an image left mounted would be harmless.
    const auto detach = [&mounted] {
        try {
            Mounter::detach(mounted, false);
        } catch (const TDError &) {
        }
    };
    if (mounted.mountPoints.isEmpty()) {
        detach();
        throw TDError::tool(QStringLiteral("The new image didn't open for checking."));
    }
    FolderCompareResult result;
    try {
        result = FolderCompare::compare(job.folder, mounted.mountPoints.first(),
                                        [&](double p) { progress(0.7 + p * 0.3); }, token);
    } catch (...) {
        detach();
        throw;
    }
    detach();
    if (!result.ok())
        throw TDError::tool(result.summary());
    return saved + QStringLiteral(". Checked: ") + result.summary();
}

} // namespace

MakeImageJob::MakeImageJob(const Jobs::MakeImage &params, QThreadPool *pool, QObject *parent)
    : WorkerJob(pool, parent)
    , m_params(params)
{
}

void MakeImageJob::start()
{
    const QPointer<QObject> self = guard();
    run(std::make_shared<CancelToken>(),
        [this, self, params = m_params](CancelToken *token, const std::function<void(double)> &progress) {
            return make(params, token, progress, [this, self](const QString &detail) {
                postToMain(self, [this, detail] { Q_EMIT detailChanged(detail); });
            });
        });
}
