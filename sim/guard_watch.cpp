#include "sim/guard_watch.h"

namespace listpool::sim {

void GuardWatch::Add(const ReadWriteGuard& guard, std::string name) {
    guards_.push_back({&guard, std::move(name)});
}

std::string GuardWatch::NameOf(const void* object) const {
    for (const Watched& watched : guards_) {
        const ReadWriteGuard& guard = *watched.guard;
        const std::pair<const void*, const char*> parts[] = {
            {guard.countMutex, " count mutex"},
            {guard.writerMutex, " writer mutex"},
            {guard.noReadersEvent, " no-readers event"},
            {guard.gateEvent, " gate"}};
        for (const auto& [part, suffix] : parts) {
            if (part == object) {
                return watched.name + suffix;
            }
        }
    }
    return {};
}

// Reads readerCount while the program is stopped; the analysis cannot know
// that the scheduler's lock orders this read after every change.
static std::int32_t ReadersInside(const ReadWriteGuard& guard) NO_THREAD_SAFETY_ANALYSIS {
    return guard.readerCount;
}

void GuardWatch::OnEvent(const Event& event) {
    if (event.phase == Event::kDone) {
        if (event.op == Op::kLock) {
            owners_[event.object] = event.thread;
        } else if (event.op == Op::kUnlock) {
            owners_.erase(event.object);
        }
        return;
    }
    auto holds = [&](const void* mutex) {
        const auto found = owners_.find(mutex);
        return found != owners_.end() && found->second == event.thread;
    };
    for (const Watched& watched : guards_) {
        const ReadWriteGuard& guard = *watched.guard;
        if (!violation_.empty() || !holds(guard.countMutex) || !holds(guard.writerMutex) ||
            ReadersInside(guard) == 0) {
            continue;
        }
        if (event.op == Op::kUnlock && event.object == guard.countMutex) {
            continue;
        }
        violation_ = "at " + std::to_string(event.timeMs) + " ms thread " +
                     std::to_string(event.thread) + " is inside the " + watched.name +
                     "'s write section with " + std::to_string(ReadersInside(guard)) +
                     " reader(s) inside, and goes on to " + OpName(event.op) + "\n";
    }
}

}  // namespace listpool::sim
