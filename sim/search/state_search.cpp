#include "sim/search/state_search.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/sim/arena.h"
#include "platform/sim/hash.h"
#include "platform/sim/snapshot.h"
#include "platform/sim/strategies.h"
#include "sim/search/shortest_path.h"
#include "sim/search/state_index.h"

namespace listpool::sim {
namespace {

using Node = StateGraph::Node;
constexpr std::uint32_t kEnd = StateGraph::kEnd;

// A state still to be left by some of its steps: the choices that reach it,
// the threads whose steps from it are still to be explored, and, searching
// by restoring, the run as it stood there.
struct Pending {
    std::uint32_t node;
    std::vector<int> choices;
    std::vector<int> threads;
    std::unique_ptr<Snapshot> snapshot;
};

// What the driver makes of the steps it is asked for in a run.
enum class Mode {
    kEnumerating,  // nothing remembered: every state's other steps left pending
    kSearching,    // each new state recorded and its other steps left pending
    kVerifying,    // a step retaken from a state met before: the run stops at
                   // the next state, which must be the one it led to then
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

    // Searching by restoring, the run asks on its own stack and the search
    // answers on its own, where it may copy the run.
    int Choose(const std::vector<int>& enabled, int current) override {
        if (rewind_ == nullptr) {
            return Step(enabled, current);
        }
        enabled_ = &enabled;
        current_ = current;
        rewind_->Yield();
        return reply_;
    }

  private:
    void ExploreByReplaying();
    void ExploreByRestoring(std::vector<Region> regions);

    // The thread to take at a step past the pending one, or -1 to stop.
    int Step(const std::vector<int>& enabled, int current) {
        return mode_ == Mode::kVerifying ? Verify() : Decide(enabled, current);
    }

    // Records the state and yields the thread to take, or -1 to stop.
    int Decide(const std::vector<int>& enabled, int current);

    // Whether the step retaken from a state met before led where it led
    // then; the run stops either way.
    int Verify() {
        if (expected_ == kEnd ||
            graph_.nodes[expected_].hash != Fold(StateHash(), scene_.State())) {
            Fail(
                "two visits to one state went on to different states: the state hash "
                "leaves out something the threads go on from");
        }
        return -1;
    }

    // A run (or a restored one) from `node`, reached by `choices`, that
    // takes `thread`'s step first; from node 0 with no thread for the first.
    void Begin(std::vector<int> choices, std::uint32_t node, int thread);

    // What the search makes of a run that ended, or that it stopped.
    void Ended(const Outcome& outcome, bool stopped);

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
    void Record(std::uint32_t to);

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
    StateIndex index_;
    std::vector<std::uint64_t> seen_;
    std::vector<Pending> pending_;
    // The run under way: its choices so far, and the state its last step
    // left (kEnd before its first step) with that step's thread.
    Mode mode_ = Mode::kSearching;
    std::vector<int> choices_;
    std::uint32_t from_ = kEnd;
    int fromThread_ = -1;
    std::uint32_t expected_ = kEnd;  // verifying: where the step led before
    // Searching by restoring: the run, and what its chooser asked and is told.
    RewindableRun* rewind_ = nullptr;
    const std::vector<int>* enabled_ = nullptr;
    int current_ = -1;
    int reply_ = -1;
    std::int64_t held_ = 0;
};

void SearchDriver::Explore() {
    scene_.WarmUp();
    std::optional<std::vector<Region>> regions;
    if (options_.restore && options_.remember && RewindableRun::Possible()) {
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
    // Each run replays the choices to its pending state and the step to
    // take there; the search decides every step after.
    auto run = [this](std::vector<int> choices, std::uint32_t node, int thread) {
        Begin(std::move(choices), node, thread);
        ReplayChooser replay(choices_, *this, [this](const std::vector<int>&, int thread) {
            ++result_.steps;
            return thread;
        });
        Options options;
        options.chooser = &replay;
        const Outcome outcome = scene_.Play(options);
        Ended(outcome, outcome.ending == Ending::kStopped);
    };
    run({}, kEnd, -1);
    while (result_.failure.empty() && !pending_.empty()) {
        Pending& top = pending_.back();
        if (top.threads.empty()) {
            pending_.pop_back();
            continue;
        }
        const int thread = top.threads.back();
        top.threads.pop_back();
        run(top.choices, top.node, thread);
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
    Begin({}, kEnd, -1);
    bool yielded = run.Resume();
    while (result_.failure.empty()) {
        if (yielded) {
            ++result_.steps;
            const std::size_t pending = pending_.size();
            reply_ = Step(*enabled_, current_);
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
            if (mode_ != Mode::kVerifying) {
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
        Begin(top.choices, top.node, thread);
        reply_ = thread;
        yielded = run.Resume();
    }
    rewind_ = nullptr;
}

int SearchDriver::Decide(const std::vector<int>& enabled, int current) {
    const std::uint64_t hash = Fold(StateHash(), scene_.State());
    const std::string wrong = scene_.Check();
    if (mode_ == Mode::kEnumerating) {
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
    const auto [node, added] =
        index_.FindOrAdd(hash, static_cast<std::uint32_t>(graph_.nodes.size()));
    if (added) {
        graph_.nodes.push_back({hash, scene_.Labels(), ThreadSet(enabled), {}});
        if (options_.progress && graph_.nodes.size() % 100'000 == 0) {
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
        mode_ = Mode::kVerifying;
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

void SearchDriver::Begin(std::vector<int> choices, std::uint32_t node, int thread) {
    ++result_.runs;
    mode_ = options_.remember ? Mode::kSearching : Mode::kEnumerating;
    choices_ = std::move(choices);
    from_ = node;
    if (thread >= 0) {
        Take(thread, true);
    }
}

void SearchDriver::Ended(const Outcome& outcome, bool stopped) {
    if (mode_ == Mode::kVerifying) {
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
        if (mode_ == Mode::kEnumerating || last == kEnd) {
            Fail(wrong);
        } else {
            graph_.failures.push_back({last, stopped ? -1 : fromThread_, wrong});
        }
    }
}

void SearchDriver::Record(std::uint32_t to) {
    if (from_ != kEnd) {
        ++result_.transitions;
        if (mode_ != Mode::kEnumerating) {
            graph_.nodes[from_].steps.push_back({fromThread_, to});
        }
    }
    from_ = to;
}

}  // namespace

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

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
