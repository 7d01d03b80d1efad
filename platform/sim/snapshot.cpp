#include "platform/sim/snapshot.h"

#include <cstdlib>
#include <cstring>
#include <span>

#include "platform/sim/arena.h"
#include "platform/sim/world.h"

namespace listpool::sim {
using detail::gWorld;
using detail::SimThread;

namespace {
RewindableRun* gRewinding = nullptr;
}  // namespace

void RewindableRun::Copy(const std::vector<Region>& chunks, Snapshot& into) {
    std::size_t total = 0;
    for (const Region& chunk : chunks) {
        total += chunk.size;
    }
    if (into.capacity_ < total) {
        into.data_.reset(new char[total]);
        into.capacity_ = total;
    }
    into.size_ = total;
    into.chunks_ = chunks;
    char* out = into.data_.get();
    for (const Region& chunk : chunks) {
        std::memcpy(out, chunk.start, chunk.size);
        out += chunk.size;
    }
}

void RewindableRun::Put(const Snapshot& from) {
    const char* in = from.data_.get();
    for (const auto& chunk : from.chunks_) {
        std::memcpy(chunk.start, in, chunk.size);
        in += chunk.size;
    }
}

void RewindableRun::BeforeOutsideChange(void* state, std::size_t size) {
    const arena::Use system(arena::Target::kSystem);
    auto* bytes = static_cast<char*>(state);
    gRewinding->outside_.push_back({bytes, std::vector<char>(bytes, bytes + size)});
}

bool RewindableRun::Possible() {
    // Fixed by the build: asked once, of a fiber that never runs.
    static const bool possible = [] {
        const Fiber probe([](void*) {}, nullptr, 0);
        return arena::Installed() && probe.StoppedAt() != nullptr;
    }();
    return possible;
}

RewindableRun::RewindableRun(std::function<void()> play, std::vector<Region> regions)
    : play_(std::move(play)), regions_(std::move(regions)) {
    Copy(regions_, before_);
    arena::Reset(arena::Mode::kReuse);
    fiber_ = std::make_unique<Fiber>(Play, this, 0);
    gRewinding = this;
    detail::gBeforeOutsideChange = BeforeOutsideChange;
}

RewindableRun::~RewindableRun() {
    Put(before_);
    for (const Outside& state : outside_) {
        std::memcpy(state.at, state.before.data(), state.before.size());
    }
    detail::gBeforeOutsideChange = nullptr;
    gRewinding = nullptr;
    detail::gWorld = nullptr;
    detail::tSelf = nullptr;
    arena::Reset(arena::Mode::kBump);
}

void RewindableRun::Play(void* self) {
    auto& run = *static_cast<RewindableRun*>(self);
    {
        const arena::Use region(arena::Target::kRegion);
        run.play_();
    }
    run.ended_ = true;
    run.fiber_->SwitchTo(run.caller_, true);
    std::abort();  // an ended play is never resumed
}

bool RewindableRun::Resume() {
    if (ended_) {
        return false;
    }
    Fiber* to =
        resumeAt_ != nullptr ? static_cast<SimThread*>(resumeAt_)->fiber.get() : fiber_.get();
    {
        const arena::Use region(arena::Target::kRegion);
        caller_.SwitchTo(*to);
    }
    return !ended_;
}

void RewindableRun::Yield() {
    SimThread* self = detail::tSelf;
    resumeAt_ = self;
    self->fiber->SwitchTo(caller_);
}

void RewindableRun::Save(Snapshot& into) const {
    std::vector<Region> chunks;
    chunks.push_back({arena::Start(), arena::Used()});
    chunks.push_back({&detail::gWorld, sizeof detail::gWorld});
    chunks.push_back({&detail::tSelf, sizeof detail::tSelf});
    chunks.push_back({&detail::gObjectsMade, sizeof detail::gObjectsMade});
    chunks.push_back({&detail::gRuns, sizeof detail::gRuns});
    chunks.insert(chunks.end(), regions_.begin(), regions_.end());
    const detail::World& world = *gWorld;
    const char* playTop = fiber_->StackTop();
    auto unwound = [&chunks](const Fiber& fiber) {
        if (const std::span<const char> calls = fiber.UnwoundCalls(); !calls.empty()) {
            chunks.push_back({const_cast<char*>(calls.data()), calls.size()});
        }
    };
    chunks.push_back({const_cast<char*>(world.controller.StoppedAt()),
                      static_cast<std::size_t>(playTop - world.controller.StoppedAt())});
    unwound(world.controller);
    auto stack = [&chunks, &unwound](const SimThread& thread) {
        const char* at = thread.fiber->StoppedAt();
        chunks.push_back(
            {const_cast<char*>(at), static_cast<std::size_t>(thread.fiber->StackTop() - at)});
        unwound(*thread.fiber);
    };
    for (const SimThread* thread : world.alive) {
        stack(*thread);
    }
    // A thread that yielded as it ended is no longer alive, yet goes on.
    if (const auto* self = static_cast<const SimThread*>(resumeAt_); self->ended) {
        stack(*self);
    }
    for (const Outside& state : outside_) {
        chunks.push_back({state.at, state.before.size()});
    }
    Copy(chunks, into);
    into.yielded_ = resumeAt_;
    into.outside_ = outside_.size();
}

void RewindableRun::Restore(const Snapshot& from) {
    Put(from);
    // States that the run first changed after the copy go back to how they
    // were before it.
    for (std::size_t n = from.outside_; n < outside_.size(); ++n) {
        std::memcpy(outside_[n].at, outside_[n].before.data(), outside_[n].before.size());
    }
    resumeAt_ = from.yielded_;
    ended_ = false;
}

}  // namespace listpool::sim
