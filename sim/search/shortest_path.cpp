#include "sim/search/shortest_path.h"

#include <bit>
#include <deque>

namespace listpool::sim {

Distances DistancesFrom0(const StateGraph& graph) {
    const std::size_t n = graph.nodes.size();
    Distances d{std::vector<std::uint32_t>(n, Distances::kUnreached),
                std::vector<std::uint32_t>(n, StateGraph::kEnd), std::vector<int>(n, -1)};
    if (n == 0) {
        return d;
    }
    std::deque<std::uint32_t> queue{0};
    d.steps[0] = 0;
    while (!queue.empty()) {
        const std::uint32_t node = queue.front();
        queue.pop_front();
        for (const auto& step : graph.nodes[node].steps) {
            if (step.to != StateGraph::kEnd && d.steps[step.to] == Distances::kUnreached) {
                d.steps[step.to] = d.steps[node] + 1;
                d.parent[step.to] = node;
                d.thread[step.to] = step.thread;
                queue.push_back(step.to);
            }
        }
    }
    return d;
}

std::vector<StateGraph::Failure>::const_iterator NearestFailure(const StateGraph& graph,
                                                                const Distances& distances) {
    auto best = graph.failures.end();
    std::uint64_t fewest = UINT64_MAX;
    for (auto failure = graph.failures.begin(); failure != graph.failures.end(); ++failure) {
        const std::uint64_t steps =
            std::uint64_t{distances.steps[failure->node]} + (failure->thread >= 0 ? 1 : 0);
        if (steps < fewest) {
            fewest = steps;
            best = failure;
        }
    }
    return best;
}

std::vector<int> StepsTo(const Distances& distances, std::uint32_t node) {
    std::vector<int> steps;
    for (; node != 0 && distances.parent[node] != StateGraph::kEnd; node = distances.parent[node]) {
        steps.push_back(distances.thread[node]);
    }
    return {steps.rbegin(), steps.rend()};
}

std::vector<int> ChoicesToFailure(const StateGraph& graph, const StateGraph::Failure& failure) {
    std::vector<int> choices = graph.ChoicesTo(failure.node);
    if (failure.thread >= 0 && std::popcount(graph.nodes[failure.node].enabled) > 1) {
        choices.push_back(failure.thread);
    }
    return choices;
}

}  // namespace listpool::sim
