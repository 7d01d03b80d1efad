#include "sim/search/fair_cycle.h"

#include <algorithm>
#include <map>

#include "sim/search/graph_walks.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {

using walks::kEnd;
using Node = StateGraph::Node;

namespace {

// The labelled states that strongly fair cycles can stay in. A component
// in which a thread can go on somewhere but never steps holds no strongly
// fair cycle through those states: they are dropped and the components of
// the rest found again, until none changes (as Emerson and Lei check it).
std::vector<bool> StronglyFairStates(const StateGraph& graph, std::vector<bool> kept) {
    for (bool changed = true; changed;) {
        changed = false;
        const auto component =
            walks::Components(graph, [&](std::uint32_t node) { return kept[node]; });
        std::map<std::uint32_t, std::pair<ThreadSet, ThreadSet>> seen;  // moved, enabled
        for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
            if (component[node] == kEnd) {
                continue;
            }
            auto& [moved, enabled] = seen[component[node]];
            enabled |= graph.nodes[node].enabled;
            for (const auto& step : graph.nodes[node].steps) {
                if (step.to != kEnd && component[step.to] == component[node]) {
                    moved.Insert(step.thread);
                }
            }
        }
        for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
            if (component[node] == kEnd) {
                continue;
            }
            const auto& [moved, enabled] = seen[component[node]];
            const ThreadSet unserved = graph.nodes[node].enabled - moved;
            if (moved.Empty() || !unserved.Empty()) {
                kept[node] = false;
                changed = true;
            }
        }
    }
    return kept;
}

}  // namespace

FairCycle FindFairCycle(const StateGraph& graph, std::uint32_t label, Fairness kind) {
    std::vector<bool> kept(graph.nodes.size());
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        kept[node] = (graph.nodes[node].labels & label) != 0;
    }
    if (kind == Fairness::kStrong) {
        kept = StronglyFairStates(graph, std::move(kept));
    }
    auto labelled = [&](std::uint32_t node) { return static_cast<bool>(kept[node]); };
    const std::vector<std::uint32_t> component = walks::Components(graph, labelled);
    ThreadSet threads;
    for (const Node& node : graph.nodes) {
        threads |= node.enabled;
    }
    // Per component: the threads that step inside it, and those that cannot
    // go on in one of its states.
    std::map<std::uint32_t, std::pair<ThreadSet, ThreadSet>> fairness;
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        if (component[node] == kEnd) {
            continue;
        }
        auto& [moved, idle] = fairness[component[node]];
        idle |= threads - graph.nodes[node].enabled;
        for (const auto& step : graph.nodes[node].steps) {
            if (step.to != kEnd && component[step.to] == component[node]) {
                moved.Insert(step.thread);
            }
        }
    }
    // The fair component a shortest run reaches, and the state it enters by.
    const Distances distances = DistancesFrom0(graph);
    std::uint32_t entry = kEnd;
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        const auto found = fairness.find(component[node]);
        if (found == fairness.end() || distances.steps[node] == Distances::kUnreached ||
            (entry != kEnd && distances.steps[node] >= distances.steps[entry])) {
            continue;
        }
        const auto& [moved, idle] = found->second;
        ThreadSet covered = moved;
        covered |= idle;
        if (!moved.Empty() && covered == threads) {
            entry = node;  // else no cycle here, or one some thread is kept from for ever
        }
    }
    if (entry != kEnd) {
        const std::uint32_t c = component[entry];
        auto inside = [&](std::uint32_t node) { return component[node] == c; };
        const ThreadSet& moved = fairness[c].first;
        FairCycle cycle;
        cycle.found = true;
        cycle.prefix = ChoicesTo(graph, distances, entry);
        // One lap from the entry through a step of every thread that steps
        // here and a state of every one that cannot, and back.
        std::uint32_t at = entry;
        bool stepped = false;
        auto walk = [&](std::uint32_t to) {
            const auto parent = walks::Breadth(graph, at, inside);
            for (int choice : walks::PathChoices(graph, parent, to, at)) {
                cycle.lap.push_back(choice);
            }
            stepped = stepped || to != at;
            at = to;
        };
        auto take = [&](const StateGraph::Step& step) {
            if (walks::IsChoice(graph.nodes[at])) {
                cycle.lap.push_back(step.thread);
            }
            stepped = true;
            at = step.to;
        };
        auto inward = [&](std::uint32_t node, int thread) {
            const auto& steps = graph.nodes[node].steps;
            return std::find_if(steps.begin(), steps.end(), [&](const auto& step) {
                return (thread < 0 || step.thread == thread) && step.to != kEnd &&
                       component[step.to] == c;
            });
        };
        threads.ForEach([&](int thread) {
            for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
                if (component[node] != c) {
                    continue;
                }
                if (moved.Contains(thread)) {
                    const auto step = inward(node, thread);
                    if (step == graph.nodes[node].steps.end()) {
                        continue;
                    }
                    walk(node);
                    take(*step);
                } else if (!graph.nodes[node].enabled.Contains(thread)) {
                    walk(node);
                } else {
                    continue;
                }
                break;
            }
        });
        if (!stepped) {
            take(*inward(at, -1));
        }
        walk(entry);
        return cycle;
    }
    return {};
}

}  // namespace listpool::sim
