#include "sim/guards/verdicts.h"

#include <algorithm>

#include "sim/guards/text_guard.h"
#include "sim/search/fair_cycle.h"
#include "sim/search/graph_walks.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim::guards {
namespace {

enum Kind {
    kExclusion,
    kDeadlock,
    kMisuse,
    kEnds,
    kWeakWriters,
    kWeakReaders,
    kStrongWriters,
    kStrongReaders
};

// Tags that TaggedScene puts before a failed run's report.
constexpr const char* kDeadlockTag = "deadlock: ";
constexpr const char* kMisuseTag = "misuse: ";
constexpr const char* kLimitTag = "limit: ";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

Kind KindOf(const std::string& what) {
    if (StartsWith(what, kDeadlockTag)) {
        return kDeadlock;
    }
    if (StartsWith(what, kLimitTag)) {
        return kEnds;
    }
    // A guard text's misuse is found by its check, as the scene's own
    // failure is: a race on a counter names itself.
    return StartsWith(what, kMisuseTag) || what.ends_with(kRaceMark) ? kMisuse : kExclusion;
}

// A cycle a shortest run reaches, for a run that never ends.
void AnyCycle(const StateGraph& graph, const Distances& distances, Verdict& verdict) {
    const auto component = walks::Components(graph, [](std::uint32_t) { return true; });
    std::uint32_t entry = walks::kEnd;
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        const bool inner = std::any_of(
            graph.nodes[node].steps.begin(), graph.nodes[node].steps.end(), [&](const auto& step) {
                return step.to != walks::kEnd && component[step.to] == component[node];
            });
        if (inner && distances.steps[node] != Distances::kUnreached &&
            (entry == walks::kEnd || distances.steps[node] < distances.steps[entry])) {
            entry = node;
        }
    }
    if (entry == walks::kEnd) {
        return;
    }
    verdict.schedule = ChoicesTo(graph, distances, entry);
    const auto inside = [&](std::uint32_t node) { return component[node] == component[entry]; };
    for (const auto& step : graph.nodes[entry].steps) {
        if (step.to != walks::kEnd && inside(step.to)) {
            if (walks::IsChoice(graph.nodes[entry])) {
                verdict.lap.push_back(step.thread);
            }
            const auto parent = walks::Breadth(graph, step.to, inside);
            for (const int choice : walks::PathChoices(graph, parent, entry, step.to)) {
                verdict.lap.push_back(choice);
            }
            return;
        }
    }
}

}  // namespace

std::size_t VerdictBroken(const std::string& what) {
    return KindOf(what);
}

std::string TaggedScene::Failure(const Outcome& outcome, bool stopped) {
    const std::string report = scene_.Failure(outcome, stopped);
    if (report.empty()) {
        return report;
    }
    switch (outcome.ending) {
        case Ending::kDeadlock:
            return kDeadlockTag + report;
        case Ending::kStepLimit:
        case Ending::kTimeLimit:
            return kLimitTag + report;
        default:
            return kMisuseTag + report;
    }
}

bool GuardCheck::Holds() const {
    return std::all_of(verdicts.begin(), verdicts.end(), [](const Verdict& v) { return v.holds; });
}

GuardCheck Verdicts(const GuardCast& cast, const SearchResult& result) {
    GuardCheck check{cast, result.states, result.transitions, result.complete, {}};
    for (const char* name : kVerdictNames) {
        check.verdicts.push_back({name, true, {}, {}, {}});
    }
    const StateGraph& graph = result.graph;
    const Distances distances = DistancesFrom0(graph);
    std::vector<std::uint64_t> nearest(std::size(kVerdictNames), UINT64_MAX);
    for (const StateGraph::Failure& failure : graph.failures) {
        const std::size_t kind = KindOf(failure.what);
        const std::uint64_t steps = StepsToFailure(distances, failure);
        if (steps < nearest[kind]) {
            nearest[kind] = steps;
            Verdict& verdict = check.verdicts[kind];
            verdict.holds = false;
            verdict.why = failure.what;
            verdict.schedule = ChoicesToFailure(graph, distances, failure);
        }
    }
    const bool forEver = cast.readRounds == 0 || cast.writeRounds == 0;
    const bool cycles = graph.HasCycle();
    Verdict& ends = check.verdicts[kEnds];
    if (forEver) {
        ends.why = "its threads come back for ever";
    } else if (ends.holds && cycles) {
        ends.holds = false;
        ends.why = "a run can go on for ever";
        AnyCycle(graph, distances, ends);
    }
    // Each thread on its own: two writers that wait by turns are not one
    // kept out. A graph without a cycle has no run that goes on for ever.
    const auto fair = [&](Kind kind, bool writers, Fairness fairness) {
        Verdict& verdict = check.verdicts[kind];
        const int count = writers ? cast.writers : cast.readers;
        for (int n = 0; n < count && verdict.holds && cycles; ++n) {
            const std::uint32_t label = (writers ? kGuardWriterWaits : kGuardReaderAtGate) << n;
            const FairCycle cycle = FindFairCycle(graph, label, fairness);
            if (cycle.found) {
                verdict.holds = false;
                verdict.why = GuardThreadName(cast, writers ? 1 + cast.readers + n : 1 + n) +
                              (writers ? " waits to write" : " waits at the gate") +
                              " for ever while the others go round";
                verdict.schedule = cycle.prefix;
                verdict.lap = cycle.lap;
            }
        }
    };
    fair(kWeakWriters, true, Fairness::kWeak);
    fair(kWeakReaders, false, Fairness::kWeak);
    fair(kStrongWriters, true, Fairness::kStrong);
    fair(kStrongReaders, false, Fairness::kStrong);
    return check;
}

GuardCheck CheckText(const GuardCode& code, const GuardCast& cast) {
    return CheckGuard<TextGuard>(cast, [&code] { return new TextGuard(code); });
}

std::string SceneName(const GuardCast& cast) {
    const auto rounds = [](int n) {
        return n == 0 ? std::string("for ever")
                      : "of " + std::to_string(n) + (n == 1 ? " round" : " rounds");
    };
    return std::to_string(cast.readers) + " readers " + rounds(cast.readRounds) + " and " +
           std::to_string(cast.writers) + " writers " + rounds(cast.writeRounds);
}

}  // namespace listpool::sim::guards
