// Weakly fair runs that stay in labelled states for ever, over a search's graph.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/search/state_graph.h"

namespace listpool::sim {

// A run that shows a fair cycle: the choices that reach it, then one lap of
// it, which can be taken again for ever.
struct FairCycle {
    bool found = false;
    std::vector<int> prefix;
    std::vector<int> lap;
};

// Looks for an infinite, weakly fair run that from some point on stays in
// states labelled `label`: a cycle of such states in which every thread
// that can go on in each of its states also takes a step.
FairCycle FindFairCycle(const StateGraph& graph, std::uint32_t label);

}  // namespace listpool::sim
