// Watches the reader-writer guards of a simulated run: where each thread
// stands in their sequences, who is inside, who waits at which of their
// objects, and that no writer works while a reader is inside.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim.h"
#include "sim/runs/guard_parts.h"
#include "sim/runs/guard_sequences.h"

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
    GuardObject object;
    std::uint64_t begin;
    std::uint64_t end;  // UINT64_MAX while still waiting
};

class GuardWatch final : public Observer {
  public:
    // Watches the guard under the given name ("pool", "list"): any guard
    // with ReadWriteGuard's members.
    template <typename Guard>
    void Add(const Guard& guard, std::string name) {
        guards_.push_back({std::move(name), PartsOf(guard), ReaderCountOf(guard), {}});
    }

    // The watched guard's object, or an unknown one.
    GuardObject ObjectOf(const void* object) const;
    // The object a watched guard's part is.
    const void* Object(GuardObject object) const;
    // The guard's objects by name ("list gate", "pool count mutex"), or "".
    std::string NameOf(const void* object) const;
    // The watched guards' names, in the order they were added.
    std::vector<std::string> GuardNames() const;
    // Every watched guard's objects.
    std::map<const void*, GuardObject> Objects() const;
    // Where each thread stands in the guard's sequences.
    const SequenceTracker& Sequences(int guard) const {
        return guards_.at(static_cast<std::size_t>(guard)).sequences;
    }

    // A writer is inside a guard once it holds both of the guard's mutexes;
    // while readers are inside too, all it may do is give countMutex back
    // and wait for them again. Anything else it does is a violation.
    void OnNotice(const Notice& notice) override;

    // The first violation seen, or "" when there was none.
    const std::string& violation() const { return violation_; }

    // Sections in the order they began (SequenceTracker says when a thread
    // is inside).
    const std::vector<Section>& sections() const { return sections_; }
    // Waits at the watched guards' objects, in the order they began.
    const std::vector<Wait>& waits() const { return waits_; }

  private:
    struct Watched {
        std::string name;
        std::array<const void*, kPartCount> objects;
        const std::int32_t* readers;
        SequenceTracker sequences;
    };

    void Track(const Notice& notice, GuardObject on);
    void BeginSection(int guard, Section section);
    void EndSection(int thread, int guard, std::uint64_t time);

    std::vector<Watched> guards_;
    std::vector<Section> sections_;
    std::vector<Wait> waits_;
    // Indexes of what is still open, so that a long run does not search
    // its whole history at every step.
    std::map<std::pair<int, int>, std::size_t> openSections_;  // by thread and guard
    std::map<int, std::size_t> openWaits_;  // a thread waits at one object at most
    std::string violation_;
};

}  // namespace listpool::sim
