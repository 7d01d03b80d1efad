// The strategies that pick a run's steps, each a Chooser (platform/sim.h),
// as the state search is: the fixed schedule, random, PCT, a replay of
// forced choices, a stop at the first choice point; and a recorder of the
// choices any chooser makes.
//
// A choice point is a step at which more than one thread can go on; at the
// others every strategy lets the one thread go.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "platform/sim.h"

namespace listpool::sim {

// The thread that made the last step goes on while it can; otherwise the
// lowest-numbered thread that can. The console is thread 0 and workers are
// numbered in start order, so at a tie in time the console goes first.
class FixedChooser final : public Chooser {
  public:
    int Choose(const std::vector<int>& enabled, int current) override;
};

// At every choice point, any thread that can go on, uniformly, from the seed.
class RandomChooser final : public Chooser {
  public:
    explicit RandomChooser(std::uint64_t seed) : random_(seed) {}
    int Choose(const std::vector<int>& enabled, int current) override;

  private:
    std::mt19937_64 random_;
};

// Probabilistic concurrency testing: every thread gets a random priority,
// and the highest-priority thread that can go on goes on; at `drops`
// distinct choice points, drawn from the first `points`, the thread that
// would go drops below every priority given at the start, so another goes.
// A bug that needs d - 1 such turns is found with a chance of at least one
// in n * points^(d - 1) for n threads, provided every drop happens.
struct PctParameters {
    int drops = 2;
    std::uint64_t points = 400;

    bool operator==(const PctParameters&) const = default;
};

class PctChooser final : public Chooser {
  public:
    PctChooser(std::uint64_t seed, PctParameters parameters);
    int Choose(const std::vector<int>& enabled, int current) override;

    // The choice points, counted from 1, at which a priority drops: as many
    // as the drops, or the points when those are fewer.
    const std::vector<std::uint64_t>& dropPoints() const { return dropPoints_; }

  private:
    std::mt19937_64 random_;
    std::vector<std::uint64_t> dropPoints_;
    std::vector<std::uint64_t> priorities_;  // by thread id, drawn in start order
    std::uint64_t point_ = 0;                // the choice points met so far
};

// Forced choices: at the n-th choice point the thread choices[n] goes, and
// where one thread can go on it goes; after the last choice, `then` decides
// every step. A forced thread that cannot go on ends the run as a fault (the
// replay diverged). Every replay of a run is one of these: the search's way
// back to a state, --replay, the pages' walks.
class ReplayChooser final : public Chooser {
  public:
    // Told of every step with the threads that can go on and the one the
    // replay or `then` picked (-1: stop); yields the one to take. A replay
    // that looks at each state it passes, or stops early, does it here.
    using Hook = std::function<int(const std::vector<int>& enabled, int thread)>;

    ReplayChooser(std::vector<int> choices, Chooser& then, Hook hook = {})
        : choices_(std::move(choices)), then_(then), hook_(std::move(hook)) {}
    int Choose(const std::vector<int>& enabled, int current) override;

  private:
    std::vector<int> choices_;
    std::size_t next_ = 0;
    Chooser& then_;
    Hook hook_;
};

// Lets the one thread go where only one can, and stops the run at the first
// choice point: what a replay that goes no further than its choices follows.
class StopChooser final : public Chooser {
  public:
    int Choose(const std::vector<int>& enabled, int current) override;
};

// One choice point, as a run met it.
struct Choice {
    int current;  // the thread that made the last step, or -1 if it cannot go on
    std::vector<int> enabled;
    int chosen;
};

// Passes every step to another chooser and keeps the choices it makes at
// choice points: a ReplayChooser given chosen() replays the run.
class RecordingChooser final : public Chooser {
  public:
    explicit RecordingChooser(Chooser& inner) : inner_(inner) {}
    int Choose(const std::vector<int>& enabled, int current) override;

    const std::vector<Choice>& choices() const { return choices_; }
    // The thread chosen at each choice point.
    std::vector<int> chosen() const;

  private:
    Chooser& inner_;
    std::vector<Choice> choices_;
};

}  // namespace listpool::sim
