#include "platform/sim/snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <type_traits>

#include "platform/sim/arena.h"
#include "platform/sim/world.h"

namespace listpool::sim {
using detail::SimThread;

// Its bytes are copied as they are.
static_assert(std::is_trivially_copyable_v<detail::Globals>);

namespace {
RewindableRun* gRewinding = nullptr;

constexpr std::size_t kPieceSize = 1024;

// WebAssembly's memcpy hands a copy of 512 bytes or more to JavaScript, a
// call that costs more than a piece's copy: a whole piece is copied inline.
void CopyPiece(char* to, const char* from, std::size_t size) {
#if defined(__EMSCRIPTEN__)
    if (size == kPieceSize) {
        __builtin_memcpy_inline(to, from, kPieceSize);
        return;
    }
#endif
    std::memcpy(to, from, size);
}

// Whether two pieces hold the same bytes. Most do, so the whole piece is
// read without an early way out, a loop that compilers make vector
// instructions of (WebAssembly's memcmp goes byte by byte).
bool Same(const char* left, const char* right, std::size_t size) {
    std::uint64_t differ = 0;
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= size; at += sizeof(std::uint64_t)) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, left + at, sizeof a);
        std::memcpy(&b, right + at, sizeof b);
        differ |= a ^ b;
    }
    return differ == 0 && std::memcmp(left + at, right + at, size - at) == 0;
}

}  // namespace

struct Snapshot::Piece {
    static constexpr std::size_t kSize = kPieceSize;
    std::size_t uses = 1;
    char bytes[kSize];
};

Snapshot::~Snapshot() {
    Release();
}

std::vector<Snapshot::Piece*>& Snapshot::SparePieces() {
    static std::vector<Piece*> spare;
    return spare;
}

Snapshot::Piece* Snapshot::NewPiece() {
    std::vector<Piece*>& spare = SparePieces();
    if (spare.empty()) {
        return new Piece;
    }
    Piece* piece = spare.back();
    spare.pop_back();
    piece->uses = 1;
    return piece;
}

void Snapshot::DropPiece(Piece* piece) {
    std::vector<Piece*>& spare = SparePieces();
    // At most 4 MB of pieces wait for reuse; the rest go back to the heap.
    if (spare.size() < 4096) {
        spare.push_back(piece);
    } else {
        delete piece;
    }
}

void Snapshot::Release() {
    for (Piece* piece : pieces_) {
        if (--piece->uses == 0) {
            DropPiece(piece);
        }
    }
    pieces_.clear();
    fresh_ = 0;
}

void RewindableRun::Copy(std::vector<Region> chunks, Snapshot& into, const Snapshot* like) {
    using Piece = Snapshot::Piece;
    into.Release();
    std::size_t likeAt = 0;  // where like's pieces of the chunk begin
    for (std::size_t n = 0; n < chunks.size(); ++n) {
        const Region& chunk = chunks[n];
        const bool comparable =
            like != nullptr && n < like->chunks_.size() && like->chunks_[n].start == chunk.start;
        const auto* bytes = static_cast<const char*>(chunk.start);
        for (std::size_t at = 0; at < chunk.size; at += Piece::kSize) {
            const std::size_t size = std::min(Piece::kSize, chunk.size - at);
            if (comparable && at + size <= like->chunks_[n].size) {
                Piece* same = like->pieces_[likeAt + at / Piece::kSize];
                if (Same(same->bytes, bytes + at, size)) {
                    ++same->uses;
                    into.pieces_.push_back(same);
                    continue;
                }
            }
            Piece* piece = Snapshot::NewPiece();
            CopyPiece(piece->bytes, bytes + at, size);
            into.pieces_.push_back(piece);
            into.fresh_ += sizeof(Piece);
        }
        // Beyond like's chunks, or once their layout differs, nothing is compared.
        if (like != nullptr && n < like->chunks_.size()) {
            likeAt += (like->chunks_[n].size + Piece::kSize - 1) / Piece::kSize;
        }
    }
    into.chunks_ = std::move(chunks);
}

void RewindableRun::Put(const Snapshot& from) {
    auto piece = from.pieces_.begin();
    for (const Region& chunk : from.chunks_) {
        auto* bytes = static_cast<char*>(chunk.start);
        for (std::size_t at = 0; at < chunk.size; at += Snapshot::Piece::kSize) {
            CopyPiece(bytes + at, (*piece++)->bytes, std::min(kPieceSize, chunk.size - at));
        }
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
    Copy(regions_, before_, nullptr);
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
    detail::gRun.world = nullptr;
    detail::gRun.self = nullptr;
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
    SimThread* self = detail::gRun.self;
    resumeAt_ = self;
    self->fiber->SwitchTo(caller_);
}

void RewindableRun::Save(Snapshot& into, const Snapshot* like) const {
    std::vector<Region> chunks;
    chunks.push_back({arena::Start(), arena::Used()});
    chunks.push_back({&detail::gRun, sizeof detail::gRun});
    chunks.insert(chunks.end(), regions_.begin(), regions_.end());
    const detail::World& world = *detail::gRun.world;
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
    Copy(std::move(chunks), into, like);
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
