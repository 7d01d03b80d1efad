// A search over every schedule of a scene run in the simulator. It goes
// depth-first over the steps and remembers every state it has met, so each
// state's steps are explored once, however many schedules lead there. A
// state is what the simulator holds of the run (StateHash) and what the
// scene adds (its program's memory). Each step explored from a state that
// was met before is replayed from the start of a run, since a run cannot be
// copied.
//
// The states and steps met are kept as a graph. The graph shows whether
// every run ends (no cycle), how many schedules there are (paths through
// it), and whether some weakly fair run stays in a bad state for ever (a
// fair cycle).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/sim.h"

namespace listpool::sim {

// What the search runs, and what it makes of each state.
class SearchScene {
  public:
    // Runs the scene once under `options`, to which the search has given a
    // chooser, and yields the outcome.
    virtual Outcome Play(const Options& options) = 0;
    // At every step, inside the run: a hash of the scene's own state, which
    // StateHash does not see.
    virtual std::uint64_t State() = 0;
    // At every step, inside the run: what is wrong with the state, or "".
    virtual std::string Check() { return {}; }
    // At every step, inside the run: the state's labels, one bit each, for
    // FindFairCycle.
    virtual std::uint32_t Labels() { return 0; }
    // After every run: what went wrong in it, or "". `stopped`: the search
    // ended the run at a state it had met before, so the run did not end by
    // itself.
    virtual std::string Failure(const Outcome& outcome, bool stopped) {
        return stopped || outcome.ok() ? std::string() : outcome.report;
    }
    // After a run that ended by itself: a text that tells its outcome from
    // the others, or "" to keep none.
    virtual std::string OutcomeKey(const Outcome&) { return {}; }

  protected:
    ~SearchScene() = default;
};

struct SearchOptions {
    // false: plain enumeration, every schedule run to its end and nothing
    // remembered; only for scenes whose runs all end, and small ones.
    bool remember = true;
    // A search that meets more states stops there, not complete.
    std::uint64_t maxStates = 4'000'000;
};

// The states and steps met. Node 0 is the first state of every run.
struct StateGraph {
    static constexpr std::uint32_t kEnd = UINT32_MAX;  // the run ended here

    struct Step {
        int thread;
        std::uint32_t to;  // a node, or kEnd
    };
    struct Node {
        std::uint64_t hash;
        std::uint32_t labels;
        std::uint32_t enabled;  // one bit per thread that can go on
        std::vector<Step> steps;
    };

    std::vector<Node> nodes;
    // What the scene found wrong, where: a state its Check failed, which the
    // search goes no further from (thread -1); or the last state of a run
    // that failed and the thread whose step from it ended the run.
    struct Failure {
        std::uint32_t node;
        int thread;
        std::string what;
    };
    std::vector<Failure> failures;

    // The choices (Options::replay) of a shortest path from node 0 to `node`.
    std::vector<int> ChoicesTo(std::uint32_t node) const;
    // Whether some run can go on for ever.
    bool HasCycle() const;
    // The number of schedules: paths from node 0 to an end. Infinite when
    // the graph has a cycle.
    double Schedules() const;
};

struct SearchResult {
    std::uint64_t states = 0;       // distinct states met
    std::uint64_t transitions = 0;  // steps explored from them
    std::uint64_t runs = 0;         // runs started, replays included
    std::uint64_t steps = 0;        // steps simulated, replays included
    bool complete = true;           // every state met was explored
    // The failure a shortest run reaches (in steps), and its choices. The
    // search goes on past every failure to find it; only a broken search
    // (two visits to one state going on differently) stops at once.
    std::string failure;
    std::vector<int> replay;
    // Every distinct outcome, by its key, with the choices of one run of it.
    std::map<std::string, std::vector<int>> outcomes;
    // The hashes of every state met, sorted, for comparing two searches.
    std::vector<std::uint64_t> hashes;
    StateGraph graph;  // only when remembering
};

// Explores every schedule of the scene.
SearchResult SearchStates(SearchScene& scene, const SearchOptions& options = {});

// A run that shows a fair cycle: the choices that reach it, then one lap of
// it, which can be taken again for ever.
struct FairCycle {
    bool found = false;
    std::vector<int> prefix;
    std::vector<int> lap;
};

// Looks for an infinite, weakly fair run that from some point on stays in
// states labelled `label`: a cycle of such states in which every thread
// that can go on in each of its states also takes a step.
FairCycle FindFairCycle(const StateGraph& graph, std::uint32_t label);

// One run along `choices`, stopped at the choice point after the last.
struct Replayed {
    // What the scene found wrong on the way, or "".
    std::string failure;
    // The state at each choice point, the first one and the one after the
    // last choice included.
    std::vector<std::uint64_t> states;
    // The labels every state from choice point k to the next one has.
    std::vector<std::uint32_t> labels;
};
Replayed Replay(SearchScene& scene, const std::vector<int>& choices);

// "states 23,905, transitions 57,012, runs 33,108, steps 1,912,000".
std::string Figures(const SearchResult& result);
// The choices as the numbers LISTPOOL_GUARD_REPLAY and --replay take.
std::string ChoiceText(const std::vector<int>& choices);

}  // namespace listpool::sim
