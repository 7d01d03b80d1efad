#include "sim/explore/guard_places.h"

namespace listpool::sim {
namespace {

// One of the guards' objects: its guard and that guard's name, and its
// index in kObjects.
struct GuardObject {
    const ReadWriteGuard* guard = nullptr;  // nullptr: no guard's
    const char* name = "";
    int n = -1;
};
GuardObject Find(const Program* program, const void* object) {
    if (program == nullptr || object == nullptr) {
        return {};
    }
    for (const GuardObject& in :
         {GuardObject{&program->pool.guard, "pool"}, GuardObject{&program->list.guard, "list"}}) {
        for (int n = 0; n < 4; ++n) {
            if (GuardPlaces::ObjectOf(*in.guard, n) == object) {
                return {in.guard, in.name, n};
            }
        }
    }
    return {};
}

// Where a call on object n takes a thread at `at`: each sequence is told by
// its first call (BeginRead waits at the gate, BeginWrite closes it;
// EndRead takes countMutex, EndWrite gives it back).
Sequence Entered(Sequence at, Op op, int n) {
    const bool count = n == 0, gate = n == 3;
    return at == kOut && gate && op == Op::kEventLock     ? kReaderArrives
           : at == kOut && gate && op == Op::kReset       ? kWriterArrives
           : at == kReading && count && op == Op::kLock   ? kReaderLeaves
           : at == kWriting && count && op == Op::kUnlock ? kWriterLeaves
                                                          : at;
}

// Where a thread is once a call of its sequence has taken effect: the last
// call of each ends it, and a writer is inside once it holds countMutex
// with no reader left (every thread is stopped, so readerCount can be read).
Sequence Left(Sequence at, Op op, int n, const ReadWriteGuard& guard) NO_THREAD_SAFETY_ANALYSIS {
    const bool count = n == 0, writer = n == 1;
    return at == kReaderArrives && count && op == Op::kUnlock                           ? kReading
           : at == kReaderLeaves && count && op == Op::kUnlock                          ? kOut
           : at == kWriterArrives && count && op == Op::kLock && guard.readerCount == 0 ? kWriting
           : at == kWriterLeaves && writer && op == Op::kUnlock                         ? kOut
                                                                                        : at;
}

const char* Call(Op op) {
    switch (op) {
        case Op::kLock:
        case Op::kEventLock:
            return "->Lock()";
        case Op::kUnlock:
            return "->Unlock()";
        case Op::kSet:
            return "->SetEvent()";
        case Op::kReset:
            return "->ResetEvent()";
        default:
            return "";
    }
}

}  // namespace

const char* const GuardPlaces::kObjects[4] = {"countMutex", "writerMutex", "noReadersEvent",
                                              "gateEvent"};

const void* GuardPlaces::ObjectOf(const ReadWriteGuard& guard, int n) {
    const void* const objects[] = {guard.countMutex, guard.writerMutex, guard.noReadersEvent,
                                   guard.gateEvent};
    return objects[n];
}

std::string GuardPlaces::NameOf(const Program* program, const void* object) {
    const GuardObject on = Find(program, object);
    return on.guard == nullptr ? std::string() : std::string(on.name) + " " + kObjects[on.n];
}

GuardPlaces::GuardPlaces(std::function<const Program*()> program) : program_(std::move(program)) {}

void GuardPlaces::OnNotice(const Notice& notice) {
    if (notice.thread == 0 && notice.op == Op::kBegin) {
        watch_.reset();
        places_.clear();
        writerMutexOwners_.clear();
    }
    const Program* program = program_();
    if (watch_ == nullptr && program != nullptr) {
        watch_ = std::make_unique<GuardWatch>();
        watch_->Add(program->pool.guard, "pool");
        watch_->Add(program->list.guard, "list");
    }
    if (watch_ != nullptr) {
        watch_->OnNotice(notice);
    }
    if (const GuardObject on = Find(program, notice.object);
        notice.phase == Notice::kDone && on.guard != nullptr) {
        Sequence& at = places_[{notice.thread, on.guard}];
        at = Left(Entered(at, notice.op, on.n), notice.op, on.n, *on.guard);
        if (on.n == 1 && notice.op == Op::kLock) {
            writerMutexOwners_[notice.object] = notice.thread;
        } else if (on.n == 1 && notice.op == Op::kUnlock) {
            writerMutexOwners_.erase(notice.object);
        }
    }
}

GuardCall GuardPlaces::Next(int thread) const {
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    const GuardObject on = Find(program_(), object);
    if (on.guard == nullptr) {
        return {};
    }
    const auto place = places_.find({thread, on.guard});
    const auto owner = writerMutexOwners_.find(ObjectOf(*on.guard, 1));
    return {Entered(place == places_.end() ? kOut : place->second, op, on.n), on.name,
            std::string(kObjects[on.n]) + Call(op),
            owner != writerMutexOwners_.end() && owner->second == thread};
}

std::string GuardPlaces::Why(int thread) const {
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    const GuardObject on = Find(program_(), object);
    if (on.guard == nullptr) {
        return "";
    }
    const GuardCall next = Next(thread);
    return WhatGuardMdSays(next.in, op, kObjects[on.n], next.holdsWriterMutex);
}

std::string GuardPlaces::Of(int thread) const {
    std::string inside;
    for (const Section& s : watch_ != nullptr ? watch_->sections() : none_) {
        if (s.thread == thread && s.end == UINT64_MAX) {
            inside += (inside.empty() ? "" : ", ") + std::string(s.write ? "writes" : "reads") +
                      " the " + s.guard;
        }
    }
    return inside;
}

}  // namespace listpool::sim
