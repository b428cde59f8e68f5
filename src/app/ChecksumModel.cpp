#include "app/ChecksumModel.h"

#include "app/SaveFile.h"

#include "base/Format.h"
#include "base/OffMain.h"
#include "queue/JobQueue.h"


ChecksumModel::ChecksumModel(JobQueue *queue, LogFn log, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_log(std::move(log))
{
    connect(this, &ChecksumModel::sumsChanged, this, &ChecksumModel::verdictChanged);
    connect(this, &ChecksumModel::expectedChanged, this, &ChecksumModel::verdictChanged);
    connect(queue, &JobQueue::checksumsComputed, this, [this](const QString &file, const Digests &digests) {
        if (file == m_file)
            setSums(digests);
    });
}

QVariantMap ChecksumModel::sumsMap() const
{
    if (!m_sums)
        return {};
    return {{QStringLiteral("md5"), m_sums->md5},
            {QStringLiteral("sha256"), m_sums->sha256},
            {QStringLiteral("bytes"), m_sums->bytes},
            {QStringLiteral("bytesText"), fmtBytes(m_sums->bytes)}};
}

void ChecksumModel::setSums(const std::optional<Digests> &sums) { setField(this, m_sums, sums, &ChecksumModel::sumsChanged); }
void ChecksumModel::setExpected(const QString &text) { setField(this, m_expected, text, &ChecksumModel::expectedChanged); }

QString ChecksumModel::verdict() const
{
    if (m_expected.trimmed().isEmpty() || !m_sums)
        return {};
    return Checksums::verdict(Checksums::match(m_expected, *m_sums));
}

void ChecksumModel::checksum(const QString &file)
{
    setField(this, m_file, file, &ChecksumModel::fileChanged);
    setSums(std::nullopt);
    m_queue->add(Jobs::Checksum{file}, QStringLiteral("Checksums of ") + fileNameOf(file));
}

void ChecksumModel::save(const QString &target)
{
    if (m_file.isEmpty() || !m_sums || target.isEmpty())
        return;
    const QByteArray text = Checksums::fileText(*m_sums, fileNameOf(m_file)).toUtf8();
    offMain(
        this,
        [target, text]() -> QString { return SaveFile::replace(target, text); },
        [this, target](const QString &error) {
            if (!error.isEmpty())
                m_log(QStringLiteral("Couldn't save: ") + error, {});
            Q_EMIT saved(target, error.isEmpty());
        });
}

QString ChecksumModel::saveName() const
{
    return fileNameOf(m_file) + QStringLiteral(".sha256");
}
