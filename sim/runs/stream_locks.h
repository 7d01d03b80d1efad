// Which mutexes are the output streams': a stream writes holding its own
// mutex, the last one its thread took, so a mutex still held by the thread
// that took it last when that thread writes is the lock of the file written.
#pragma once

#include <map>
#include <string>

#include "platform/sim.h"

namespace listpool::sim {

class StreamLocks {
  public:
    // Told every notice that has taken effect (Notice::kDone), in order.
    void OnDone(const Notice& notice);
    // The file written holding the mutex ("stdout", a log's name), or
    // nullptr for a mutex no write was made under.
    const std::string* FileOf(const void* mutex) const;

  private:
    std::map<int, const void*> lastTaken_;  // by thread, while still held
    std::map<const void*, std::string> files_;
};

}  // namespace listpool::sim
