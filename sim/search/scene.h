// What the state search (sim/search/state_search.h) explores: a scene the
// simulator runs, the state it adds to what the simulator sees, and what it
// checks.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace listpool::sim
