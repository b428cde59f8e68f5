#include "audio/CDAudioProducer.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace {
quint64 sizeOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_size > 0)
        return quint64(info.st_size);
    return 0;
}
} // namespace

CDAudioProducer::CDAudioProducer(const QString &path)
    : FileTrackProducer(path, sizeOf(path))
{
}

quint32 CDAudioProducer::preGapFrames(int index, double gapSeconds)
{
    if (index == 0)
        return firstPreGap;
    if (!(gapSeconds > 0)) // also NaN
        return 0;
    return quint32(std::min(gapSeconds * framesPerSecond, double(UINT32_MAX)));
}
