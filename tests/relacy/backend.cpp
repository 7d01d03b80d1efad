#include "tests/relacy/backend.h"

#include <cstddef>
#include <new>

#include "platform/sync.h"

namespace listpool {
namespace rlcheck {
namespace {

// Room for the words of the objects one iteration builds: a check builds at
// most a guard's two mutexes and two events, or a few objects of its own.
constexpr std::size_t kMostObjects = 8;

template <class Words>
class Places {
  public:
    void Clear() { used_ = 0; }
    Words* Build() {
        if (used_ == kMostObjects) {
            throw CResourceException();
        }
        return new (places_[used_++]) Words;
    }

  private:
    alignas(Words) unsigned char places_[kMostObjects][sizeof(Words)];
    std::size_t used_ = 0;
};

Places<MutexWords> mutexes;
Places<EventWords> events;
Primitives primitives;

MutexWords& MutexOf(void* handle) {
    return *static_cast<MutexWords*>(handle);
}
EventWords& EventOf(void* handle) {
    return *static_cast<EventWords*>(handle);
}

}  // namespace

void UsePrimitives(const Primitives& chosen) {
    primitives = chosen;
}

void BeginIteration() {
    mutexes.Clear();
    events.Clear();
}

}  // namespace rlcheck

CMutex::CMutex() {
    m_hObject = rlcheck::mutexes.Build();
}

bool CMutex::Lock() {
    rlcheck::primitives.mutex_lock(rlcheck::MutexOf(m_hObject));
    return true;
}

bool CMutex::Unlock() {
    rlcheck::primitives.mutex_unlock(rlcheck::MutexOf(m_hObject));
    return true;
}

CEvent::CEvent() {
    m_hObject = rlcheck::events.Build();
}

bool CEvent::Lock() {
    rlcheck::primitives.event_lock(rlcheck::EventOf(m_hObject));
    return true;
}

bool CEvent::SetEvent() {
    rlcheck::primitives.event_set(rlcheck::EventOf(m_hObject));
    return true;
}

bool CEvent::ResetEvent() {
    rlcheck::primitives.event_reset(rlcheck::EventOf(m_hObject));
    return true;
}

}  // namespace listpool
