// Walks over a search's graph (sim/search/state_graph.h) that its queries
// and the fair cycles share: over any graph of nodes with `steps` (each to
// a node or kEnd, by a thread) and `enabled` threads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace listpool::sim::walks {

constexpr std::uint32_t kEnd = UINT32_MAX;  // a step that ends the run

// Whether more than one thread can go on in the node's state.
template <typename Node>
bool IsChoice(const Node& node) {
    return node.enabled.Count() > 1;
}

// Shortest paths by breadth from `from` over the nodes `inside` allows, as
// each node's step there; `from` itself has none. With `depth`, also each
// node's steps from `from` (kEnd where it is not reached).
template <typename Graph, typename Inside>
std::vector<std::pair<std::uint32_t, int>> Breadth(const Graph& graph, std::uint32_t from,
                                                   Inside inside,
                                                   std::vector<std::uint32_t>* depth = nullptr) {
    std::vector<std::pair<std::uint32_t, int>> parent(graph.nodes.size(), {kEnd, -1});
    std::vector<std::uint32_t> steps(graph.nodes.size(), kEnd);
    std::deque<std::uint32_t> queue{from};
    steps[from] = 0;
    while (!queue.empty()) {
        const std::uint32_t node = queue.front();
        queue.pop_front();
        for (const auto& step : graph.nodes[node].steps) {
            if (step.to != kEnd && steps[step.to] == kEnd && inside(step.to)) {
                steps[step.to] = steps[node] + 1;
                parent[step.to] = {node, step.thread};
                queue.push_back(step.to);
            }
        }
    }
    if (depth != nullptr) {
        *depth = std::move(steps);
    }
    return parent;
}

// The choices along the path that `parent` gives from its root to `to`.
template <typename Graph>
std::vector<int> PathChoices(const Graph& graph,
                             const std::vector<std::pair<std::uint32_t, int>>& parent,
                             std::uint32_t to, std::uint32_t root) {
    std::vector<int> choices;
    for (std::uint32_t node = to; node != root;) {
        const auto [before, thread] = parent[node];
        if (IsChoice(graph.nodes[before])) {
            choices.push_back(thread);
        }
        node = before;
    }
    std::reverse(choices.begin(), choices.end());
    return choices;
}

// Strongly connected components of the nodes `inside` allows (Tarjan's,
// without recursion): each node's component, or kEnd outside.
template <typename Graph, typename Inside>
std::vector<std::uint32_t> Components(const Graph& graph, Inside inside) {
    const std::size_t n = graph.nodes.size();
    std::vector<std::uint32_t> component(n, kEnd), order(n, kEnd), low(n, 0);
    std::vector<bool> onStack(n, false);
    std::vector<std::uint32_t> stack;
    std::vector<std::pair<std::uint32_t, std::size_t>> frames;  // node, next step
    std::uint32_t counter = 0, components = 0;
    for (std::uint32_t root = 0; root < n; ++root) {
        if (order[root] != kEnd || !inside(root)) {
            continue;
        }
        frames.push_back({root, 0});
        order[root] = low[root] = counter++;
        stack.push_back(root);
        onStack[root] = true;
        while (!frames.empty()) {
            auto& [node, next] = frames.back();
            const auto& steps = graph.nodes[node].steps;
            if (next < steps.size()) {
                const std::uint32_t to = steps[next++].to;
                if (to == kEnd || !inside(to)) {
                    continue;
                }
                if (order[to] == kEnd) {
                    order[to] = low[to] = counter++;
                    stack.push_back(to);
                    onStack[to] = true;
                    frames.push_back({to, 0});
                } else if (onStack[to]) {
                    low[node] = std::min(low[node], order[to]);
                }
                continue;
            }
            const std::uint32_t done = node;
            frames.pop_back();
            if (!frames.empty()) {
                low[frames.back().first] = std::min(low[frames.back().first], low[done]);
            }
            if (low[done] == order[done]) {
                std::uint32_t member;
                do {
                    member = stack.back();
                    stack.pop_back();
                    onStack[member] = false;
                    component[member] = components;
                } while (member != done);
                ++components;
            }
        }
    }
    return component;
}

}  // namespace listpool::sim::walks
