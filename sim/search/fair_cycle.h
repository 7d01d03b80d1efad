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

enum class Fairness {
    // A thread that can go on in every state of the cycle takes a step in it.
    kWeak,
    // A thread that can go on in some state of the cycle takes a step in it:
    // one that is let go on again and again gets its turn.
    kStrong,
};

// Looks for an infinite fair run that from some point on stays in states
// labelled `label`: a cycle of such states in which every thread the
// fairness names takes a step.
FairCycle FindFairCycle(const StateGraph& graph, std::uint32_t label,
                        Fairness fairness = Fairness::kWeak);

}  // namespace listpool::sim
