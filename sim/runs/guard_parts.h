// The one table of a guard's parts: the objects its sequences call on, as
// the code names them, as reports and pictures name them, and whether each
// is a mutex or an event. Every tool that watches, names, draws or shows a
// guard's objects reads it here, and names an object by its guard and its
// part, never by a string read back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/read_write_guard.h"

namespace listpool::sim {

struct GuardPart {
    const char* member;  // "countMutex", as ReadWriteGuard declares it
    const char* label;   // "count mutex", as reports and pictures name it
    bool mutex;          // a CMutex; else a CEvent
    // Its row in a picture of the guard's objects, from the top: the order
    // a writer meets them in.
    int row;
};

// ReadWriteGuard's parts, in the order it declares them; a Part indexes the
// table. Code that goes over a guard's parts goes over the whole table, so
// a guard with more parts only makes it longer.
enum Part : int { kCountMutex, kWriterMutex, kNoReadersEvent, kGateEvent };
inline constexpr GuardPart kGuardParts[] = {{"countMutex", "count mutex", true, 3},
                                            {"writerMutex", "writer mutex", true, 1},
                                            {"noReadersEvent", "no-readers event", false, 2},
                                            {"gateEvent", "gate", false, 0}};
inline constexpr int kPartCount = static_cast<int>(std::size(kGuardParts));

// A guard's object: the guard (its index among those watched) and the part.
struct GuardObject {
    int guard = -1;  // -1: no guard's
    int part = -1;

    bool known() const { return guard >= 0; }
    bool is(Part p) const { return known() && part == p; }
    friend bool operator==(const GuardObject&, const GuardObject&) = default;
    friend auto operator<=>(const GuardObject&, const GuardObject&) = default;
};

// "list gate": the guard's name and the part's label.
inline std::string ObjectLabel(const std::vector<std::string>& guards, GuardObject object) {
    return object.known() ? guards.at(static_cast<std::size_t>(object.guard)) + " " +
                                kGuardParts[object.part].label
                          : std::string();
}

// A guard's objects by part, from any guard with ReadWriteGuard's members
// (the program's, or one of the tests' variants of it).
template <typename Guard>
std::array<const void*, kPartCount> PartsOf(const Guard& guard) {
    static_assert(kPartCount == 4, "a part added to the table is added here too");
    return {guard.countMutex, guard.writerMutex, guard.noReadersEvent, guard.gateEvent};
}

// Where a guard's readerCount lies, to be read while every simulated
// thread is stopped, which the analysis cannot know.
template <typename Guard>
const std::int32_t* ReaderCountOf(const Guard& guard) NO_THREAD_SAFETY_ANALYSIS {
    return &guard.readerCount;
}

}  // namespace listpool::sim
