// Sessions for the simulator: what a user types and when, and what the
// program wrote, stamped with virtual time and thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim.h"

namespace listpool::sim {

// Reads a session's text. Each line is typed as it stands, newline included,
// as soon as the line before it; a line that starts with "@<ms> " is typed
// at that virtual time instead, without its prefix, and a line "@<ms>" alone
// types nothing but keeps input open until then. Input ends after the last
// line. Times never go back: an earlier time means "at once".
std::vector<TypedText> ParseSession(std::string_view text);

// Thread names in start order: "console" for thread 0, then the kind of
// worker each thread was started as ("print 1", "find 2", "garbage 3"), or
// "thread N" for one started as none of them.
std::vector<std::string> ThreadNames(const Outcome& outcome);

// Bytes as a quoted C string.
std::string Quoted(std::string_view bytes);

// One line per write: time in milliseconds, thread, file and bytes; then how
// the run ended.
std::string Transcript(const Outcome& outcome);

// How the run ended, in one line, with the report for a failed run.
std::string EndingText(const Outcome& outcome);

}  // namespace listpool::sim
