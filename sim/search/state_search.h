// A search over every schedule of a scene run in the simulator. It goes
// depth-first over the steps and remembers every state it has met, so each
// state's steps are explored once, however many schedules lead there. A
// state is what the simulator holds of the run (StateHash) and what the
// scene adds (its program's memory). Each step explored from a state that
// was met before starts from a copy of the run taken there, where the scene
// and the build allow (platform/sim/snapshot.h), else from a replay of the
// run from its start.
//
// The states and steps met are kept as a graph. The graph shows whether
// every run ends (no cycle), how many schedules there are (paths through
// it), and whether some weakly fair run stays in a bad state for ever (a
// fair cycle).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/search/scene.h"
#include "sim/search/state_graph.h"

namespace listpool::sim {

struct SearchResult {
    std::uint64_t states = 0;       // distinct states met
    std::uint64_t transitions = 0;  // steps explored from them
    std::uint64_t runs = 0;         // runs started, replays included
    std::uint64_t steps = 0;        // steps simulated, replays included
    bool complete = true;           // every state met was explored
    // Searching by restoring: the most bytes of copies of runs held at once.
    std::uint64_t snapshotPeakBytes = 0;
    // The failure a shortest run reaches (in steps), and its choices. The
    // search goes on past every failure to find it; only a broken search
    // (two visits to one state going on differently) stops at once.
    std::string failure;
    std::vector<int> replay;
    // Every distinct outcome, by its key, with the choices of one run of it.
    std::map<std::string, std::vector<int>> outcomes;
    // The hashes of every state met, sorted, for comparing two searches.
    std::vector<std::uint64_t> hashes;
    StateGraph graph;  // only when remembering
};

// Explores every schedule of the scene.
SearchResult SearchStates(SearchScene& scene, const SearchOptions& options = {});

// "23,905": a count with its thousands apart.
std::string Grouped(std::uint64_t n);

// "states 23,905, transitions 57,012, runs 33,108, steps 1,912,000".
std::string Figures(const SearchResult& result);
}  // namespace listpool::sim
