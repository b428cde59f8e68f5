#include "platform/linux/Libburn.h"

#include <libburn/libburn.h>

namespace Libburn {

QString version()
{
    int major = 0, minor = 0, micro = 0;
    burn::burn_version(&major, &minor, &micro);
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(micro);
}

bool overwritable(burn::burn_drive *drive)
{
    int profile = 0;
    char name[80];
    if (burn::burn_disc_get_profile(drive, &profile, name) != 1)
        return false;
    return profile == 0x12 || profile == 0x13 || profile == 0x1a || profile == 0x43;
}

} // namespace Libburn
