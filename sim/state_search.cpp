#include "sim/state_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <unordered_map>

#include "sim/shortest_path.h"

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

bool IsChoice(const Node& node) {
    return std::popcount(node.enabled) > 1;
}

std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    std::uint64_t z = a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
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
        if (const auto nearest = NearestFailure(graph_, DistancesFrom0(graph_));
            result_.failure.empty() && nearest != graph_.failures.end()) {
            result_.failure = nearest->what;
            result_.replay = ChoicesToFailure(graph_, *nearest);
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
        const std::uint64_t hash = Mix(StateHash(), scene_.State());
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

// Shortest paths by breadth from `from` over the nodes `inside` allows, as
// each node's step there; `from` itself has none.
template <typename Inside>
std::vector<std::pair<std::uint32_t, int>> Breadth(const StateGraph& graph, std::uint32_t from,
                                                   Inside inside) {
    std::vector<std::pair<std::uint32_t, int>> parent(graph.nodes.size(), {kEnd, -1});
    std::vector<bool> reached(graph.nodes.size(), false);
    std::deque<std::uint32_t> queue{from};
    reached[from] = true;
    while (!queue.empty()) {
        const std::uint32_t node = queue.front();
        queue.pop_front();
        for (const auto& step : graph.nodes[node].steps) {
            if (step.to != kEnd && !reached[step.to] && inside(step.to)) {
                reached[step.to] = true;
                parent[step.to] = {node, step.thread};
                queue.push_back(step.to);
            }
        }
    }
    return parent;
}

// The choices along the path that `parent` gives from its root to `to`.
std::vector<int> PathChoices(const StateGraph& graph,
                             const std::vector<std::pair<std::uint32_t, int>>& parent,
                             std::uint32_t to, std::uint32_t root) {
    std::vector<int> choices;
    for (std::uint32_t node = to; node != root;) {
        const auto [before, thread] = parent[node];
        if (IsChoice(graph.nodes[before])) {
            choices.push_back(thread);
        }
        node = before;
    }
    std::reverse(choices.begin(), choices.end());
    return choices;
}

// Strongly connected components of the nodes `inside` allows (Tarjan's,
// without recursion): each node's component, or kEnd outside.
template <typename Inside>
std::vector<std::uint32_t> Components(const StateGraph& graph, Inside inside) {
    const std::size_t n = graph.nodes.size();
    std::vector<std::uint32_t> component(n, kEnd), order(n, kEnd), low(n, 0);
    std::vector<bool> onStack(n, false);
    std::vector<std::uint32_t> stack;
    std::vector<std::pair<std::uint32_t, std::size_t>> frames;  // node, next step
    std::uint32_t counter = 0, components = 0;
    for (std::uint32_t root = 0; root < n; ++root) {
        if (order[root] != kEnd || !inside(root)) {
            continue;
        }
        frames.push_back({root, 0});
        order[root] = low[root] = counter++;
        stack.push_back(root);
        onStack[root] = true;
        while (!frames.empty()) {
            auto& [node, next] = frames.back();
            const auto& steps = graph.nodes[node].steps;
            if (next < steps.size()) {
                const std::uint32_t to = steps[next++].to;
                if (to == kEnd || !inside(to)) {
                    continue;
                }
                if (order[to] == kEnd) {
                    order[to] = low[to] = counter++;
                    stack.push_back(to);
                    onStack[to] = true;
                    frames.push_back({to, 0});
                } else if (onStack[to]) {
                    low[node] = std::min(low[node], order[to]);
                }
                continue;
            }
            const std::uint32_t done = node;
            frames.pop_back();
            if (!frames.empty()) {
                low[frames.back().first] = std::min(low[frames.back().first], low[done]);
            }
            if (low[done] == order[done]) {
                std::uint32_t member;
                do {
                    member = stack.back();
                    stack.pop_back();
                    onStack[member] = false;
                    component[member] = components;
                } while (member != done);
                ++components;
            }
        }
    }
    return component;
}

class Replayer final : public Chooser {
  public:
    Replayer(SearchScene& scene, const std::vector<int>& choices, Replayed& replayed)
        : scene_(scene), choices_(choices), replayed_(replayed) {}

    int Choose(const std::vector<int>& enabled, int) override {
        if (replayed_.failure.empty()) {
            replayed_.failure = scene_.Check();
        }
        if (enabled.size() > 1) {
            replayed_.states.push_back(Mix(StateHash(), scene_.State()));
            if (replayed_.states.size() > choices_.size()) {
                return -1;
            }
            replayed_.labels.push_back(~0u);
        }
        if (!replayed_.labels.empty()) {
            replayed_.labels.back() &= scene_.Labels();
        }
        return enabled.size() > 1 ? choices_[replayed_.states.size() - 1] : enabled.front();
    }

  private:
    SearchScene& scene_;
    const std::vector<int>& choices_;
    Replayed& replayed_;
};

}  // namespace

Replayed Replay(SearchScene& scene, const std::vector<int>& choices) {
    scene.Play({});  // makes the objects that outlive runs, as the search does
    Replayed replayed;
    Replayer replayer(scene, choices, replayed);
    Options options;
    options.chooser = &replayer;
    const Outcome outcome = scene.Play(options);
    if (replayed.failure.empty()) {
        replayed.failure = scene.Failure(outcome, outcome.ending == Ending::kStopped);
    }
    return replayed;
}

std::vector<int> StateGraph::ChoicesTo(std::uint32_t node) const {
    return PathChoices(*this, Breadth(*this, 0, [](std::uint32_t) { return true; }), node, 0);
}

bool StateGraph::HasCycle() const {
    const std::vector<std::uint32_t> component =
        Components(*this, [](std::uint32_t) { return true; });
    std::vector<std::uint32_t> size(nodes.size(), 0);
    for (const std::uint32_t c : component) {
        ++size[c];
    }
    for (std::uint32_t node = 0; node < nodes.size(); ++node) {
        for (const auto& step : nodes[node].steps) {
            if (step.to == node || (step.to != kEnd && size[component[node]] > 1)) {
                return true;
            }
        }
    }
    return false;
}

double StateGraph::Schedules() const {
    if (nodes.empty()) {
        return 0;
    }
    if (HasCycle()) {
        return INFINITY;
    }
    // Paths to an end from each node, children first.
    std::vector<double> paths(nodes.size(), -1);
    std::vector<std::pair<std::uint32_t, std::size_t>> frames{{0, 0}};
    while (!frames.empty()) {
        auto& [node, next] = frames.back();
        const auto& steps = nodes[node].steps;
        if (next < steps.size()) {
            const std::uint32_t to = steps[next++].to;
            if (to != kEnd && paths[to] < 0) {
                frames.push_back({to, 0});
            }
            continue;
        }
        double sum = 0;
        for (const auto& step : steps) {
            sum += step.to == kEnd ? 1 : paths[step.to];
        }
        paths[node] = sum;
        frames.pop_back();
    }
    return paths[0];
}

SearchResult SearchStates(SearchScene& scene, const SearchOptions& options) {
    SearchResult result;
    Driver(scene, options, result).Explore();
    return result;
}

FairCycle FindFairCycle(const StateGraph& graph, std::uint32_t label) {
    auto labelled = [&](std::uint32_t node) { return (graph.nodes[node].labels & label) != 0; };
    const std::vector<std::uint32_t> component = Components(graph, labelled);
    std::uint32_t threads = 0;
    for (const Node& node : graph.nodes) {
        threads |= node.enabled;
    }
    // Per component: the threads that step inside it, and those that cannot
    // go on in one of its states.
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> fairness;
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        if (component[node] == kEnd) {
            continue;
        }
        auto& [moved, idle] = fairness[component[node]];
        idle |= ~graph.nodes[node].enabled;
        for (const auto& step : graph.nodes[node].steps) {
            if (step.to != kEnd && component[step.to] == component[node]) {
                moved |= 1u << step.thread;
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
        const auto [moved, idle] = found->second;
        if (moved != 0 && ((moved | idle) & threads) == threads) {
            entry = node;  // else no cycle here, or one some thread is kept from for ever
        }
    }
    if (entry != kEnd) {
        const std::uint32_t c = component[entry];
        auto inside = [&](std::uint32_t node) { return component[node] == c; };
        const auto moved = fairness[c].first;
        FairCycle cycle;
        cycle.found = true;
        cycle.prefix = graph.ChoicesTo(entry);
        // One lap from the entry through a step of every thread that steps
        // here and a state of every one that cannot, and back.
        std::uint32_t at = entry;
        bool stepped = false;
        auto walk = [&](std::uint32_t to) {
            const auto parent = Breadth(graph, at, inside);
            for (int choice : PathChoices(graph, parent, to, at)) {
                cycle.lap.push_back(choice);
            }
            stepped = stepped || to != at;
            at = to;
        };
        auto take = [&](const StateGraph::Step& step) {
            if (IsChoice(graph.nodes[at])) {
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
        for (int thread = 0; thread < 32; ++thread) {
            const std::uint32_t bit = 1u << thread;
            if ((threads & bit) == 0) {
                continue;
            }
            for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
                if (component[node] != c) {
                    continue;
                }
                if ((moved & bit) != 0) {
                    const auto step = inward(node, thread);
                    if (step == graph.nodes[node].steps.end()) {
                        continue;
                    }
                    walk(node);
                    take(*step);
                } else if ((graph.nodes[node].enabled & bit) == 0) {
                    walk(node);
                } else {
                    continue;
                }
                break;
            }
        }
        if (!stepped) {
            take(*inward(at, -1));
        }
        walk(entry);
        return cycle;
    }
    return {};
}

std::string Figures(const SearchResult& result) {
    return "states " + Grouped(result.states) + ", transitions " + Grouped(result.transitions) +
           ", runs " + Grouped(result.runs) + ", steps " + Grouped(result.steps);
}

std::string ChoiceText(const std::vector<int>& choices) {
    std::string text;
    for (const int thread : choices) {
        text += (text.empty() ? "" : " ") + std::to_string(thread);
    }
    return text;
}

}  // namespace listpool::sim
