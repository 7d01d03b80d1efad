#include "sim/explore/guard_places.h"

#include "sim/guards/session_guard.h"

namespace listpool::sim {
namespace {

// The program's guards, in the order the guard watch is given them.
constexpr const char* kGuards[] = {"pool", "list"};

const ReadWriteGuard& GuardOf(const Program& program, int guard) {
    return guard == 0 ? program.pool.guard : program.list.guard;
}

// Which of the program's guards' objects `object` is, if any.
GuardObject Find(const Program* program, const void* object) {
    if (program == nullptr || object == nullptr) {
        return {};
    }
    for (int guard = 0; guard < static_cast<int>(std::size(kGuards)); ++guard) {
        const auto parts = PartsOf(GuardOf(*program, guard));
        for (int part = 0; part < kPartCount; ++part) {
            if (parts[static_cast<std::size_t>(part)] == object) {
                return {guard, part};
            }
        }
    }
    return {};
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

const void* GuardPlaces::ObjectOf(const Program* program, GuardObject object) {
    return program == nullptr || !object.known()
               ? nullptr
               : PartsOf(GuardOf(*program, object.guard))[static_cast<std::size_t>(object.part)];
}

std::string GuardPlaces::NameOf(const Program* program, const void* object) {
    const GuardObject on = Find(program, object);
    return on.known() ? std::string(kGuards[on.guard]) + " " + kGuardParts[on.part].member
                      : std::string();
}

GuardPlaces::GuardPlaces(std::function<const Program*()> program) : program_(std::move(program)) {}

void GuardPlaces::OnRunStart() {
    watch_.reset();
}

void GuardPlaces::OnNotice(const Notice& notice) {
    const Program* program = program_();
    if (watch_ == nullptr && program != nullptr) {
        watch_ = std::make_unique<GuardWatch>();
        for (int guard = 0; guard < static_cast<int>(std::size(kGuards)); ++guard) {
            watch_->Add(GuardOf(*program, guard), kGuards[guard]);
        }
    }
    if (watch_ != nullptr) {
        watch_->OnNotice(notice);
    }
}

GuardCall GuardPlaces::Next(int thread) const {
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    const Program* program = program_();
    if (guards::TextInUse() != nullptr && program != nullptr) {
        for (int guard = 0; guard < static_cast<int>(std::size(kGuards)); ++guard) {
            if (const int line = guards::TextGuardLine(GuardOf(*program, guard), thread)) {
                GuardCall call;
                call.guard = kGuards[guard];
                call.line = line;
                return call;
            }
        }
        return {};
    }
    const GuardObject on = Find(program, object);
    if (!on.known()) {
        return {};
    }
    const void* writerMutex = ObjectOf(program, {on.guard, kWriterMutex});
    return {watch_ != nullptr ? watch_->Sequences(on.guard).Entering(thread, op, on.part) : kOut,
            kGuards[on.guard], std::string(kGuardParts[on.part].member) + Call(op),
            OwnerOf(writerMutex) == thread};
}

std::string GuardPlaces::Why(int thread) const {
    if (guards::TextInUse() != nullptr) {
        return "";  // GUARD.md speaks of the real guard's calls
    }
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    const GuardObject on = Find(program_(), object);
    if (!on.known()) {
        return "";
    }
    const GuardCall next = Next(thread);
    return WhatGuardMdSays(next.in, op, kGuardParts[on.part].member, next.holdsWriterMutex);
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
