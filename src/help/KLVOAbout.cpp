#include "help/KLVOAbout.h"

#include "help/HelpTopics.h"
#include "platform/linux/Libburn.h"

#include <QCoreApplication>

KLVOAbout::KLVOAbout(QObject *parent)
    : QObject(parent)
{
}

QString KLVOAbout::version() const
{
    const QString v = QCoreApplication::applicationVersion();
    return v.isEmpty() ? QStringLiteral(TANDOR_VERSION) : v;
}

QString KLVOAbout::summary() const
{
    return QStringLiteral("Burns audio CDs and disc images on up to six burners at once, makes ISO images, "
                          "copies discs that are not copy-protected and checks them with SHA-256.");
}

QString KLVOAbout::engine() const
{
    return QStringLiteral("libburn ") + Libburn::version();
}

QString KLVOAbout::makerName() const
{
    return KLVOHelp::makerName();
}

QString KLVOAbout::makerUrl() const
{
    return KLVOHelp::makerUrl();
}
