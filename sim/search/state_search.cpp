#include "sim/search/state_search.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "platform/sim/hash.h"
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
// and the threads whose steps from it are still to be explored.
struct Pending {
    std::uint32_t node;
    std::vector<int> choices;
    std::vector<int> threads;
};

// Steers each run: first along the choices that reach a pending state, then,
// from that state's untried step on, into states not met before, leaving
// every other step of each new state pending.
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
        const std::uint64_t hash = Fold(StateHash(), scene_.State());
        const std::string wrong = scene_.Check();
        if (verifying_) {
            // Whether this state's recorded first step led here.
            if (expected_ == kEnd || graph_.nodes[expected_].hash != hash) {
                Fail(
                    "two visits to one state went on to different states: the state hash "
                    "leaves out something the threads go on from");
            }
            return -1;
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
                    {kEnd, choices_, std::vector<int>(enabled.begin() + 1, enabled.end())});
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
            Pending later{node, choices_, {}};
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

  private:
    // One run: along `choices` to the pending state `node`, then `thread`.
    void Start(std::vector<int> choices, std::uint32_t node, int thread) {
        ++result_.runs;
        choices_ = std::move(choices);
        forced_ = 0;
        target_ = node;
        firstThread_ = thread;
        from_ = kEnd;
        replaying_ = thread >= 0;
        verifying_ = false;
        Options options;
        options.chooser = this;
        const Outcome outcome = scene_.Play(options);
        const bool stopped = outcome.ending == Ending::kStopped;
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
