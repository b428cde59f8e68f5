#pragma once
// What the user is told when one of the image tools (xorriso, udisksctl,
// fuseiso, fusermount) fails: a short sentence in place of the tool's own
// words, which are kept for the burn log as a detail line.
//
// Pure functions of their arguments; any thread. The tools run in the
// C.UTF-8 locale (see ImageTool), so the words looked for are English.

#include <QString>

#include <optional>

namespace ToolMessages {

// The sentence for a failed run of `tool` ("fusermount3" counts as
// "fusermount"), from everything it printed on either stream; nothing when
// none of it is known. When several known problems show, the most telling
// wins (xorriso says why before it says that it failed).
std::optional<QString> sentence(const QString &tool, const QString &printed);

// `tool` isn't installed (not on PATH).
QString notInstalled(const QString &tool);

// An image that opened but has nothing any mount tool can read.
QString noFileSystem();

} // namespace ToolMessages
