// What the state search (sim/search/state_search.h) explores: a scene the
// simulator runs, the state it adds to what the simulator sees, and what it
// checks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim.h"
#include "platform/sim/snapshot.h"

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
    // Before a search that copies runs instead of replaying them: the bytes
    // outside the run's memory that Play changes (the scene's members, which
    // it empties here of anything it owns), or none if the scene's runs
    // cannot be copied. Play's allocations all come from the run's memory.
    virtual std::optional<std::vector<Region>> RunState() { return std::nullopt; }

    // Before the runs that are watched, once: every run first makes the
    // objects that outlive runs (a stream's), so a run made before them makes
    // them, and every later run numbers its objects alike. A scene whose
    // threads go on for ever needs no more than a few steps of it.
    void WarmUp() {
        if (!warm_) {
            Options options;
            options.maxSteps = 100'000;
            Play(options);
            warm_ = true;
        }
    }

  protected:
    ~SearchScene() = default;

  private:
    bool warm_ = false;
};

// Makes `member` anew, owning nothing: assigning an empty value may keep
// what a string or a vector had allocated, which RunState must give up.
template <typename T>
void MakeAnew(T& member) {
    std::destroy_at(&member);
    std::construct_at(&member);
}

struct SearchOptions {
    // false: plain enumeration, every schedule run to its end and nothing
    // remembered; only for scenes whose runs all end, and small ones.
    bool remember = true;
    // A search that meets more states stops there, not complete.
    std::uint64_t maxStates = 4'000'000;
    // false: every pending step is replayed from a run's start, even where
    // runs could be copied (to compare the two, and to check the copies).
    bool restore = true;
    // Tells standard error the states met, every 100,000, for searches that
    // take minutes.
    bool progress = false;
};

}  // namespace listpool::sim
