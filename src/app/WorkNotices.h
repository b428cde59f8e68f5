#pragma once
// What the desktop is told when work ends while the window is in the
// background: one note per audio burn, per Copies stack and per queued job.
// Plain functions; the application model decides whether a note goes out.

#include "platform/linux/DesktopNotifier.h"
#include "queue/Job.h"

#include <optional>

class Deck;

namespace WorkNotices {

// An audio burn that ended on `decks` (one, or the decks of a Mirror burn),
// done or failed: each deck's state says which, its phase how.
DesktopNote audioBurn(const QList<const Deck *> &decks);
// A Copies stack whose `count` copies are all done.
DesktopNote copiesDone(int count);
// A queued job that ended; nothing for one that was stopped or never ran.
std::optional<DesktopNote> jobEnded(const QJob &job);

} // namespace WorkNotices
