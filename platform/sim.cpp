// The simulation back end of the platform layer: the program's threads run
// one at a time under a scheduler, in virtual time. See platform/sim.h.
//
// Simulated threads are fibers (platform/fiber.h) on the calling thread, so
// searches can afford millions of steps.
#include "platform/sim.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "platform/fiber.h"
#include "platform/io.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace listpool {
namespace sim {
namespace {

// Thrown into a thread that the run abandons, to unwind it from where it
// stopped; caught only by the thread's own start routine.
struct Abandoned {};

struct SimThread {
    int id = 0;
    std::function<void()> body;
    std::unique_ptr<Fiber> fiber;
    // The call the thread is stopped at.
    Op op = Op::kBegin;
    const void* object = nullptr;  // the CMutex or CEvent, as observers see it
    void* state = nullptr;         // its state behind the handle
    std::uint64_t wakeAtMs = 0;
    // kWrite and kRead: the caller's bytes.
    int fd = -1;
    char* data = nullptr;
    std::size_t size = 0;
    // Results handed back to the caller.
    std::size_t got = 0;
    bool started = false;
    ThreadProc proc = nullptr;
    void* argument = nullptr;
    std::uint64_t priority = 0;
    bool ended = false;
    bool abandoned = false;
};

struct MutexState {
    SimThread* owner = nullptr;
};

struct EventState {
    bool signalled = true;
};

// One run's state. Only one fiber runs at a time, so nothing needs a lock.
struct World {
    explicit World(const Options& o) : options(o), random(o.seed) {}

    const Options& options;
    std::mt19937_64 random;
    std::vector<std::unique_ptr<SimThread>> threads;
    // The threads not yet ended, in start order: what a step looks at, so
    // that threads long gone cost nothing.
    std::vector<SimThread*> alive;
    SimThread* running = nullptr;
    bool over = false;
    Outcome outcome;
    std::uint64_t nowMs = 0;
    std::vector<TypedText> input;
    std::size_t inputChunk = 0;
    std::size_t inputOffset = 0;
    std::vector<std::string> logNames;  // descriptor 3 + n is logNames[n]
    std::vector<std::uint64_t> pctDropSteps;
    std::size_t replayed = 0;
    // Mutexes taken and not yet given back: the run frees them at its end,
    // since a mutex may outlive the run (a stream's, made once).
    std::vector<MutexState*> held;
    // Choose's scratch list, kept to spare an allocation every step.
    std::vector<SimThread*> enabled;
    // The caller of Run, which gets control back at the end.
    Fiber controller;
};

World* gWorld = nullptr;
// The running fiber; nullptr while the caller of Run (or no run) runs.
SimThread* tSelf = nullptr;

bool Blocking(Op op) {
    return op == Op::kBegin || op == Op::kLock || op == Op::kWait || op == Op::kSleep ||
           op == Op::kRead;
}

bool InputLeft(const World& world) {
    return world.inputChunk < world.input.size();
}

bool CanGoOn(const World& world, const SimThread& thread) {
    switch (thread.op) {
        case Op::kLock:
            return static_cast<MutexState*>(thread.state)->owner == nullptr;
        case Op::kWait:
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

std::string& FileOf(World& world, int fd) {
    static const std::string kStd[] = {"stdin", "stdout", "stderr"};
    const std::string& name = fd < 3 ? kStd[fd] : world.logNames[static_cast<std::size_t>(fd - 3)];
    return world.outcome.files[name];
}

std::string FileName(const World& world, int fd) {
    return fd == kStdOut   ? "stdout"
           : fd == kStdErr ? "stderr"
                           : world.logNames[static_cast<std::size_t>(fd - 3)];
}

void Tell(World& world, Event event) {
    if (world.options.observer != nullptr) {
        event.timeMs = world.nowMs;
        world.options.observer->OnEvent(event);
    }
}

Event EventOf(Event::Phase phase, const SimThread& thread) {
    Event event{};
    event.phase = phase;
    event.thread = thread.id;
    event.op = thread.op;
    event.object = thread.object;
    return event;
}

void Finish(World& world, Ending ending, std::string report = {}) {
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

// What every thread still alive waits for, one line each.
std::string Waits(const World& world) {
    std::string report;
    for (const SimThread* thread : world.alive) {
        report += "  thread " + std::to_string(thread->id) + ": " + OpName(thread->op);
        if (thread->object != nullptr) {
            report += " " + NameOf(world, thread->object);
        }
        if (thread->op == Op::kLock) {
            const SimThread* owner = static_cast<MutexState*>(thread->state)->owner;
            report += owner != nullptr ? " held by thread " + std::to_string(owner->id) : "";
        }
        report += "\n";
    }
    return report;
}

// Picks the thread that makes the next step, moving the clock on when no
// thread can go on now. Yields nullptr when the run is over.
SimThread* Choose(World& world, SimThread* current) {
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
            break;
        }
        if (world.alive.empty()) {
            Finish(world, Ending::kAllEnded);
            return nullptr;
        }
        if (nextMs == UINT64_MAX) {
            Finish(world, Ending::kDeadlock,
                   "deadlock at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
            return nullptr;
        }
        if (nextMs > world.options.maxTimeMs) {
            Finish(world, Ending::kTimeLimit,
                   "time limit passed at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
            return nullptr;
        }
        world.nowMs = nextMs;
    }
    if (++world.outcome.steps > world.options.maxSteps) {
        Finish(world, Ending::kStepLimit,
               "step limit reached at " + std::to_string(world.nowMs) + " ms:\n" + Waits(world));
        return nullptr;
    }
    // Only threads still alive are enabled, so an ended current one is not kept.
    const bool keep = std::find(enabled.begin(), enabled.end(), current) != enabled.end();
    SimThread* chosen = keep ? current : enabled.front();
    if (enabled.size() > 1) {
        const Options& options = world.options;
        if (world.replayed < options.replay.size()) {
            const int wanted = options.replay[world.replayed++];
            auto found = std::find_if(enabled.begin(), enabled.end(),
                                      [&](SimThread* thread) { return thread->id == wanted; });
            if (found == enabled.end()) {
                Finish(world, Ending::kFault,
                       "replay diverged: thread " + std::to_string(wanted) + " cannot go on\n" +
                           Waits(world));
                return nullptr;
            }
            chosen = *found;
        } else if (options.strategy == Strategy::kRandom) {
            chosen = enabled[world.random() % enabled.size()];
        } else if (options.strategy == Strategy::kPct) {
            for (std::size_t drop = 0; drop < world.pctDropSteps.size(); ++drop) {
                if (world.pctDropSteps[drop] == world.outcome.steps && current != nullptr) {
                    current->priority = drop;  // below every priority given at start
                }
            }
            chosen = *std::max_element(
                enabled.begin(), enabled.end(),
                [](SimThread* a, SimThread* b) { return a->priority < b->priority; });
        }
        if (options.recordChoices) {
            Choice choice{keep ? current->id : -1, {}, chosen->id};
            for (SimThread* thread : enabled) {
                choice.enabled.push_back(thread->id);
            }
            world.outcome.choices.push_back(std::move(choice));
        }
    }
    return chosen;
}

void FiberMain(void* argument);

SimThread& AddThread(World& world, std::function<void()> body) {
    auto thread = std::make_unique<SimThread>();
    thread->id = static_cast<int>(world.threads.size());
    thread->body = std::move(body);
    thread->priority = world.pctDropSteps.size() + 1 + world.random() % 1'000'000;
    thread->fiber = std::make_unique<Fiber>(FiberMain, thread.get());
    SimThread& added = *thread;
    world.alive.push_back(&added);
    world.threads.push_back(std::move(thread));
    return added;
}

// Moves from the running fiber (or the caller of Run, from == nullptr) to
// another (or back to the caller, to == nullptr). `ending`: the running
// fiber will never be resumed.
void SwitchTo(World& world, SimThread* from, SimThread* to, bool ending = false) {
    Fiber& leaving = from != nullptr ? *from->fiber : world.controller;
    Fiber& entering = to != nullptr ? *to->fiber : world.controller;
    tSelf = to;
    leaving.SwitchTo(entering, ending);
}

// Makes the chosen thread's call take effect.
void Apply(World& world, SimThread& thread) {
    Event done = EventOf(Event::kDone, thread);
    switch (thread.op) {
        case Op::kLock:
            static_cast<MutexState*>(thread.state)->owner = &thread;
            world.held.push_back(static_cast<MutexState*>(thread.state));
            break;
        case Op::kUnlock: {
            auto* mutex = static_cast<MutexState*>(thread.state);
            if (mutex->owner != &thread) {
                Finish(world, Ending::kFault,
                       "thread " + std::to_string(thread.id) + " unlocks " +
                           NameOf(world, thread.object) + ", which it does not hold\n");
            }
            mutex->owner = nullptr;
            const auto held = std::find(world.held.begin(), world.held.end(), mutex);
            if (held != world.held.end()) {
                world.held.erase(held);
            }
            break;
        }
        case Op::kSet:
        case Op::kReset:
            static_cast<EventState*>(thread.state)->signalled = thread.op == Op::kSet;
            break;
        case Op::kStartThread: {
            const ThreadProc proc = thread.proc;
            void* const argument = thread.argument;
            done.newThread = AddThread(world, [proc, argument] { proc(argument); }).id;
            thread.started = true;
            break;
        }
        case Op::kWrite: {
            const std::string_view bytes(thread.data, thread.size);
            FileOf(world, thread.fd).append(bytes);
            world.outcome.writes.push_back(
                {world.nowMs, thread.id, FileName(world, thread.fd), std::string(bytes)});
            done.file = world.outcome.writes.back().file;
            done.bytes = world.outcome.writes.back().bytes;
            break;
        }
        case Op::kRead:
            thread.got = 0;
            while (thread.fd == kStdIn && thread.got < thread.size && InputLeft(world) &&
                   world.input[world.inputChunk].atMs <= world.nowMs) {
                const std::string& chunk = world.input[world.inputChunk].bytes;
                const std::size_t n =
                    std::min(thread.size - thread.got, chunk.size() - world.inputOffset);
                std::copy_n(chunk.data() + world.inputOffset, n, thread.data + thread.got);
                thread.got += n;
                world.inputOffset += n;
                if (world.inputOffset == chunk.size()) {
                    ++world.inputChunk;
                    world.inputOffset = 0;
                }
            }
            break;
        default:
            break;
    }
    Tell(world, done);
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

// The calling thread asks for the call set in self.op; returns once the call
// has taken effect, after whatever other threads the scheduler runs first.
void Step(World& world, SimThread& self) {
    if (self.abandoned) {
        AbandonedCall(self);
        return;
    }
    Event request = EventOf(Event::kRequest, self);
    request.waits = !CanGoOn(world, self);
    Tell(world, request);
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

void FiberMain(void* argument) {
    auto* const self = static_cast<SimThread*>(argument);
    World& world = *gWorld;
    if (!self->abandoned) {
        try {
            self->body();
        } catch (const Abandoned&) {
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
    Tell(world, EventOf(Event::kDone, *self));
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

// The calling thread's run, or nullptr outside a run.
World* WorldOf(SimThread* self) {
    return self != nullptr ? gWorld : nullptr;
}

}  // namespace

Outcome Run(const Options& options, std::vector<TypedText> input, std::function<void()> body) {
    if (gWorld != nullptr) {
        std::abort();  // one run at a time
    }
    World world(options);
    world.input = std::move(input);
    for (int drop = 0; options.strategy == Strategy::kPct && drop < options.pctDrops; ++drop) {
        world.pctDropSteps.push_back(1 +
                                     world.random() % std::max<std::uint64_t>(options.pctSteps, 1));
    }
    gWorld = &world;
    SimThread& first = AddThread(world, std::move(body));
    SwitchTo(world, nullptr, &first);
    // Unwind the threads still alive one at a time, then free any mutex they
    // left taken for the next run.
    for (const auto& thread : world.threads) {
        if (!thread->ended) {
            thread->abandoned = true;
            SwitchTo(world, nullptr, thread.get());
        }
    }
    for (MutexState* mutex : world.held) {
        mutex->owner = nullptr;
    }
    gWorld = nullptr;
    tSelf = nullptr;
    world.outcome.threads = static_cast<int>(world.threads.size());
    return std::move(world.outcome);
}

std::uint64_t NowMs() {
    return gWorld != nullptr ? gWorld->nowMs : 0;
}

int CurrentThread() {
    return tSelf != nullptr ? tSelf->id : -1;
}

std::string Describe(const Options& options) {
    switch (options.strategy) {
        case Strategy::kRandom:
            return "random seed " + std::to_string(options.seed);
        case Strategy::kPct:
            return "pct seed " + std::to_string(options.seed);
        default:
            return "fixed";
    }
}

const char* OpName(Op op) {
    static const char* const kNames[] = {"begin", "lock",  "unlock", "wait", "set", "reset",
                                         "start", "sleep", "write",  "read", "end"};
    return kNames[static_cast<int>(op)];
}

}  // namespace sim

namespace {

using sim::Op;

// Makes one platform call on the calling simulated thread. Outside a run the
// call takes effect at once, which is enough for objects made before it.
template <typename Prepare>
sim::SimThread* Call(Op op, const void* object, void* state, Prepare prepare) {
    sim::SimThread* self = sim::tSelf;
    sim::World* world = sim::WorldOf(self);
    if (world == nullptr) {
        return nullptr;
    }
    self->op = op;
    self->object = object;
    self->state = state;
    prepare(*world, *self);
    sim::Step(*world, *self);
    return self;
}

void NoPreparation(sim::World&, sim::SimThread&) {}

}  // namespace

CMutex::CMutex() {
    m_hObject = new sim::MutexState;
}

bool CMutex::Lock() {
    Call(Op::kLock, this, m_hObject, NoPreparation);
    return true;
}

bool CMutex::Unlock() {
    Call(Op::kUnlock, this, m_hObject, NoPreparation);
    return true;
}

CEvent::CEvent() {
    m_hObject = new sim::EventState;
}

bool CEvent::Lock() {
    Call(Op::kWait, this, m_hObject, NoPreparation);
    return true;
}

bool CEvent::SetEvent() {
    if (Call(Op::kSet, this, m_hObject, NoPreparation) == nullptr) {
        static_cast<sim::EventState*>(m_hObject)->signalled = true;
    }
    return true;
}

bool CEvent::ResetEvent() {
    if (Call(Op::kReset, this, m_hObject, NoPreparation) == nullptr) {
        static_cast<sim::EventState*>(m_hObject)->signalled = false;
    }
    return true;
}

bool StartThread(ThreadProc proc, void* argument) {
    sim::SimThread* self =
        Call(Op::kStartThread, nullptr, nullptr, [&](sim::World&, sim::SimThread& t) {
            t.proc = proc;
            t.argument = argument;
        });
    return self != nullptr && self->started;
}

void SleepMs(std::uint32_t milliseconds) {
    Call(Op::kSleep, nullptr, nullptr,
         [&](sim::World& world, sim::SimThread& t) { t.wakeAtMs = world.nowMs + milliseconds; });
}

int OpenLogFile(const char* name) {
    sim::World* world = sim::WorldOf(sim::tSelf);
    if (world == nullptr) {
        return -1;
    }
    const auto& unopenable = world->options.unopenable;
    if (std::find(unopenable.begin(), unopenable.end(), name) != unopenable.end()) {
        return -1;
    }
    auto& names = world->logNames;
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
        found = names.insert(names.end(), name);
    }
    world->outcome.files[name].clear();  // created or emptied
    return 3 + static_cast<int>(found - names.begin());
}

void WriteAll(int fd, const char* data, std::size_t size) {
    Call(Op::kWrite, nullptr, nullptr, [&](sim::World&, sim::SimThread& t) {
        t.fd = fd;
        t.data = const_cast<char*>(data);
        t.size = size;
    });
}

std::size_t ReadSome(int fd, char* data, std::size_t size) {
    sim::SimThread* self = Call(Op::kRead, nullptr, nullptr, [&](sim::World&, sim::SimThread& t) {
        t.fd = fd;
        t.data = data;
        t.size = size;
    });
    return self != nullptr ? self->got : 0;
}

void ExitProcess(int status) {
    sim::World* world = sim::WorldOf(sim::tSelf);
    if (world == nullptr) {
        std::_Exit(status);
    }
    if (!world->over) {
        sim::Finish(*world, sim::Ending::kExited);
        world->outcome.exitStatus = status;
    }
    throw sim::Abandoned();
}

// A simulated thread's uncaught exception ends its run as a failure instead.
void InstallAbnormalTermination() {}

}  // namespace listpool
