// The unchanged program (console, workers, guards) run in the simulator.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim.h"
#include "sim/runs/guard_watch.h"

namespace listpool {
struct Program;
}

namespace listpool::sim {

// One run of the program: how it ended, and what the guard watch saw.
struct ProgramRun {
    Outcome outcome;
    // The first time a writer worked beside a reader, or "".
    std::string violation;
    // What the guard watch saw of the pool's and the list's guards.
    std::vector<Section> sections;
    std::vector<Wait> waits;
    // The watched guards' names, in the order they were added ("pool",
    // "list"), and their objects.
    std::vector<std::string> guards;
    std::map<const void*, GuardObject> objects;

    // Ended as the program does, by exit status 0, with the guards kept apart.
    bool ok() const {
        return outcome.ending == Ending::kExited && outcome.exitStatus == 0 && violation.empty();
    }
};

// Runs listpool on a session (see ParseSession) in the current folder's
// stead: logs live in the outcome, not on disk. `extra`, when given, is told
// every notice after the guard watch. `built`, when given, is set to the
// program as soon as it is built, for a look at its memory while the run is
// stopped, and `watching` to the guard watch for the run's length. The
// program's memory is the run's own (Options::ownMemory).
ProgramRun SimulateListpool(Options options, std::string_view session, Observer* extra = nullptr,
                            const Program** built = nullptr, const GuardWatch** watching = nullptr);

// The pool's five records and its cursor ("[0] key 7, next -1, in use\n..."),
// and the list from its head with its count of operations, as they stand:
// read while every simulated thread is stopped at a platform call.
std::string PoolText(const Program& program);
std::string ListText(const Program& program);

}  // namespace listpool::sim
