#include "platform/api/DiscInfo.h"

#include "base/Format.h"

bool DiscInfo::isOptical() const
{
    return mediaKind == QLatin1String("CD") || mediaKind == QLatin1String("DVD") || mediaKind == QLatin1String("BD");
}

QString DiscInfo::label() const
{
    QString name = volumeName.value_or(QString());
    if (name.isEmpty())
        name = mediaName.isEmpty() ? QStringLiteral("Disc") : mediaName;
    return name + QStringLiteral(" (") + bsdName + QStringLiteral(", ") + fmtBytes(bytes) + QLatin1Char(')');
}
