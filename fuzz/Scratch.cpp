#include "Scratch.h"

#include <QStringDecoder>

QString Fuzz::text(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : decoded;
}
