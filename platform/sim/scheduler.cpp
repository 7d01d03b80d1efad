// The scheduler. The strategies themselves are choosers
// (platform/sim/strategies.h), outside the core.
#include "platform/sim/scheduler.h"

#include <algorithm>

namespace listpool::sim::detail {
namespace {

// Lists the threads that can go on, moving the clock to the earliest
// wake-up while none can. false: the run is over.
bool FindEnabled(World& world) {
    std::vector<SimThread*>& enabled = world.enabled;
    enabled.clear();
    for (;;) {
        std::uint64_t nextMs = UINT64_MAX;
        for (SimThread* thread : world.alive) {
            if (CanGoOn(world, *thread)) {
                enabled.push_back(thread);
            } else if (thread->op == Op::kSleep) {
                nextMs = std::min(nextMs, thread->wakeAtMs);
            } else if (thread->op == Op::kRead && InputLeft(world)) {
                nextMs = std::min(nextMs, world.input[world.inputChunk].atMs);
            }
        }
        if (!enabled.empty()) {
            return true;
        }
        if (world.alive.empty()) {
            Finish(world, Ending::kAllEnded);
            return false;
        }
        if (nextMs == UINT64_MAX) {
            Finish(world, Ending::kDeadlock,
                   "deadlock at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
            return false;
        }
        if (nextMs > world.options.maxTimeMs) {
            Finish(world, Ending::kTimeLimit,
                   "time limit passed at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
            return false;
        }
        world.nowMs = nextMs;
    }
}

}  // namespace

SimThread* Choose(World& world, SimThread* current) {
    if (!FindEnabled(world)) {
        return nullptr;
    }
    if (++world.outcome.steps > world.options.maxSteps) {
        Finish(world, Ending::kStepLimit,
               "step limit reached at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
        return nullptr;
    }
    const std::vector<SimThread*>& enabled = world.enabled;
    // Only threads still alive are enabled, so an ended current one is not kept.
    const bool keep = std::find(enabled.begin(), enabled.end(), current) != enabled.end();
    world.enabledIds.clear();
    for (SimThread* thread : enabled) {
        world.enabledIds.push_back(thread->id);
    }
    const int wanted = world.chooser->Choose(world.enabledIds, keep ? current->id : -1);
    const auto found = std::find_if(enabled.begin(), enabled.end(),
                                    [&](SimThread* thread) { return thread->id == wanted; });
    if (found == enabled.end()) {
        Finish(world, wanted < 0 ? Ending::kStopped : Ending::kFault,
               wanted < 0 ? ""
                          : "the chooser picked thread " + std::to_string(wanted) +
                                ", which cannot go on\n" + Waits(world));
        return nullptr;
    }
    return *found;
}

}  // namespace listpool::sim::detail
