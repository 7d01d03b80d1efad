// What a session's scene asks of the program's guards when they run a
// guard text (sim/guards/session_guard.h): defined with the simulator's
// entries of the guard, below this folder, and without a text in use, they
// add nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/snapshot.h"

namespace listpool::sim {

// Inside a run: a hash of what the guards that run a text keep beside the
// program's memory (the text's own counters and the first misuse), for the
// scene's state; and that misuse, or "".
std::uint64_t TextGuardsState();
std::string TextGuardsProblem();
// Before a search that copies runs: the bytes outside the run's memory
// where that is kept.
std::vector<Region> TextGuardsRunState();

}  // namespace listpool::sim
