// The explorer page (sim/explore/explore_page.h) of a session: every state of every
// schedule of the whole program on it, with the virtual time, the pool and
// the list, both guards' objects and what each stream and log holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/explore/explore_page.h"

namespace listpool::sim {

// The page, whose command replays the session from `file` (as given) with
// the simulator `program`. With a guard text in the guards' place
// (sim/guards/session_guard.h), `guardText` is its text: the page shows it
// as the code, with each thread's line in it.
std::string SessionPage(std::string_view session, const std::string& file,
                        const std::string& program, std::string_view guardText = {});

// The guard's code that the page sets beside each state (GuardSourceJson).
std::string SessionCode();

// Every state along `choices`, as the page shows it.
std::vector<StateView> SessionViews(std::string_view session, const std::vector<int>& choices);

}  // namespace listpool::sim
