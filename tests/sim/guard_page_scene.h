// The scene of the guard's explorer pages (guard_pages.cpp): the guard
// scene of the search (guard_scene.h) on a narrated guard, fresh in every
// run, and searched past its broken states, so that a learner can step on
// from where the guard breaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guard_narration.h"
#include "sim/guards/guard_scene.h"
#include "sim/search/state_search.h"

namespace listpool::sim {

constexpr GuardCast kCast{2, 2, 0, 2};

// The guard scene, each of whose runs starts with no guard made yet.
template <typename Guard>
class FreshScene final : public SearchScene {
  public:
    using Scene = GuardScene<Narrated<Guard>>;
    Outcome Play(const Options& options) override {
        Narrated<Guard>::last = nullptr;
        Narrated<Guard>::in.clear();
        Narrated<Guard>::rounds.clear();
        Narrated<Guard>::entered.clear();
        lastCalls.Clear();
        return scene.Play(options);
    }
    std::uint64_t State() override { return scene.State(); }
    // While `goPast`, a broken state is labelled kBroken, not reported, so
    // that the search goes on past it as far as the program goes.
    std::string Check() override {
        wrong = scene.Check();
        return goPast ? "" : wrong;
    }
    std::uint32_t Labels() override { return scene.Labels() | (wrong.empty() ? 0 : kBroken); }
    static constexpr std::uint32_t kBroken = 1u << 31;
    bool goPast = false;
    std::string wrong;
    std::string Failure(const Outcome& outcome, bool stopped) override {
        return scene.Failure(outcome, stopped);
    }
    Scene scene{kCast};
    LastCalls lastCalls;
};

// Searches `scene` past its broken states, and reports as failures the
// states where the program first breaks: each broken state a step from one
// that is not, as a search that stops there would.
template <typename Guard>
SearchResult SearchPastFailures(FreshScene<Guard>& scene) {
    scene.goPast = true;
    SearchResult result = SearchStates(scene);
    scene.goPast = false;
    const auto& nodes = result.graph.nodes;
    const auto broken = [&](std::uint32_t n) {
        return n != StateGraph::kEnd && (nodes[n].labels & scene.kBroken) != 0;
    };
    std::vector<bool> first(nodes.size(), false);
    first[0] = broken(0);
    for (std::uint32_t n = 0; n < nodes.size(); ++n) {
        for (const auto& step : nodes[n].steps) {
            if (!broken(n) && broken(step.to)) {
                first[step.to] = true;
            }
        }
    }
    for (std::uint32_t n = 0; n < nodes.size(); ++n) {
        if (first[n]) {
            result.graph.failures.push_back({n, -1, "a writer came in beside another thread"});
        }
    }
    return result;
}

}  // namespace listpool::sim
