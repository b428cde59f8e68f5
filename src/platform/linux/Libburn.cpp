#include "platform/linux/Libburn.h"

#include <libburn/libburn.h>

namespace Libburn {

QString version()
{
    int major = 0, minor = 0, micro = 0;
    burn::burn_version(&major, &minor, &micro);
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(micro);
}

} // namespace Libburn
