#include "sim/runs/guard_watch.h"

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

void GuardWatch::EndSection(std::size_t index, std::uint64_t time) {
    Section& section = sections_[index];
    section.end = time;
    openSections_.erase({section.thread, section.guard});
}

void GuardWatch::Track(const Notice& notice, const Watched& watched) {
    const ReadWriteGuard& guard = *watched.guard;
    const std::size_t open = OpenSection(notice.thread, watched.name);
    if (notice.op == Op::kReset && notice.object == guard.noReadersEvent) {
        BeginSection({notice.thread, watched.name, false, notice.time, UINT64_MAX});
    } else if (notice.op == Op::kLock && notice.object == guard.countMutex) {
        if (open != sections_.size()) {
            EndSection(open, notice.time);  // a reader on its way out
        } else if (owners_.count(guard.writerMutex) != 0 &&
                   owners_.at(guard.writerMutex) == notice.thread && ReadersInside(guard) == 0) {
            BeginSection({notice.thread, watched.name, true, notice.time, UINT64_MAX});
        }
    } else if (notice.op == Op::kUnlock && notice.object == guard.countMutex &&
               open != sections_.size() && sections_[open].write) {
        EndSection(open, notice.time);
    }
}

void GuardWatch::OnNotice(const Notice& notice) {
    if (notice.phase == Notice::kDone) {
        if (notice.op == Op::kLock) {
            owners_[notice.object] = notice.thread;
        } else if (notice.op == Op::kUnlock) {
            owners_.erase(notice.object);
        }
        for (const Watched& watched : guards_) {
            Track(notice, watched);
        }
        if (const auto open = openWaits_.find(notice.thread); open != openWaits_.end()) {
            waits_[open->second].end = notice.time;
            openWaits_.erase(open);
        }
        return;
    }
    if (notice.blocked && notice.object != nullptr) {
        const std::string name = NameOf(notice.object);
        if (!name.empty()) {
            openWaits_[notice.thread] = waits_.size();
            waits_.push_back({notice.thread, name, notice.time, UINT64_MAX});
        }
    }
    auto holds = [&](const void* mutex) {
        const auto found = owners_.find(mutex);
        return found != owners_.end() && found->second == notice.thread;
    };
    for (const Watched& watched : guards_) {
        const ReadWriteGuard& guard = *watched.guard;
        if (!violation_.empty() || !holds(guard.countMutex) || !holds(guard.writerMutex) ||
            ReadersInside(guard) == 0) {
            continue;
        }
        if (notice.op == Op::kUnlock && notice.object == guard.countMutex) {
            continue;
        }
        violation_ = "at " + std::to_string(notice.time) + " ms thread " +
                     std::to_string(notice.thread) + " is inside the " + watched.name +
                     "'s write section with " + std::to_string(ReadersInside(guard)) +
                     " reader(s) inside, and goes on to " + OpName(notice.op) + "\n";
    }
}

}  // namespace listpool::sim
