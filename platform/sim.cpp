// The simulation back end of the platform layer: the program's threads run
// one at a time under a scheduler, in virtual time. See platform/sim.h; the
// simulator itself is in platform/sim/.
#include "platform/sim.h"

#include <algorithm>
#include <cstdlib>

#include "platform/io.h"
#include "platform/sim/run.h"
#include "platform/sim/world.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace listpool {
namespace {

using sim::Op;
namespace detail = sim::detail;

// Makes one platform call on the calling simulated thread. Outside a run the
// call takes effect at once, which is enough for objects made before it.
template <typename Prepare>
detail::SimThread* Call(Op op, const void* object, void* state, Prepare prepare) {
    detail::SimThread* self = detail::gRun.self;
    detail::World* world = detail::WorldOf(self);
    if (world == nullptr) {
        return nullptr;
    }
    self->op = op;
    self->object = object;
    self->state = state;
    if (op == Op::kEventLock || op == Op::kSet || op == Op::kReset) {
        detail::List(*world, static_cast<detail::EventState*>(state));
    } else if (op == Op::kLock || op == Op::kUnlock) {
        detail::List(*world, static_cast<detail::MutexState*>(state));
    }
    prepare(*world, *self);
    detail::Step(*world, *self);
    return self;
}

void NoPreparation(detail::World&, detail::SimThread&) {}

// A call with nothing to hand over or back.
bool Plain(Op op, const void* object, void* state) {
    Call(op, object, state, NoPreparation);
    return true;
}

// A mutex's or an event's state, listed among the run's when made in one.
template <typename State>
State* NewState() {
    auto* state = new State;
    if (detail::gRun.world != nullptr) {
        detail::List(*detail::gRun.world, state);
    }
    return state;
}

}  // namespace

CMutex::CMutex() {
    m_hObject = NewState<detail::MutexState>();
}

void CMutex::NameForWrites(int fd) {
    static_cast<detail::MutexState*>(m_hObject)->writesTo = fd;
}

bool CMutex::Lock() {
    return Plain(Op::kLock, this, m_hObject);
}

bool CMutex::Unlock() {
    return Plain(Op::kUnlock, this, m_hObject);
}

CEvent::CEvent() {
    m_hObject = NewState<detail::EventState>();
}

bool CEvent::Lock() {
    return Plain(Op::kEventLock, this, m_hObject);
}

bool CEvent::SetEvent() {
    if (Call(Op::kSet, this, m_hObject, NoPreparation) == nullptr) {
        static_cast<detail::EventState*>(m_hObject)->signalled = true;
    }
    return true;
}

bool CEvent::ResetEvent() {
    if (Call(Op::kReset, this, m_hObject, NoPreparation) == nullptr) {
        static_cast<detail::EventState*>(m_hObject)->signalled = false;
    }
    return true;
}

bool StartThread(ThreadProc proc, void* argument, const char* name) {
    detail::SimThread* self =
        Call(Op::kStartThread, nullptr, nullptr, [&](detail::World&, detail::SimThread& t) {
            t.proc = proc;
            t.argument = argument;
            t.startName = name;
        });
    return self != nullptr && self->started;
}

void SleepMs(std::uint32_t milliseconds) {
    Call(Op::kSleep, nullptr, nullptr, [&](detail::World& world, detail::SimThread& t) {
        t.wakeAtMs = world.nowMs + milliseconds;
    });
}

int OpenLogFile(const char* name) {
    detail::World* world = detail::WorldOf(detail::gRun.self);
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
    Call(Op::kWrite, nullptr, nullptr, [&](detail::World&, detail::SimThread& t) {
        t.fd = fd;
        t.data = const_cast<char*>(data);
        t.size = size;
    });
}

std::size_t ReadSome(int fd, char* data, std::size_t size) {
    detail::SimThread* self =
        Call(Op::kRead, nullptr, nullptr, [&](detail::World&, detail::SimThread& t) {
            t.fd = fd;
            t.data = data;
            t.size = size;
        });
    return self != nullptr ? self->got : 0;
}

namespace sim {

void Access(const void* object) {
    Plain(Op::kAccess, object, nullptr);
}

}  // namespace sim

void ExitProcess(int status) {
    detail::World* world = detail::WorldOf(detail::gRun.self);
    if (world == nullptr) {
        std::_Exit(status);
    }
    if (!world->over) {
        detail::Finish(*world, sim::Ending::kExited);
        world->outcome.exitStatus = status;
    }
    throw detail::Abandoned();
}

// A simulated thread's uncaught exception ends its run as a failure instead.
void InstallAbnormalTermination() {}

}  // namespace listpool
