#include "sim/search/state_search.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/sim/arena.h"
#include "platform/sim/hash.h"
#include "sim/search/search_driver.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {
namespace {

using Node = StateGraph::Node;
constexpr std::uint32_t kEnd = StateGraph::kEnd;

}  // namespace

void SearchDriver::Explore() {
    // Every run first makes the objects that outlive runs (a stream's),
    // so a run made before the search makes them, and every run of the
    // search numbers its objects alike.
    {
        Options warm;
        scene_.Play(warm);
    }
    std::optional<std::vector<Region>> regions;
    if (options_.restore && options_.remember && RewindableRun::Possible() &&
        std::getenv("LISTPOOL_SEARCH_REPLAY") == nullptr) {
        regions = scene_.RunState();
    }
    if (regions) {
        ExploreByRestoring(std::move(*regions));
    } else {
        ExploreByReplaying();
    }
    for (const Node& node : graph_.nodes) {
        seen_.push_back(node.hash);
    }
    if (result_.failure.empty() && !graph_.failures.empty()) {
        const Distances distances = DistancesFrom0(graph_);
        const auto nearest = NearestFailure(graph_, distances);
        result_.failure = nearest->what;
        result_.replay = ChoicesToFailure(graph_, distances, *nearest);
    }
    std::sort(seen_.begin(), seen_.end());
    seen_.erase(std::unique(seen_.begin(), seen_.end()), seen_.end());
    result_.hashes = std::move(seen_);
    result_.states = result_.hashes.size();
}

void SearchDriver::ExploreByReplaying() {
    Start({}, kEnd, -1);
    while (result_.failure.empty() && !pending_.empty()) {
        Pending& top = pending_.back();
        if (top.threads.empty()) {
            pending_.pop_back();
            continue;
        }
        const int thread = top.threads.back();
        top.threads.pop_back();
        std::vector<int> choices = top.choices;
        Start(std::move(choices), top.node, thread);
    }
}

void SearchDriver::ExploreByRestoring(std::vector<Region> regions) {
    RewindableRun run(
        [this] {
            Options options;
            options.chooser = this;
            const Outcome outcome = scene_.Play(options);
            // The search's records outlive the run.
            const arena::Use system(arena::Target::kSystem);
            Ended(outcome, false);
        },
        std::move(regions));
    rewind_ = &run;
    Begin({}, kEnd);
    bool yielded = run.Resume();
    while (result_.failure.empty()) {
        if (yielded) {
            ++result_.steps;
            const std::size_t pending = pending_.size();
            reply_ = verifying_ ? Verify() : Decide(*enabled_, current_);
            if (reply_ >= 0) {
                if (pending_.size() > pending) {
                    auto& snapshot = pending_.back().snapshot;
                    snapshot = std::make_unique<Snapshot>();
                    // The state before, on the stack below, differs in a few pieces.
                    const Snapshot* before = pending_.size() >= 2
                                                 ? pending_[pending_.size() - 2].snapshot.get()
                                                 : nullptr;
                    run.Save(*snapshot, before);
                    Hold(static_cast<std::int64_t>(pending_.back().snapshot->bytes()));
                }
                yielded = run.Resume();
                continue;
            }
            // Stopped: the run is dropped where it stands.
            if (!verifying_) {
                Outcome stopped;
                stopped.ending = Ending::kStopped;
                Ended(stopped, true);
            }
        }
        while (!pending_.empty() && pending_.back().threads.empty()) {
            Hold(-static_cast<std::int64_t>(pending_.back().snapshot->bytes()));
            pending_.pop_back();
        }
        if (pending_.empty()) {
            break;
        }
        Pending& top = pending_.back();
        const int thread = top.threads.back();
        top.threads.pop_back();
        run.Restore(*top.snapshot);
        if (Fold(StateHash(), scene_.State()) != graph_.nodes[top.node].hash) {
            Fail("a run put back from its copy is not in the state it was copied at");
            break;
        }
        Begin(top.choices, top.node);
        reply_ = Take(thread, true);
        yielded = run.Resume();
    }
    rewind_ = nullptr;
}

namespace {

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

}  // namespace

SearchResult SearchStates(SearchScene& scene, const SearchOptions& options) {
    SearchResult result;
    SearchDriver(scene, options, result).Explore();
    return result;
}

std::string Figures(const SearchResult& result) {
    return "states " + Grouped(result.states) + ", transitions " + Grouped(result.transitions) +
           ", runs " + Grouped(result.runs) + ", steps " + Grouped(result.steps);
}

}  // namespace listpool::sim
