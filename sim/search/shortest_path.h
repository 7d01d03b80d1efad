// Shortest schedules over the state graph a search keeps, in steps: each
// step of the graph is one platform call of one thread, so breadth-first
// order from the first state finds the fewest calls to any state.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/search/state_graph.h"

namespace listpool::sim {

// Steps from node 0 to every node, and the step each node is first reached
// by: parent[n] and thread[n]. Unreached nodes are kUnreached away.
struct Distances {
    static constexpr std::uint32_t kUnreached = UINT32_MAX;
    std::vector<std::uint32_t> steps;
    std::vector<std::uint32_t> parent;
    std::vector<int> thread;
};
Distances DistancesFrom0(const StateGraph& graph);

// The failure of the graph that a shortest run reaches: a failing state, or
// the last state of a failed run and the step that ended it, with its steps
// from node 0 counted; graph.failures.end() when there is none.
std::vector<StateGraph::Failure>::const_iterator NearestFailure(const StateGraph& graph,
                                                                const Distances& distances);

// The thread of each step along a shortest path from node 0 to `node`.
std::vector<int> StepsTo(const Distances& distances, std::uint32_t node);

// The choices (for a ReplayChooser) that reach `failure` by a shortest path,
// the last step that ends a failed run included.
std::vector<int> ChoicesToFailure(const StateGraph& graph, const StateGraph::Failure& failure);

}  // namespace listpool::sim
