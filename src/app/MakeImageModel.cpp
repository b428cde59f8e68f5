#include "app/MakeImageModel.h"

#include "images/ImageMaker.h"
#include "queue/JobQueue.h"

MakeImageModel::MakeImageModel(JobQueue *queue, LogFn log, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_log(std::move(log))
{
}

void MakeImageModel::setFormat(const QString &id)
{
    if (const std::optional<ImageFormat> format = ImageFormats::fromId(id))
        setField(this, m_format, *format, &MakeImageModel::formatChanged);
}

void MakeImageModel::setVolume(const QString &volume) { setField(this, m_volume, volume, &MakeImageModel::volumeChanged); }
void MakeImageModel::setCheckAfter(bool on) { setField(this, m_checkAfter, on, &MakeImageModel::checkAfterChanged); }

void MakeImageModel::setFolder(const QString &path)
{
    const QString before = m_folder;
    setField(this, m_folder, path, &MakeImageModel::folderChanged);
    // The name follows the folder until the user types one of their own.
    const bool fromFolder = m_volume.isEmpty()
                            || (!before.isEmpty() && m_volume == ImageMaker::volumeName(fileNameOf(before)));
    if (!path.isEmpty() && fromFolder)
        setVolume(ImageMaker::volumeName(fileNameOf(path)));
}

void MakeImageModel::make(const QString &output)
{
    if (m_folder.isEmpty()) {
        m_log(QStringLiteral("Choose a folder first."), {});
        return;
    }
    const std::optional<QUuid> job = m_queue->add(
        Jobs::MakeImage{m_folder, output, m_format, imageName(), m_checkAfter},
        QStringLiteral("Make ") + fileNameOf(output) + QStringLiteral(" from “") + fileNameOf(m_folder)
            + QStringLiteral("”"));
    if (job)
        Q_EMIT imageQueued(output, *job);
}

QString MakeImageModel::imageName() const
{
    return ImageMaker::volumeName(m_volume.isEmpty() ? fileNameOf(m_folder) : m_volume);
}
