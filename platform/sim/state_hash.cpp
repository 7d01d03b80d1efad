// What a chooser or an observer may ask of the run under way: its state's
// hash, a thread's pending call, a mutex's owner, an event's state, the
// threads started; and the place a scene marks.
#include <iterator>

#include "platform/sim/hash.h"
#include "platform/sim/world.h"
#include "platform/sync.h"

namespace listpool::sim {
namespace {

using detail::EventState;
using detail::MutexState;
using detail::SimThread;
using detail::World;

std::uint64_t PlaceOf(const World& world, const SimThread& thread) {
    const std::size_t kept = world.options.placeCalls;
    if (kept == 0) {
        return thread.place;
    }
    std::uint64_t place = thread.label;
    for (std::size_t n = thread.calls > kept ? thread.calls - kept : 0; n < thread.calls; ++n) {
        place = Fold(place, thread.recent[n % detail::kMostPlaceCalls]);
    }
    return place;
}

// The state behind a mutex's or an event's handle, which only the family's
// own members may name.
struct Handle : CSyncObject {
    static const void* Of(const CSyncObject& object) { return object.*(&Handle::m_hObject); }
};

}  // namespace

int OwnerOf(const void* mutex) {
    if (detail::gRun.world == nullptr || mutex == nullptr) {
        return -1;
    }
    const auto& state =
        *static_cast<const MutexState*>(Handle::Of(*static_cast<const CMutex*>(mutex)));
    return state.owner != nullptr ? state.owner->id : -1;
}

bool IsSet(const void* event) {
    return event == nullptr ||
           static_cast<const EventState*>(Handle::Of(*static_cast<const CEvent*>(event)))
               ->signalled;
}

int ThreadsStarted() {
    return detail::gRun.world != nullptr ? static_cast<int>(detail::gRun.world->threads.size()) : 0;
}

std::uint64_t StateHash() {
    const World* world = detail::gRun.world;
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

void AddToPlace(std::uint64_t label) {
    if (SimThread* self = detail::gRun.self; self != nullptr) {
        self->place = Fold(self->place, label);
        self->recent[self->calls++ % detail::kMostPlaceCalls] = label;
    }
}

void MarkPlace(std::uint64_t label) {
    if (SimThread* self = detail::gRun.self; self != nullptr) {
        self->label = self->place = label;
        self->calls = 0;
    }
}

Op PendingOp(int thread, const void** object) {
    const World* world = detail::gRun.world;
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

const char* OpName(Op op) {
    // A CEvent::Lock is drawn and reported as the wait it is.
    static constexpr const char* kNames[] = {"begin", "lock",  "unlock", "wait", "set",    "reset",
                                             "start", "sleep", "write",  "read", "access", "end"};
    static_assert(std::size(kNames) == kOps);
    return kNames[static_cast<int>(op)];
}

}  // namespace listpool::sim
