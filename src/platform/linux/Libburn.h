#pragma once
#include <QString>

namespace burn {
struct burn_drive;
}

namespace Libburn {
// The version of the libburn the program runs with, e.g. "1.5.4".
// Safe before the library is initialised; any thread.
QString version();

// True for discs written in place (DVD-RAM, DVD-RW restricted overwrite,
// DVD+RW, BD-RE): libburn shows them blank, with no table of contents.
// libburn thread, drive grabbed.
bool overwritable(burn::burn_drive *drive);
} // namespace Libburn
