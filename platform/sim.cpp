// The simulation back end of the platform layer: the program's threads run
// one at a time under a scheduler, in virtual time. See platform/sim.h.
//
// Simulated threads are fibers (platform/fiber.h) on the calling thread, so
// searches can afford millions of steps.
#include "platform/sim.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <type_traits>

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

constexpr std::size_t kMostPlaceCalls = 8;

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
    // Where the thread is in its code, as StateHash sees it: the label of its
    // last MarkPlace, a hash of every call since, and the last few calls.
    std::uint64_t label = 0;
    std::uint64_t place = 0;
    std::array<std::uint64_t, kMostPlaceCalls> recent{};
    std::size_t calls = 0;
    bool ended = false;
    bool abandoned = false;
};

// Objects are numbered in the order they are made: those made in a run
// from the run's start, so that every run of a scene numbers them alike;
// those made outside any run (a stream's, made once) from the process's
// start, with the top bit set.
constexpr std::uint32_t kMadeOutside = 1u << 31;
std::uint32_t gObjectsMade = 0;
std::uint32_t NewObjectId();

struct MutexState {
    SimThread* owner = nullptr;
    std::uint32_t id = NewObjectId();
    // The run that last listed it in its mutexes, and the order in which
    // threads have taken it in that run.
    std::uint64_t listedIn = 0;
    std::uint64_t takers = 0;
};

struct EventState {
    bool signalled = true;
    std::uint32_t id = NewObjectId();
    // The run that last listed it in its events.
    std::uint64_t listedIn = 0;
};

// Folds a value into a hash (splitmix64's finaliser over the sum).
std::uint64_t Fold(std::uint64_t hash, std::uint64_t value) {
    std::uint64_t z = hash + 0x9e3779b97f4a7c15ULL + value * 0xff51afd7ed558ccdULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t FoldBytes(std::uint64_t hash, std::string_view bytes) {
    hash = Fold(hash, bytes.size());
    for (const char c : bytes) {
        hash = hash * 0x100000001b3ULL ^ static_cast<unsigned char>(c);
    }
    return Fold(hash, 0);
}

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
    // Choose's scratch lists, kept to spare an allocation every step.
    std::vector<SimThread*> enabled;
    std::vector<int> enabledIds;
    // Which run this is, and how many objects had been made before it.
    std::uint64_t serial = 0;
    std::uint32_t objectsBefore = 0;
    // The mutexes and events the run has made or used, for StateHash.
    std::vector<MutexState*> mutexes;
    std::vector<EventState*> events;
    // A hash of each file's writes, by descriptor.
    std::map<int, std::uint64_t> fileHashes;
    // The caller of Run, which gets control back at the end.
    Fiber controller;
};

World* gWorld = nullptr;
// The running fiber; nullptr while the caller of Run (or no run) runs.
SimThread* tSelf = nullptr;
std::uint64_t gRuns = 0;

std::uint32_t NewObjectId() {
    const std::uint32_t made = gObjectsMade++;
    return gWorld != nullptr ? made - gWorld->objectsBefore : (made | kMadeOutside);
}

std::uint32_t IdOf(const SimThread& thread) {
    if (thread.state == nullptr) {
        return 0;
    }
    return thread.op == Op::kLock || thread.op == Op::kUnlock
               ? static_cast<MutexState*>(thread.state)->id + 1
               : static_cast<EventState*>(thread.state)->id + 1;
}

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

// Lists a mutex or an event among the run's, once.
template <typename State>
void List(World& world, std::vector<State*>& list, State* state) {
    if (state->listedIn != world.serial) {
        state->listedIn = world.serial;
        if constexpr (std::is_same_v<State, MutexState>) {
            state->takers = 0;
        }
        list.push_back(state);
    }
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
    if (world.options.chooser != nullptr) {
        world.enabledIds.clear();
        for (SimThread* thread : enabled) {
            world.enabledIds.push_back(thread->id);
        }
        const int wanted = world.options.chooser->Choose(world.enabledIds, keep ? current->id : -1);
        auto found = std::find_if(enabled.begin(), enabled.end(),
                                  [&](SimThread* thread) { return thread->id == wanted; });
        if (found == enabled.end()) {
            Finish(world, wanted < 0 ? Ending::kStopped : Ending::kFault,
                   wanted < 0 ? ""
                              : "the chooser picked thread " + std::to_string(wanted) +
                                    ", which cannot go on\n");
            return nullptr;
        }
        return *found;
    }
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
    if (world.options.strategy == Strategy::kPct) {
        thread->priority = world.pctDropSteps.size() + 1 + world.random() % 1'000'000;
    }
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
    // What the thread's place remembers of the call.
    std::uint64_t call =
        Fold(Fold(Fold(0, static_cast<std::uint64_t>(thread.op)), IdOf(thread)), world.nowMs);
    switch (thread.op) {
        case Op::kLock:
            static_cast<MutexState*>(thread.state)->owner = &thread;
            static_cast<MutexState*>(thread.state)->takers =
                Fold(static_cast<MutexState*>(thread.state)->takers,
                     static_cast<std::uint64_t>(thread.id));
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
            call = Fold(call, static_cast<std::uint64_t>(done.newThread));
            break;
        }
        case Op::kWrite: {
            const std::string_view bytes(thread.data, thread.size);
            FileOf(world, thread.fd).append(bytes);
            world.outcome.writes.push_back(
                {world.nowMs, thread.id, FileName(world, thread.fd), std::string(bytes)});
            done.file = world.outcome.writes.back().file;
            done.bytes = world.outcome.writes.back().bytes;
            call = FoldBytes(call, bytes);
            std::uint64_t& file = world.fileHashes[thread.fd];
            file = FoldBytes(Fold(file, world.nowMs), bytes);
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
            call = FoldBytes(call, std::string_view(thread.data, thread.got));
            break;
        default:
            break;
    }
    thread.place = Fold(thread.place, call);
    thread.recent[thread.calls++ % kMostPlaceCalls] = call;
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
    world.serial = ++gRuns;
    world.objectsBefore = gObjectsMade;
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
        if (!thread->ended && options.unwindAbandoned) {
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

namespace {

std::uint64_t PlaceOf(const World& world, const SimThread& thread) {
    const std::size_t kept = world.options.placeCalls;
    if (kept == 0) {
        return thread.place;
    }
    std::uint64_t place = thread.label;
    for (std::size_t n = thread.calls > kept ? thread.calls - kept : 0; n < thread.calls; ++n) {
        place = Fold(place, thread.recent[n % kMostPlaceCalls]);
    }
    return place;
}

}  // namespace

std::uint64_t StateHash() {
    const World* world = gWorld;
    if (world == nullptr) {
        return 0;
    }
    std::uint64_t hash = Fold(Fold(Fold(0, world->nowMs), world->inputChunk), world->inputOffset);
    for (const auto& thread : world->threads) {
        if (thread->ended) {
            hash = Fold(hash, 1);
            continue;
        }
        const std::uint64_t wait = thread->op == Op::kSleep && thread->wakeAtMs > world->nowMs
                                       ? thread->wakeAtMs - world->nowMs
                                       : 0;
        hash =
            Fold(Fold(Fold(Fold(hash, static_cast<std::uint64_t>(thread->op) + 2), IdOf(*thread)),
                      PlaceOf(*world, *thread)),
                 wait);
    }
    // Sets of objects, summed so that the order they are kept in does not
    // count.
    std::uint64_t objects = 0;
    const bool everything = world->options.placeCalls == 0;
    for (const MutexState* mutex : world->mutexes) {
        const std::uint64_t owner =
            mutex->owner != nullptr ? static_cast<std::uint64_t>(mutex->owner->id) + 1 : 0;
        objects += Fold(Fold(mutex->id, owner), everything ? mutex->takers : 0);
    }
    for (const EventState* event : world->events) {
        objects += Fold(event->id, event->signalled ? 2 : 3);
    }
    hash = Fold(hash, objects);
    for (const auto& [fd, written] : world->fileHashes) {
        hash = Fold(Fold(hash, static_cast<std::uint64_t>(fd)), written);
    }
    return hash;
}

void MarkPlace(std::uint64_t label) {
    if (tSelf != nullptr) {
        tSelf->label = tSelf->place = label;
        tSelf->calls = 0;
    }
}

Op PendingOp(int thread, const void** object) {
    const World* world = gWorld;
    if (world == nullptr || thread < 0 ||
        static_cast<std::size_t>(thread) >= world->threads.size() ||
        world->threads[static_cast<std::size_t>(thread)]->ended) {
        return Op::kEnd;
    }
    const SimThread& stopped = *world->threads[static_cast<std::size_t>(thread)];
    if (object != nullptr) {
        *object = stopped.object;
    }
    return stopped.op;
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
    if (op == Op::kWait || op == Op::kSet || op == Op::kReset) {
        sim::List(*world, world->events, static_cast<sim::EventState*>(state));
    } else if (op == Op::kLock || op == Op::kUnlock) {
        sim::List(*world, world->mutexes, static_cast<sim::MutexState*>(state));
    }
    prepare(*world, *self);
    sim::Step(*world, *self);
    return self;
}

void NoPreparation(sim::World&, sim::SimThread&) {}

}  // namespace

CMutex::CMutex() {
    auto* state = new sim::MutexState;
    m_hObject = state;
    if (sim::gWorld != nullptr) {
        sim::List(*sim::gWorld, sim::gWorld->mutexes, state);
    }
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
    auto* state = new sim::EventState;
    m_hObject = state;
    if (sim::gWorld != nullptr) {
        sim::List(*sim::gWorld, sim::gWorld->events, state);
    }
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
