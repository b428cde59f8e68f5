#include "app/VerifyModel.h"

#include "queue/JobQueue.h"

VerifyModel::VerifyModel(JobQueue *queue, LogFn log, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_log(std::move(log))
{
    connect(queue, &JobQueue::verified, this, [this](const VerifyResult &result) { setResult(result); });
}

void VerifyModel::setImage(const QString &path) { setField(this, m_image, path, &VerifyModel::imageChanged); }
void VerifyModel::setAgainst(const QString &path) { setField(this, m_against, path, &VerifyModel::againstChanged); }
void VerifyModel::setResult(const std::optional<VerifyResult> &result) { setField(this, m_result, result, &VerifyModel::resultChanged); }

QVariantMap VerifyModel::resultMap() const
{
    if (!m_result)
        return {};
    return {{QStringLiteral("match"), m_result->match}, {QStringLiteral("summary"), m_result->summary()}};
}

void VerifyModel::verify()
{
    if (m_image.isEmpty() || m_against.isEmpty()) {
        m_log(QStringLiteral("Choose the image and what to check it against."), {});
        return;
    }
    setResult(std::nullopt);
    m_queue->add(Jobs::Verify{m_image, m_against},
                 QStringLiteral("Verify ") + fileNameOf(m_image) + QStringLiteral(" against ") + fileNameOf(m_against));
}
