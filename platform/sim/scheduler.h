// The scheduler: which threads can go on, the clock, the run's limits, and
// the chooser's pick of the next step.
#pragma once

#include "platform/io.h"
#include "platform/sim/world.h"

namespace listpool::sim::detail {

inline bool InputLeft(const World& world) {
    return world.inputChunk < world.input.size();
}

// Whether the thread's pending call can take effect now.
inline bool CanGoOn(const World& world, const SimThread& thread) {
    switch (thread.op) {
        case Op::kLock:
            return static_cast<MutexState*>(thread.state)->owner == nullptr;
        case Op::kEventLock:
            return static_cast<EventState*>(thread.state)->signalled;
        case Op::kSleep:
            return world.nowMs >= thread.wakeAtMs;
        case Op::kRead:
            return thread.fd != kStdIn || !InputLeft(world) ||
                   world.input[world.inputChunk].atMs <= world.nowMs;
        default:
            return true;
    }
}

// Picks the thread that makes the next step, moving the clock on when no
// thread can go on now; `current` made the last step. Yields nullptr when
// the run is over: every thread ended, a deadlock, a limit passed, or the
// chooser ended it or picked a thread that cannot go on.
SimThread* Choose(World& world, SimThread* current);

}  // namespace listpool::sim::detail
