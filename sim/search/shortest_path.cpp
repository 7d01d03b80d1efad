#include "sim/search/shortest_path.h"

#include <algorithm>

#include "sim/search/graph_walks.h"

namespace listpool::sim {

Distances DistancesFrom0(const StateGraph& graph) {
    Distances d;
    if (!graph.nodes.empty()) {
        d.parent = walks::Breadth(
            graph, 0, [](std::uint32_t) { return true; }, &d.steps);
    }
    return d;
}

std::uint64_t StepsToFailure(const Distances& distances, const StateGraph::Failure& failure) {
    return std::uint64_t{distances.steps[failure.node]} + (failure.thread >= 0 ? 1 : 0);
}

std::vector<StateGraph::Failure>::const_iterator NearestFailure(const StateGraph& graph,
                                                                const Distances& distances) {
    return std::min_element(graph.failures.begin(), graph.failures.end(),
                            [&](const auto& a, const auto& b) {
                                return StepsToFailure(distances, a) < StepsToFailure(distances, b);
                            });
}

std::vector<int> StepsTo(const Distances& distances, std::uint32_t node) {
    std::vector<int> steps;
    for (; node != 0 && distances.parent[node].first != StateGraph::kEnd;
         node = distances.parent[node].first) {
        steps.push_back(distances.parent[node].second);
    }
    return {steps.rbegin(), steps.rend()};
}

std::vector<int> ChoicesTo(const StateGraph& graph, const Distances& distances,
                           std::uint32_t node) {
    return walks::PathChoices(graph, distances.parent, node, 0);
}

std::vector<int> ChoicesToFailure(const StateGraph& graph, const Distances& distances,
                                  const StateGraph::Failure& failure) {
    std::vector<int> choices = ChoicesTo(graph, distances, failure.node);
    if (failure.thread >= 0 && walks::IsChoice(graph.nodes[failure.node])) {
        choices.push_back(failure.thread);
    }
    return choices;
}

}  // namespace listpool::sim
