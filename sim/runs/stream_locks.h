// Which mutexes are the output streams': each stream names its mutex by
// its file where the stream is made (Notice::stream); a mutex is shown as
// its file's lock from the first write made under it.
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
    std::map<int, const void*> holding_;  // the stream's mutex each thread holds
    std::map<const void*, std::string> files_;
};

}  // namespace listpool::sim
