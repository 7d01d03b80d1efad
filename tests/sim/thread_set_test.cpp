// Sets of threads: the set itself, and a session whose threads go past the
// ids a machine word holds, searched and replayed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/hash.h"
#include "platform/sim/strategies.h"
#include "sim/runs/session_search.h"
#include "sim/search/shortest_path.h"
#include "sim/search/thread_set.h"

namespace listpool::sim {
namespace {

std::vector<int> Members(const ThreadSet& set) {
    std::vector<int> threads;
    set.ForEach([&threads](int thread) { threads.push_back(thread); });
    return threads;
}

// Ids past each word's end, in any order, come back ascending; sets that
// hold the same threads are equal however they were made, the words emptied
// by a difference included.
TEST(ThreadSetTest, HoldsAnyIdsAndComparesByMembers) {
    const ThreadSet set({130, 0, 63, 64, 32, 31});
    EXPECT_EQ(Members(set), (std::vector<int>{0, 31, 32, 63, 64, 130}));
    EXPECT_EQ(set.Count(), 6u);
    for (const int absent : {1, 33, 62, 65, 127, 128, 129, 131, 1000}) {
        EXPECT_FALSE(set.Contains(absent)) << absent;
    }
    EXPECT_TRUE(set.Contains(130));
    const ThreadSet low({0, 31, 32, 63});
    EXPECT_EQ(set - ThreadSet({64, 130}), low);
    EXPECT_NE(set - ThreadSet({130}), low);
    EXPECT_TRUE((low - set).Empty());
    ThreadSet joined = low;
    joined |= ThreadSet({64, 130});
    EXPECT_EQ(joined, set);
}

// Sets of threads have no limit on their ids: forty finds 3 s apart start
// threads 1 to 40, and a dump beside the 32nd find and another beside the
// 40th make choice points between the console and threads above 31. Every
// state records every thread that steps from it, so each of those is a
// choice point, and the choices of a shortest run to an end replay that
// run, state by state, to an outcome the search met.
TEST(ThreadSetTest, ChoicePointsOfThreadsPastThirtyOneAreKeptAndReplay) {
    std::string text;
    for (int k = 0; k < 40; ++k) {
        text += "@" + std::to_string(3000 * k) + " F 1\n";
        text += k == 31 ? "@94000 f\n" : "";
    }
    text += "@118000 f\n@124000 q\n";
    const auto start = std::chrono::steady_clock::now();
    const EverySchedule every = SearchEverySchedule(text);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(every.result.failure, "");
    const StateGraph& graph = every.result.graph;
    ThreadSet started, choosing;
    std::size_t choicePoints = 0;
    for (std::uint32_t n = 0; n < graph.nodes.size(); ++n) {
        const StateGraph::Node& node = graph.nodes[n];
        ThreadSet stepping;
        for (const StateGraph::Step& step : node.steps) {
            EXPECT_TRUE(node.enabled.Contains(step.thread)) << "state " << n << ", " << step.thread;
            stepping.Insert(step.thread);
        }
        started |= node.enabled;
        if (stepping.Count() > 1) {
            ++choicePoints;
            choosing |= stepping;
            EXPECT_GT(node.enabled.Count(), 1u) << "state " << n << " is no choice point";
        }
    }
    EXPECT_TRUE(started.Contains(40));
    EXPECT_TRUE(choosing.Contains(32));
    EXPECT_TRUE(choosing.Contains(40));

    // The end a shortest run reaches, and the states on its way.
    const Distances distances = DistancesFrom0(graph);
    std::pair<std::uint32_t, int> end{StateGraph::kEnd, -1};
    for (std::uint32_t n = 0; n < graph.nodes.size(); ++n) {
        for (const StateGraph::Step& step : graph.nodes[n].steps) {
            if (step.to == StateGraph::kEnd && (end.first == StateGraph::kEnd ||
                                                distances.steps[n] < distances.steps[end.first])) {
                end = {n, step.thread};
            }
        }
    }
    ASSERT_NE(end.first, StateGraph::kEnd);
    std::vector<std::uint32_t> way;
    for (std::uint32_t n = end.first; n != StateGraph::kEnd; n = distances.parent[n].first) {
        way.insert(way.begin(), n);
    }
    std::vector<int> choices = ChoicesTo(graph, distances, end.first);
    if (graph.nodes[end.first].enabled.Count() > 1) {
        choices.push_back(end.second);
    }
    SessionScene scene(text);
    scene.WarmUp();
    std::size_t at = 0;
    StopChooser stop;
    ReplayChooser replay(choices, stop, [&](const std::vector<int>&, int thread) {
        EXPECT_LT(at, way.size());
        if (at < way.size()) {
            EXPECT_EQ(Fold(StateHash(), scene.State()), graph.nodes[way[at]].hash) << "step " << at;
        }
        ++at;
        return thread;
    });
    Options options;
    options.chooser = &replay;
    const Outcome outcome = scene.Play(options);
    EXPECT_TRUE(outcome.ok()) << outcome.report;
    EXPECT_EQ(at, way.size());
    EXPECT_EQ(every.result.outcomes.count(scene.OutcomeKey(outcome)), 1u);
    std::printf("%zu threads, %s, %zu choice points, in %.3f s\n", started.Count(),
                Figures(every.result).c_str(), choicePoints, took.count());
}

}  // namespace
}  // namespace listpool::sim
