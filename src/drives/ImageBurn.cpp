#include "drives/ImageBurn.h"


#include <QFile>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

RawImageProducer::RawImageProducer(const QString &path, qint64 bytes)
    : m_path(path)
    , m_bytes(bytes)
{
}

RawImageProducer::~RawImageProducer()
{
    close();
}

BurnTrack RawImageProducer::makeTrack(const std::shared_ptr<RawImageProducer> &self) const
{
    return {BurnTrack::Kind::data, self, blocks(), blockBytes, 0};
}

bool RawImageProducer::prepareTrack()
{
    close();
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

quint32 RawImageProducer::producePreGap(char *buffer, quint32 length, quint64, quint32)
{
    std::memset(buffer, 0, length);
    return length;
}

void RawImageProducer::fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) const
{
    std::memset(buffer, 0, length);
    const qint64 offset = qint64(address) * blockSize;
    if (m_bytes <= 0 || offset >= m_bytes || m_fd < 0)
        return;
    const qint64 want = std::min<qint64>(length, m_bytes - offset);
    qint64 got = 0;
    while (got < want) {
        const ssize_t n = ::pread(m_fd, buffer + got, size_t(want - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the rest stays zeros
        got += n;
    }
}

quint32 RawImageProducer::produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    fill(buffer, length, address, blockSize);
    return length;
}

bool RawImageProducer::prepareTrackForVerification()
{
    return m_fd >= 0 || prepareTrack();
}

bool RawImageProducer::verifyPreGap(const char *, quint32, quint64, quint32)
{
    return true;
}

bool RawImageProducer::verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    QByteArray expected(qsizetype(length), Qt::Uninitialized);
    fill(expected.data(), length, address, blockSize);
    return std::memcmp(expected.constData(), buffer, length) == 0;
}

bool RawImageProducer::cleanupTrackAfterVerification()
{
    close();
    return true;
}

void RawImageProducer::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace ImageBurn {

std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service)
{
    if (!forceRaw && service) {
        if (auto read = service->layoutForImageFile(info.path))
            return Layout{*read, QStringLiteral("cue sheet"), nullptr};
    }
    if (!info.isRaw() || info.bytes <= 0 || info.bytes % RawImageProducer::blockBytes != 0)
        return std::nullopt;
    auto producer = std::make_shared<RawImageProducer>(info.path, info.bytes);
    Layout result{{}, QStringLiteral("raw data track"), producer};
    result.layout.tracks.append(producer->makeTrack(producer));
    return result;
}

} // namespace ImageBurn
