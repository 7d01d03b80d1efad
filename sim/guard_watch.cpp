#include "sim/guard_watch.h"

namespace listpool::sim {
namespace {

// Reads readerCount while the program is stopped; the analysis cannot know
// that the scheduler's lock orders this read after every change.
std::int32_t ReadersInside(const ReadWriteGuard& guard) NO_THREAD_SAFETY_ANALYSIS {
    return guard.readerCount;
}

}  // namespace

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

std::vector<std::string> GuardWatch::GuardNames() const {
    std::vector<std::string> names;
    for (const Watched& watched : guards_) {
        names.push_back(watched.name);
    }
    return names;
}

std::map<const void*, std::string> GuardWatch::Names() const {
    std::map<const void*, std::string> names;
    for (const Watched& watched : guards_) {
        const ReadWriteGuard& guard = *watched.guard;
        for (const void* part : {static_cast<const void*>(guard.countMutex),
                                 static_cast<const void*>(guard.writerMutex),
                                 static_cast<const void*>(guard.noReadersEvent),
                                 static_cast<const void*>(guard.gateEvent)}) {
            names[part] = NameOf(part);
        }
    }
    return names;
}

std::size_t GuardWatch::OpenSection(int thread, const std::string& guard) const {
    const auto found = openSections_.find({thread, guard});
    return found == openSections_.end() ? sections_.size() : found->second;
}

void GuardWatch::BeginSection(Section section) {
    openSections_[{section.thread, section.guard}] = sections_.size();
    sections_.push_back(std::move(section));
}

void GuardWatch::EndSection(std::size_t index, std::uint64_t timeMs) {
    Section& section = sections_[index];
    section.endMs = timeMs;
    openSections_.erase({section.thread, section.guard});
}

void GuardWatch::Track(const Event& event, const Watched& watched) {
    const ReadWriteGuard& guard = *watched.guard;
    const std::size_t open = OpenSection(event.thread, watched.name);
    if (event.op == Op::kReset && event.object == guard.noReadersEvent) {
        BeginSection({event.thread, watched.name, false, event.timeMs, UINT64_MAX});
    } else if (event.op == Op::kLock && event.object == guard.countMutex) {
        if (open != sections_.size()) {
            EndSection(open, event.timeMs);  // a reader on its way out
        } else if (owners_.count(guard.writerMutex) != 0 &&
                   owners_.at(guard.writerMutex) == event.thread && ReadersInside(guard) == 0) {
            BeginSection({event.thread, watched.name, true, event.timeMs, UINT64_MAX});
        }
    } else if (event.op == Op::kUnlock && event.object == guard.countMutex &&
               open != sections_.size() && sections_[open].write) {
        EndSection(open, event.timeMs);
    }
}

void GuardWatch::OnEvent(const Event& event) {
    if (event.phase == Event::kDone) {
        if (event.op == Op::kLock) {
            owners_[event.object] = event.thread;
        } else if (event.op == Op::kUnlock) {
            owners_.erase(event.object);
        }
        for (const Watched& watched : guards_) {
            Track(event, watched);
        }
        if (const auto open = openWaits_.find(event.thread); open != openWaits_.end()) {
            waits_[open->second].endMs = event.timeMs;
            openWaits_.erase(open);
        }
        return;
    }
    if (event.waits && event.object != nullptr) {
        const std::string name = NameOf(event.object);
        if (!name.empty()) {
            openWaits_[event.thread] = waits_.size();
            waits_.push_back({event.thread, name, event.timeMs, UINT64_MAX});
        }
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
