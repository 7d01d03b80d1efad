#include "sim/search/state_graph.h"

#include <cmath>

#include "sim/search/graph_walks.h"

namespace listpool::sim {

using walks::kEnd;
static_assert(StateGraph::kEnd == walks::kEnd);

bool StateGraph::HasCycle() const {
    const std::vector<std::uint32_t> component =
        walks::Components(*this, [](std::uint32_t) { return true; });
    std::vector<std::uint32_t> size(nodes.size(), 0);
    for (const std::uint32_t c : component) {
        ++size[c];
    }
    for (std::uint32_t node = 0; node < nodes.size(); ++node) {
        for (const auto& step : nodes[node].steps) {
            if (step.to == node || (step.to != kEnd && size[component[node]] > 1)) {
                return true;
            }
        }
    }
    return false;
}

double StateGraph::Schedules() const {
    if (nodes.empty()) {
        return 0;
    }
    if (HasCycle()) {
        return INFINITY;
    }
    // Paths to an end from each node, children first.
    std::vector<double> paths(nodes.size(), -1);
    std::vector<std::pair<std::uint32_t, std::size_t>> frames{{0, 0}};
    while (!frames.empty()) {
        auto& [node, next] = frames.back();
        const auto& steps = nodes[node].steps;
        if (next < steps.size()) {
            const std::uint32_t to = steps[next++].to;
            if (to != kEnd && paths[to] < 0) {
                frames.push_back({to, 0});
            }
            continue;
        }
        double sum = 0;
        for (const auto& step : steps) {
            sum += step.to == kEnd ? 1 : paths[step.to];
        }
        paths[node] = sum;
        frames.pop_back();
    }
    return paths[0];
}

}  // namespace listpool::sim
