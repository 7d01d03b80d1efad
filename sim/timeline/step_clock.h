// Counts the steps of a run, for scenes that take no virtual time: every
// event is passed on stamped with the steps taken before it instead of its
// virtual time, so that a timeline recorded behind it has an axis of steps.
#pragma once

#include <cstdint>

#include "platform/sim.h"

namespace listpool::sim {

// A step is a call taking effect (an event's kDone, a thread's end aside):
// the call taken at step n is stamped n, and what happens after it, up to
// the next call taking effect, n + 1.
class StepClock final : public Observer {
  public:
    explicit StepClock(Observer& next) : next_(next) {}

    void OnNotice(const Notice& notice) override;

    // The steps taken so far: the time of what happens now.
    std::uint64_t now() const { return steps_; }

  private:
    Observer& next_;
    std::uint64_t steps_ = 0;
};

}  // namespace listpool::sim
