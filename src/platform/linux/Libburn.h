#pragma once
#include <QString>

namespace Libburn {
// The version of the libburn the program runs with, e.g. "1.5.4".
// Safe before the library is initialised; any thread.
QString version();
} // namespace Libburn
