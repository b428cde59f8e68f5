#pragma once
// Made-up contents for image files.

#include <QByteArray>
#include <QRandomGenerator>

// Bytes that don't compress and hold no signature by chance.
inline QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray data((size + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    data.truncate(size);
    return data;
}

// Bytes that differ from their neighbours and from another seed's.
inline QByteArray patterned(qint64 size, int seed = 0)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 131 + (i >> 12) + seed) & 0xff);
    return data;
}

// Bytes that compress, but not to nothing: a counter mixed into text.
inline QByteArray textPattern(qsizetype size, int seed = 0)
{
    QByteArray b;
    while (b.size() < size)
        b += QByteArray("sector ") + QByteArray::number(seed + b.size()) + " of a test image\n";
    b.truncate(size);
    return b;
}
