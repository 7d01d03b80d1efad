// The state search's driver (state_search.h): the chooser that steers each
// run, the records it keeps of states and steps, and the two ways it takes
// a pending step, by putting back a copy of the run or by replaying one.
// For sim/search only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sim.h"
#include "platform/sim/snapshot.h"
#include "sim/search/scene.h"
#include "sim/search/state_search.h"

namespace listpool::sim {

// A state still to be left by some of its steps: the choices that reach it,
// the threads whose steps from it are still to be explored, and, searching
// by restoring, the run as it stood there.
struct Pending {
    std::uint32_t node;
    std::vector<int> choices;
    std::vector<int> threads;
    std::unique_ptr<Snapshot> snapshot;
};

// Steers each run into states not met before, leaving every other step of
// each new state pending. To take a pending step, it either puts back a
// copy of the run at that state (where the scene and the build allow) or
// replays a run along the choices that reach it.
class SearchDriver final : public Chooser {
  public:
    SearchDriver(SearchScene& scene, const SearchOptions& options, SearchResult& result)
        : scene_(scene), options_(options), result_(result), graph_(result.graph) {}

    void Explore();

    int Choose(const std::vector<int>& enabled, int current) override;

  private:
    void ExploreByReplaying();

    void ExploreByRestoring(std::vector<Region> regions);

    // What the search does at a step not replayed: records the state and
    // yields the thread to take, or -1 to stop.
    int Decide(const std::vector<int>& enabled, int current);

    // Whether the step retaken from a state met before led where it led
    // then; the run stops either way.
    int Verify(std::uint64_t hash);
    int Verify();

    // A run (or a restored one) that starts at `node`, reached by `choices`.
    void Begin(std::vector<int> choices, std::uint32_t node);

    // One run: along `choices` to the pending state `node`, then `thread`.
    void Start(std::vector<int> choices, std::uint32_t node, int thread);

    // What the search makes of a run that ended, or that it stopped.
    void Ended(const Outcome& outcome, bool stopped);

    int Take(int thread, bool choice);

    // The step just taken, from from_ by fromThread_, reached `to`. Without
    // remembering there are no nodes, and from_ only says whether a step was
    // taken.
    void Record(std::uint32_t to);

    void Fail(const std::string& what);

    // Counts the bytes of the copies held.
    void Hold(std::int64_t bytes);

    SearchScene& scene_;
    const SearchOptions& options_;
    SearchResult& result_;
    StateGraph& graph_;
    std::unordered_map<std::uint64_t, std::uint32_t> index_;
    std::vector<std::uint64_t> seen_;
    std::vector<Pending> pending_;
    // The run under way.
    std::vector<int> choices_;
    std::size_t forced_ = 0;
    // Replaying to the pending state target_, to take firstThread_'s step.
    bool replaying_ = false;
    std::uint32_t target_ = StateGraph::kEnd;
    int firstThread_ = -1;
    std::uint32_t from_ = StateGraph::kEnd;  // the state the last step left
    int fromThread_ = -1;
    bool verifying_ = false;
    std::uint32_t expected_ = StateGraph::kEnd;
    // Searching by restoring: the run, and what its chooser asked and is told.
    RewindableRun* rewind_ = nullptr;
    const std::vector<int>* enabled_ = nullptr;
    int current_ = -1;
    int reply_ = -1;
    std::int64_t held_ = 0;
};

}  // namespace listpool::sim
