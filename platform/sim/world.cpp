// The run's records, and what the back end's parts share of them.
#include "platform/sim/world.h"

#include <cstdio>

#include "platform/io.h"

namespace listpool::sim::detail {

Globals gRun;
void (*gBeforeOutsideChange)(void* state, std::size_t size) = nullptr;

namespace {

constexpr std::uint32_t kMadeOutside = 1u << 31;

template <typename State>
void ListIn(World& world, std::vector<State*>& list, State* state) {
    if (state->listedIn != world.serial) {
        if (gBeforeOutsideChange != nullptr && !arena::Owns(state)) {
            gBeforeOutsideChange(state, sizeof *state);
        }
        state->listedIn = world.serial;
        list.push_back(state);
    }
}

}  // namespace

std::uint32_t NewObjectId() {
    const std::uint32_t made = gRun.objectsMade++;
    return gRun.world != nullptr ? made - gRun.world->objectsBefore : (made | kMadeOutside);
}

std::uint32_t IdOf(const SimThread& thread) {
    if (thread.state == nullptr) {
        return 0;
    }
    return thread.op == Op::kLock || thread.op == Op::kUnlock
               ? static_cast<MutexState*>(thread.state)->id + 1
               : static_cast<EventState*>(thread.state)->id + 1;
}

void List(World& world, MutexState* mutex) {
    if (mutex->listedIn != world.serial) {
        mutex->takers = 0;  // the order of its takers in an earlier run
    }
    ListIn(world, world.mutexes, mutex);
}

void List(World& world, EventState* event) {
    ListIn(world, world.events, event);
}

void Tell(World& world, Notice notice, const SimThread& thread) {
    if (!Observed(world)) {
        return;
    }
    notice.time = world.nowMs;
    if ((thread.op == Op::kLock || thread.op == Op::kUnlock) && thread.state != nullptr) {
        if (const int fd = static_cast<const MutexState*>(thread.state)->writesTo; fd >= 0) {
            notice.stream = FileName(world, fd);
        }
    }
    world.options.observer->OnNotice(notice);
}

std::string_view FileName(const World& world, int fd) {
    if (fd == kStdOut || fd == kStdErr) {
        return fd == kStdOut ? "stdout" : "stderr";
    }
    return world.logNames[static_cast<std::size_t>(fd - 3)];
}

void Finish(World& world, Ending ending, std::string report) {
    if (!world.over) {
        world.over = true;
        world.outcome.ending = ending;
        world.outcome.endTimeMs = world.nowMs;
        world.outcome.report = std::move(report);
    }
}

std::string NameOf(const World& world, const void* object) {
    if (world.options.nameObject) {
        std::string name = world.options.nameObject(object);
        if (!name.empty()) {
            return name;
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "object %p", object);
    return text;
}

std::string Waits(const World& world) {
    std::string report;
    for (const SimThread* thread : world.alive) {
        // Appended piece by piece: GCC 12 at -O3 takes "text" + std::string
        // for an overlapping copy (-Wrestrict).
        report.append("  thread ").append(std::to_string(thread->id)).append(": ");
        report.append(OpName(thread->op));
        if (thread->object != nullptr) {
            report.append(" ").append(NameOf(world, thread->object));
        }
        if (thread->op == Op::kLock) {
            if (const SimThread* owner = static_cast<MutexState*>(thread->state)->owner) {
                report.append(" held by thread ").append(std::to_string(owner->id));
            }
        }
        report += "\n";
    }
    return report;
}

}  // namespace listpool::sim::detail
