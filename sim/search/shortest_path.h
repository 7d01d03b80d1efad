// Shortest schedules over the state graph a search keeps, in steps: each
// step of the graph is one platform call of one thread, so breadth-first
// order from the first state finds the fewest calls to any state.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "sim/search/state_graph.h"

namespace listpool::sim {

// Steps from node 0 to every node (kUnreached for a node not reached), and
// the step each node is first reached by: the node before and its thread
// ({kEnd, -1} for node 0 and unreached nodes).
struct Distances {
    static constexpr std::uint32_t kUnreached = StateGraph::kEnd;
    std::vector<std::uint32_t> steps;
    std::vector<std::pair<std::uint32_t, int>> parent;
};
Distances DistancesFrom0(const StateGraph& graph);

// Steps from node 0 to the failure: to its state, and one more for the step
// that ended a failed run.
std::uint64_t StepsToFailure(const Distances& distances, const StateGraph::Failure& failure);

// The failure of the graph that a shortest run reaches: a failing state, or
// the last state of a failed run and the step that ended it;
// graph.failures.end() when there is none.
std::vector<StateGraph::Failure>::const_iterator NearestFailure(const StateGraph& graph,
                                                                const Distances& distances);

// The thread of each step along a shortest path from node 0 to `node`.
std::vector<int> StepsTo(const Distances& distances, std::uint32_t node);

// The choices (for a ReplayChooser) of a shortest path from node 0 to `node`.
std::vector<int> ChoicesTo(const StateGraph& graph, const Distances& distances, std::uint32_t node);

// The choices that reach `failure` by a shortest path, the last step that
// ends a failed run included.
std::vector<int> ChoicesToFailure(const StateGraph& graph, const Distances& distances,
                                  const StateGraph::Failure& failure);

}  // namespace listpool::sim
