#include "sim/runs/guard_watch.h"

namespace listpool::sim {

GuardObject GuardWatch::ObjectOf(const void* object) const {
    if (object == nullptr) {
        return {};
    }
    for (std::size_t g = 0; g < guards_.size(); ++g) {
        for (int part = 0; part < kPartCount; ++part) {
            if (guards_[g].objects[static_cast<std::size_t>(part)] == object) {
                return {static_cast<int>(g), part};
            }
        }
    }
    return {};
}

const void* GuardWatch::Object(GuardObject object) const {
    return object.known() ? guards_.at(static_cast<std::size_t>(object.guard))
                                .objects.at(static_cast<std::size_t>(object.part))
                          : nullptr;
}

std::string GuardWatch::NameOf(const void* object) const {
    const GuardObject on = ObjectOf(object);
    return on.known()
               ? guards_[static_cast<std::size_t>(on.guard)].name + " " + kGuardParts[on.part].label
               : std::string();
}

std::vector<std::string> GuardWatch::GuardNames() const {
    std::vector<std::string> names;
    for (const Watched& watched : guards_) {
        names.push_back(watched.name);
    }
    return names;
}

std::map<const void*, GuardObject> GuardWatch::Objects() const {
    std::map<const void*, GuardObject> objects;
    for (std::size_t g = 0; g < guards_.size(); ++g) {
        for (int part = 0; part < kPartCount; ++part) {
            objects[guards_[g].objects[static_cast<std::size_t>(part)]] = {static_cast<int>(g),
                                                                           part};
        }
    }
    return objects;
}

void GuardWatch::BeginSection(int guard, Section section) {
    openSections_[{section.thread, guard}] = sections_.size();
    sections_.push_back(std::move(section));
}

void GuardWatch::EndSection(int thread, int guard, std::uint64_t time) {
    const auto open = openSections_.find({thread, guard});
    if (open != openSections_.end()) {
        sections_[open->second].end = time;
        openSections_.erase(open);
    }
}

void GuardWatch::Track(const Notice& notice, GuardObject on) {
    Watched& watched = guards_[static_cast<std::size_t>(on.guard)];
    const SequenceTracker::Move move =
        watched.sequences.Done(notice.thread, notice.op, on.part, *watched.readers);
    if (move.readerIn) {
        BeginSection(on.guard, {notice.thread, watched.name, false, notice.time, UINT64_MAX});
    } else if (move.from == kReading && move.to == kReaderLeaves) {
        EndSection(notice.thread, on.guard, notice.time);
    } else if (move.from == kWriterArrives && move.to == kWriting) {
        BeginSection(on.guard, {notice.thread, watched.name, true, notice.time, UINT64_MAX});
    } else if (move.from == kWriting && move.to == kWriterLeaves) {
        EndSection(notice.thread, on.guard, notice.time);
    }
}

void GuardWatch::OnNotice(const Notice& notice) {
    if (notice.phase == Notice::kDone) {
        if (const GuardObject on = ObjectOf(notice.object); on.known()) {
            Track(notice, on);
        }
        if (const auto open = openWaits_.find(notice.thread); open != openWaits_.end()) {
            waits_[open->second].end = notice.time;
            openWaits_.erase(open);
        }
        return;
    }
    if (notice.blocked && notice.object != nullptr) {
        if (const GuardObject on = ObjectOf(notice.object); on.known()) {
            openWaits_[notice.thread] = waits_.size();
            waits_.push_back({notice.thread, on, notice.time, UINT64_MAX});
        }
    }
    for (const Watched& watched : guards_) {
        if (!violation_.empty() || *watched.readers == 0 ||
            OwnerOf(watched.objects[kCountMutex]) != notice.thread ||
            OwnerOf(watched.objects[kWriterMutex]) != notice.thread) {
            continue;
        }
        if (notice.op == Op::kUnlock && notice.object == watched.objects[kCountMutex]) {
            continue;
        }
        violation_ = "at " + std::to_string(notice.time) + " ms thread " +
                     std::to_string(notice.thread) + " is inside the " + watched.name +
                     "'s write section with " + std::to_string(*watched.readers) +
                     " reader(s) inside, and goes on to " + OpName(notice.op) + "\n";
    }
}

}  // namespace listpool::sim
