// Watches the reader-writer guards of a simulated run: who holds which of
// their mutexes, and that no writer works while a reader is inside.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim.h"
#include "store/read_write_guard.h"

namespace listpool::sim {

// A thread's time inside a guard, or waiting at one of its objects.
struct Section {
    int thread;
    std::string guard;  // "pool", "list"
    bool write;
    std::uint64_t begin;
    std::uint64_t end;  // UINT64_MAX while still inside
};

struct Wait {
    int thread;
    std::string object;  // as NameOf names it
    std::uint64_t begin;
    std::uint64_t end;  // UINT64_MAX while still waiting
};

class GuardWatch final : public Observer {
  public:
    // Watches the guard under the given name ("pool", "list").
    void Add(const ReadWriteGuard& guard, std::string name);

    // The guard's objects by name ("list gate", "pool count mutex"), or "".
    std::string NameOf(const void* object) const;
    // The watched guards' names, in the order they were added.
    std::vector<std::string> GuardNames() const;
    // Every watched guard's objects and their names.
    std::map<const void*, std::string> Names() const;

    // A writer is inside a guard once it holds both of the guard's mutexes;
    // while readers are inside too, all it may do is give countMutex back
    // and wait for them again. Anything else it does is a violation.
    void OnNotice(const Notice& notice) override;

    // The first violation seen, or "" when there was none.
    const std::string& violation() const { return violation_; }

    // Sections in the order they began. A reader is inside from raising
    // readerCount to taking countMutex on its way out; a writer from taking
    // countMutex with no reader inside to giving it back.
    const std::vector<Section>& sections() const { return sections_; }
    // Waits at the watched guards' objects, in the order they began.
    const std::vector<Wait>& waits() const { return waits_; }

  private:
    struct Watched {
        const ReadWriteGuard* guard;
        std::string name;
    };

    void Track(const Notice& notice, const Watched& watched);
    // The index of the thread's open section in the guard, or sections_.size().
    std::size_t OpenSection(int thread, const std::string& guard) const;
    void BeginSection(Section section);
    void EndSection(std::size_t index, std::uint64_t time);

    std::vector<Watched> guards_;
    std::vector<Section> sections_;
    std::vector<Wait> waits_;
    // Indexes of what is still open, so that a long run does not search
    // its whole history at every step.
    std::map<std::pair<int, std::string>, std::size_t> openSections_;
    std::map<int, std::size_t> openWaits_;  // a thread waits at one object at most
    std::map<const void*, int> owners_;     // a held mutex and its owner
    std::string violation_;
};

}  // namespace listpool::sim
