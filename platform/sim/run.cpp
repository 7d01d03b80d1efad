// Simulated threads are fibers (platform/fiber.h) on the calling thread, so
// searches can afford millions of steps.
#include "platform/sim/run.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "platform/sim/effects.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/strategies.h"

namespace listpool::sim {
namespace detail {
namespace {

bool Blocking(Op op) {
    return op == Op::kBegin || op == Op::kLock || op == Op::kEventLock || op == Op::kSleep ||
           op == Op::kRead || op == Op::kAccess;
}

// Moves from the running fiber (or the caller of Run, from == nullptr) to
// another (or back to the caller, to == nullptr). `ending`: the running
// fiber will never be resumed.
void SwitchTo(World& world, SimThread* from, SimThread* to, bool ending = false) {
    Fiber& leaving = from != nullptr ? *from->fiber : world.controller;
    Fiber& entering = to != nullptr ? *to->fiber : world.controller;
    gRun.self = to;
    leaving.SwitchTo(entering, ending);
}

// A call by an abandoned thread: blocking calls unwind it, the others give
// back what they hold and otherwise do nothing.
void AbandonedCall(SimThread& self) {
    if (Blocking(self.op)) {
        throw Abandoned();
    }
    if (self.op == Op::kUnlock) {
        auto* mutex = static_cast<MutexState*>(self.state);
        if (mutex->owner == &self) {
            mutex->owner = nullptr;
        }
    }
    self.started = false;
    self.got = 0;
}

void FiberMain(void* argument) {
    auto* const self = static_cast<SimThread*>(argument);
    World& world = *gRun.world;
    if (!self->abandoned) {
        try {
            const arena::Use program(world.program);
            self->body();
        } catch (const Abandoned&) {
        } catch (const std::exception& e) {
            Finish(world, Ending::kFault,
                   "an exception left thread " + std::to_string(self->id) + ": " + e.what() + "\n");
        } catch (...) {
            Finish(world, Ending::kFault,
                   "an exception left thread " + std::to_string(self->id) + "\n");
        }
    }
    self->ended = true;
    std::erase(world.alive, self);
    self->op = Op::kEnd;
    self->object = nullptr;
    self->state = nullptr;
    Tell(world, NoticeOf(Notice::kDone, *self), *self);
    SimThread* chosen = nullptr;
    if (!world.over) {
        chosen = Choose(world, self);
        if (chosen != nullptr) {
            Apply(world, *chosen);
        }
    }
    SwitchTo(world, self, world.over ? nullptr : chosen, true);
    std::abort();  // an ended fiber is never resumed
}

}  // namespace

SimThread& AddThread(World& world, std::function<void()> body) {
    auto thread = std::make_unique<SimThread>();
    thread->id = static_cast<int>(world.threads.size());
    thread->body = std::move(body);
    // Slot 0 is for a run that is played on a fiber of its own (snapshot.h).
    thread->fiber =
        std::make_unique<Fiber>(FiberMain, thread.get(), static_cast<std::size_t>(thread->id) + 1);
    SimThread& added = *thread;
    world.alive.push_back(&added);
    world.threads.push_back(std::move(thread));
    return added;
}

void Step(World& world, SimThread& self) {
    const arena::Use bookkeeping(world.bookkeeping);
    if (self.abandoned) {
        AbandonedCall(self);
        return;
    }
    // A mutex is not recursive: its owner's lock would wait for ever.
    if (self.op == Op::kLock && static_cast<MutexState*>(self.state)->owner == &self) {
        Finish(world, Ending::kFault,
               "thread " + std::to_string(self.id) + " locks " + NameOf(world, self.object) +
                   ", which it holds already\n");
        SwitchTo(world, &self, nullptr);
        if (self.abandoned) {
            AbandonedCall(self);
        }
        return;
    }
    if (Observed(world)) {
        Notice request = NoticeOf(Notice::kRequest, self);
        request.blocked = !CanGoOn(world, self);
        Tell(world, request, self);
    }
    SimThread* chosen = Choose(world, &self);
    if (chosen != nullptr) {
        Apply(world, *chosen);
    }
    if (chosen == &self && !world.over) {
        return;
    }
    SwitchTo(world, &self, world.over ? nullptr : chosen);
    if (self.abandoned) {
        AbandonedCall(self);
    }
}

}  // namespace detail

Outcome Run(const Options& options, std::vector<TypedText> input, std::function<void()> body) {
    using namespace detail;
    if (gRun.world != nullptr) {
        std::abort();  // one run at a time
    }
    // A run played in a copyable region keeps everything there; a run that
    // owns its memory gives back the program's at its end.
    const bool copyable = arena::Current() == arena::Target::kRegion;
    const bool owning = !copyable && options.ownMemory && arena::Installed();
    if (owning) {
        arena::Reset(arena::Mode::kBump);
    }
    Outcome outcome;
    {
        FixedChooser fixed;
        World world(options);
        if (copyable || owning) {
            world.program = arena::Target::kRegion;
            world.bookkeeping = copyable ? arena::Target::kRegion : arena::Target::kSystem;
        }
        const arena::Use bookkeeping(world.bookkeeping);
        world.chooser = options.chooser != nullptr ? options.chooser : &fixed;
        world.input = std::move(input);
        world.serial = ++gRun.runs;
        world.objectsBefore = gRun.objectsMade;
        gRun.world = &world;
        if (options.observer != nullptr) {
            options.observer->OnRunStart();
        }
        SimThread& first = AddThread(world, std::move(body));
        SwitchTo(world, nullptr, &first);
        // Unwind the threads still alive one at a time, then free any mutex
        // they left taken for the next run.
        for (const auto& thread : world.threads) {
            if (!thread->ended && options.unwindAbandoned) {
                thread->abandoned = true;
                SwitchTo(world, nullptr, thread.get());
            }
        }
        for (MutexState* mutex : world.held) {
            mutex->owner = nullptr;
        }
        gRun.world = nullptr;
        gRun.self = nullptr;
        world.outcome.threads = static_cast<int>(world.threads.size());
        for (const auto& thread : world.threads) {
            world.outcome.threadNames.push_back(thread->name);
        }
        if (owning) {
            const arena::Use system(arena::Target::kSystem);
            outcome = world.outcome;  // a copy: the region is emptied next
        } else {
            outcome = std::move(world.outcome);
        }
    }
    if (owning) {
        arena::Reset(arena::Mode::kBump);
    }
    return outcome;
}

SimulatorMemory::SimulatorMemory()
    : use_(detail::gRun.world != nullptr ? detail::gRun.world->bookkeeping : arena::Current()) {}

std::uint64_t NowMs() {
    return detail::gRun.world != nullptr ? detail::gRun.world->nowMs : 0;
}

std::uint64_t RunSerial() {
    return detail::gRun.world != nullptr ? detail::gRun.world->serial : 0;
}

int CurrentThread() {
    return detail::gRun.self != nullptr ? detail::gRun.self->id : -1;
}

}  // namespace listpool::sim
