// The simulation back end's records: a simulated thread, a mutex's and an
// event's state behind their handles, and one run's world. Only one fiber
// runs at a time, so nothing here needs a lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fiber.h"
#include "platform/sim.h"
#include "platform/sim/arena.h"
#include "platform/thread.h"

namespace listpool::sim::detail {

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
    const char* startName = nullptr;
    // What StartThread named this thread; "" for the first.
    std::string name;
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
std::uint32_t NewObjectId();

struct MutexState {
    SimThread* owner = nullptr;
    std::uint32_t id = NewObjectId();
    // The file the program writes only holding it (CMutex::NameForWrites),
    // else -1.
    int writesTo = -1;
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

// One run's state.
struct World {
    explicit World(const Options& o) : options(o) {}

    const Options& options;
    Chooser* chooser = nullptr;  // the options' or the fixed schedule
    std::vector<std::unique_ptr<SimThread>> threads;
    // The threads not yet ended, in start order: what a step looks at, so
    // that threads long gone cost nothing.
    std::vector<SimThread*> alive;
    bool over = false;
    Outcome outcome;
    std::uint64_t nowMs = 0;
    std::vector<TypedText> input;
    std::size_t inputChunk = 0;
    std::size_t inputOffset = 0;
    std::vector<std::string> logNames;  // descriptor 3 + n is logNames[n]
    // Mutexes taken and not yet given back: the run frees them at its end,
    // since a mutex may outlive the run (a stream's, made once).
    std::vector<MutexState*> held;
    // The scheduler's scratch lists, kept to spare an allocation every step.
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
    // Where the program's allocations go, and the simulator's own records
    // (observers' included): the run's region, or the system's heap for
    // what outlives the run.
    arena::Target program = arena::Target::kSystem;
    arena::Target bookkeeping = arena::Target::kSystem;
};

// The back end's own state that runs change outside the runs' region and
// the fibers' stacks, in one place: a copy of a run (snapshot.h) takes it
// whole, so a member added here is copied and put back with the rest. The
// back end's other mutable globals are each listed, with why a copy need
// not hold them, by the check tests/sim/check_globals.py, which fails on
// any it does not know.
struct Globals {
    // The run under way, or nullptr.
    World* world = nullptr;
    // The running fiber's thread, nullptr while the caller of Run (or no
    // run) runs.
    SimThread* self = nullptr;
    // The objects made so far.
    std::uint32_t objectsMade = 0;
    // How many runs have started.
    std::uint64_t runs = 0;
};
extern Globals gRun;
extern void (*gBeforeOutsideChange)(void* state, std::size_t size);

// The calling thread's run, or nullptr outside a run.
inline World* WorldOf(SimThread* self) {
    return self != nullptr ? gRun.world : nullptr;
}

// Adds a thread that will run body, as the last in start order; its fiber
// starts in the thread's life (run.cpp).
SimThread& AddThread(World& world, std::function<void()> body);

// The number StateHash gives the object of the thread's pending call, 0 for none.
std::uint32_t IdOf(const SimThread& thread);

// Lists a mutex or an event among the run's, once.
void List(World& world, MutexState* mutex);
void List(World& world, EventState* event);

// Whether the run has an observer: a search's runs have none, and the two
// notices of every step, built for no one, cost it 8 % of its instructions.
inline bool Observed(const World& world) {
    return world.options.observer != nullptr;
}

// Tells the observer, if there is one, of the thread's call, stamped with
// the virtual time and, for a stream's mutex, the stream's file.
void Tell(World& world, Notice notice, const SimThread& thread);

inline Notice NoticeOf(Notice::Phase phase, const SimThread& thread) {
    Notice notice{};
    notice.phase = phase;
    notice.thread = thread.id;
    notice.op = thread.op;
    notice.object = thread.object;
    return notice;
}

// The file's name: "stdout", "stderr" or a log's, as OpenLogFile named it.
std::string_view FileName(const World& world, int fd);

// Ends the run, unless it has ended already.
void Finish(World& world, Ending ending, std::string report = {});

// The object's name in reports: the options' name for it, else its address.
std::string NameOf(const World& world, const void* object);
// What every thread still alive waits for, one line each.
std::string Waits(const World& world);

}  // namespace listpool::sim::detail
