#include "sim/search/search_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/sim/hash.h"

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

}  // namespace

int SearchDriver::Choose(const std::vector<int>& enabled, int current) {
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

int SearchDriver::Decide(const std::vector<int>& enabled, int current) {
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

int SearchDriver::Verify(std::uint64_t hash) {
    if (expected_ == kEnd || graph_.nodes[expected_].hash != hash) {
        Fail(
            "two visits to one state went on to different states: the state hash "
            "leaves out something the threads go on from");
    }
    return -1;
}

int SearchDriver::Verify() {
    return Verify(Fold(StateHash(), scene_.State()));
}

void SearchDriver::Begin(std::vector<int> choices, std::uint32_t node) {
    ++result_.runs;
    choices_ = std::move(choices);
    forced_ = 0;
    from_ = node;
    verifying_ = false;
}

void SearchDriver::Start(std::vector<int> choices, std::uint32_t node, int thread) {
    Begin(std::move(choices), kEnd);
    target_ = node;
    firstThread_ = thread;
    replaying_ = thread >= 0;
    Options options;
    options.chooser = this;
    const Outcome outcome = scene_.Play(options);
    Ended(outcome, outcome.ending == Ending::kStopped);
}

void SearchDriver::Ended(const Outcome& outcome, bool stopped) {
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

int SearchDriver::Take(int thread, bool choice) {
    if (choice) {
        choices_.push_back(thread);
    }
    fromThread_ = thread;
    return thread;
}

void SearchDriver::Record(std::uint32_t to) {
    if (from_ != kEnd) {
        ++result_.transitions;
        if (options_.remember) {
            graph_.nodes[from_].steps.push_back({fromThread_, to});
        }
    }
    from_ = to;
}

void SearchDriver::Fail(const std::string& what) {
    if (result_.failure.empty()) {
        result_.failure = what;
        result_.replay = choices_;
    }
}

void SearchDriver::Hold(std::int64_t bytes) {
    held_ += bytes;
    result_.snapshotPeakBytes =
        std::max(result_.snapshotPeakBytes, static_cast<std::uint64_t>(held_));
}
}  // namespace listpool::sim
