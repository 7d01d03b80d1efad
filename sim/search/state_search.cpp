#include "sim/search/state_search.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_map>

#include "platform/sim/arena.h"
#include "platform/sim/hash.h"
#include "platform/sim/snapshot.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {
namespace {

using Node = StateGraph::Node;
constexpr std::uint32_t kEnd = StateGraph::kEnd;

std::uint32_t Bits(const std::vector<int>& threads) {
    std::uint32_t bits = 0;
    for (const int thread : threads) {
        bits |= 1u << thread;
    }
    return bits;
}

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
class Driver final : public Chooser {
  public:
    Driver(SearchScene& scene, const SearchOptions& options, SearchResult& result)
        : scene_(scene), options_(options), result_(result), graph_(result.graph) {}

    void Explore() {
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

    int Choose(const std::vector<int>& enabled, int current) override {
        if (rewind_ != nullptr) {
            // Decided on the search's own stack, where it may copy the run.
            enabled_ = &enabled;
            current_ = current;
            rewind_->Yield();
            return reply_;
        }
        ++result_.steps;
        if (replaying_) {
            // Replaying to the pending state: single steps are forced, and
            // the choices, until they run out at the state itself.
            if (enabled.size() == 1) {
                return enabled.front();
            }
            if (forced_ < choices_.size()) {
                return choices_[forced_++];
            }
            from_ = target_;
            replaying_ = false;
            return Take(firstThread_, true);
        }
        return Decide(enabled, current);
    }

  private:
    void ExploreByReplaying() {
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

    void ExploreByRestoring(std::vector<Region> regions) {
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
                        if (spare_.empty()) {
                            snapshot = std::make_unique<Snapshot>();
                        } else {
                            snapshot = std::move(spare_.back());
                            spare_.pop_back();
                        }
                        run.Save(*snapshot);
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
                spare_.push_back(std::move(pending_.back().snapshot));
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

    // What the search does at a step not replayed: records the state and
    // yields the thread to take, or -1 to stop.
    int Decide(const std::vector<int>& enabled, int current) {
        const std::uint64_t hash = Fold(StateHash(), scene_.State());
        const std::string wrong = scene_.Check();
        if (verifying_) {
            return Verify(hash);
        }
        if (!options_.remember) {
            seen_.push_back(hash);
            Record(0);
            if (!wrong.empty()) {
                Fail(wrong);
                return -1;
            }
            if (enabled.size() > 1) {
                pending_.push_back(
                    {kEnd, choices_, std::vector<int>(enabled.begin() + 1, enabled.end()), {}});
            }
            return Take(enabled.front(), enabled.size() > 1);
        }
        const auto [found, added] = index_.try_emplace(hash, graph_.nodes.size());
        const std::uint32_t node = found->second;
        if (added) {
            graph_.nodes.push_back({hash, scene_.Labels(), Bits(enabled), {}});
            if (graph_.nodes.size() % 100'000 == 0 && std::getenv("LISTPOOL_SEARCH_PROGRESS")) {
                std::fprintf(stderr, "%zu states\n", graph_.nodes.size());
            }
        }
        Record(node);
        if (!wrong.empty()) {
            if (added) {
                graph_.failures.push_back({node, -1, wrong});
            }
            return -1;
        }
        if (!added) {
            // Met before: its steps are explored from its first visit. Take
            // the first of them once more, to see that it leads where it led
            // then.
            const auto& steps = graph_.nodes[node].steps;
            if (steps.empty()) {
                return -1;
            }
            verifying_ = true;
            expected_ = steps.front().to;
            return steps.front().thread;
        }
        if (graph_.nodes.size() > options_.maxStates) {
            result_.complete = false;
            return -1;
        }
        // The running thread goes on, as in the fixed schedule, so the first
        // run is that schedule; the other threads' steps wait their turn.
        const int next = std::find(enabled.begin(), enabled.end(), current) != enabled.end()
                             ? current
                             : enabled.front();
        if (enabled.size() > 1) {
            Pending later{node, choices_, {}, {}};
            for (auto thread = enabled.rbegin(); thread != enabled.rend(); ++thread) {
                if (*thread != next) {
                    later.threads.push_back(*thread);
                }
            }
            pending_.push_back(std::move(later));
        }
        from_ = node;
        return Take(next, enabled.size() > 1);
    }

    // Whether the step retaken from a state met before led where it led
    // then; the run stops either way.
    int Verify(std::uint64_t hash) {
        if (expected_ == kEnd || graph_.nodes[expected_].hash != hash) {
            Fail(
                "two visits to one state went on to different states: the state hash "
                "leaves out something the threads go on from");
        }
        return -1;
    }
    int Verify() { return Verify(Fold(StateHash(), scene_.State())); }

    // A run (or a restored one) that starts at `node`, reached by `choices`.
    void Begin(std::vector<int> choices, std::uint32_t node) {
        ++result_.runs;
        choices_ = std::move(choices);
        forced_ = 0;
        from_ = node;
        verifying_ = false;
    }

    // One run: along `choices` to the pending state `node`, then `thread`.
    void Start(std::vector<int> choices, std::uint32_t node, int thread) {
        Begin(std::move(choices), kEnd);
        target_ = node;
        firstThread_ = thread;
        replaying_ = thread >= 0;
        Options options;
        options.chooser = this;
        const Outcome outcome = scene_.Play(options);
        Ended(outcome, outcome.ending == Ending::kStopped);
    }

    // What the search makes of a run that ended, or that it stopped.
    void Ended(const Outcome& outcome, bool stopped) {
        if (verifying_) {
            if (!stopped && expected_ != kEnd) {
                Fail("two visits to one state went on differently: one run ended");
            }
            return;
        }
        if (!result_.failure.empty()) {
            return;
        }
        const std::uint32_t last = from_;
        if (!stopped) {
            Record(kEnd);
            std::string key = scene_.OutcomeKey(outcome);
            if (!key.empty()) {
                result_.outcomes.try_emplace(std::move(key), choices_);
            }
        }
        if (std::string wrong = scene_.Failure(outcome, stopped); !wrong.empty()) {
            if (!options_.remember || last == kEnd) {
                Fail(wrong);
            } else {
                graph_.failures.push_back({last, stopped ? -1 : fromThread_, wrong});
            }
        }
    }

    int Take(int thread, bool choice) {
        if (choice) {
            choices_.push_back(thread);
        }
        fromThread_ = thread;
        return thread;
    }

    // The step just taken, from from_ by fromThread_, reached `to`. Without
    // remembering there are no nodes, and from_ only says whether a step was
    // taken.
    void Record(std::uint32_t to) {
        if (from_ != kEnd) {
            ++result_.transitions;
            if (options_.remember) {
                graph_.nodes[from_].steps.push_back({fromThread_, to});
            }
        }
        from_ = to;
    }

    void Fail(const std::string& what) {
        if (result_.failure.empty()) {
            result_.failure = what;
            result_.replay = choices_;
        }
    }

    // Counts the bytes of the copies held.
    void Hold(std::int64_t bytes) {
        held_ += bytes;
        result_.snapshotPeakBytes =
            std::max(result_.snapshotPeakBytes, static_cast<std::uint64_t>(held_));
    }

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
    std::uint32_t target_ = kEnd;
    int firstThread_ = -1;
    std::uint32_t from_ = kEnd;  // the state the last step left
    int fromThread_ = -1;
    bool verifying_ = false;
    std::uint32_t expected_ = kEnd;
    // Searching by restoring: the run, and what its chooser asked and is told.
    RewindableRun* rewind_ = nullptr;
    const std::vector<int>* enabled_ = nullptr;
    int current_ = -1;
    int reply_ = -1;
    std::int64_t held_ = 0;
    std::vector<std::unique_ptr<Snapshot>> spare_;  // copies done with, to reuse
};

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
    Driver(scene, options, result).Explore();
    return result;
}

std::string Figures(const SearchResult& result) {
    return "states " + Grouped(result.states) + ", transitions " + Grouped(result.transitions) +
           ", runs " + Grouped(result.runs) + ", steps " + Grouped(result.steps);
}

}  // namespace listpool::sim
