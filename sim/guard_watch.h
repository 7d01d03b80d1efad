// Watches the reader-writer guards of a simulated run: who holds which of
// their mutexes, and that no writer works while a reader is inside.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sim.h"
#include "store/read_write_guard.h"

namespace listpool::sim {

class GuardWatch final : public Observer {
  public:
    // Watches the guard under the given name ("pool", "list").
    void Add(const ReadWriteGuard& guard, std::string name);

    // The guard's objects by name ("list gate", "pool count mutex"), or "".
    std::string NameOf(const void* object) const;

    // A writer is inside a guard once it holds both of the guard's mutexes;
    // while readers are inside too, all it may do is give countMutex back
    // and wait for them again. Anything else it does is a violation.
    void OnEvent(const Event& event) override;

    // The first violation seen, or "" when there was none.
    const std::string& violation() const { return violation_; }

  private:
    struct Watched {
        const ReadWriteGuard* guard;
        std::string name;
    };

    std::vector<Watched> guards_;
    std::map<const void*, int> owners_;  // a held mutex and its owner
    std::string violation_;
};

}  // namespace listpool::sim
