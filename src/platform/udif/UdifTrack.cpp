#include "platform/udif/UdifTrack.h"

#include "base/TDError.h"
#include "platform/udif/Udif.h"

#include <algorithm>
#include <cstring>

UdifProducer::UdifProducer(const QString &path, qint64 bytes)
    : m_path(path)
    , m_bytes(quint64(std::max<qint64>(bytes, 0)))
{
}

UdifProducer::~UdifProducer() = default;

bool UdifProducer::prepareTrack()
{
    m_reader.reset();
    try {
        std::unique_ptr<Udif::Reader> reader = Udif::Reader::open(m_path);
        if (quint64(reader->size()) != m_bytes)
            return false; // the file changed since the burn was laid out
        m_reader = std::move(reader);
    } catch (const TDError &) {
        return false;
    }
    return true;
}

bool UdifProducer::prepareTrackForVerification()
{
    return m_reader || prepareTrack();
}

bool UdifProducer::cleanupTrackAfterVerification()
{
    m_reader.reset();
    return true;
}

void UdifProducer::fill(char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    quint64 got = 0;
    const quint64 offset = blockSize != 0 && address > UINT64_MAX / blockSize ? UINT64_MAX : address * blockSize;
    if (offset < m_bytes && m_reader) {
        const quint64 want = std::min<quint64>(m_bytes - offset, length);
        try {
            m_reader->read(qint64(offset), buffer, qint64(want));
            got = want;
        } catch (const TDError &) {
            got = 0; // a chunk that won't decode is zeros, never half a block of it
        }
    }
    std::memset(buffer + got, 0, length - got);
}

namespace UdifTrack {

std::optional<BurnLayout> layout(const QString &path)
{
    qint64 bytes = 0;
    try {
        bytes = Udif::Reader::open(path)->size();
    } catch (const TDError &) {
        return std::nullopt;
    }
    if (bytes <= 0)
        return std::nullopt;
    auto producer = std::make_shared<UdifProducer>(path, bytes);
    BurnLayout result;
    result.tracks.append({BurnTrack::Kind::data, producer, producer->blocks(), UdifProducer::blockBytes, 0, {}});
    return result;
}

QString why(const QString &path)
{
    try {
        if (Udif::Reader::open(path)->size() <= 0)
            return QStringLiteral("The disk image is empty.");
    } catch (const TDError &e) {
        return e.text();
    }
    return {};
}

} // namespace UdifTrack
