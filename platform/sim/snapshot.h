// Runs that can be copied at any step and taken back to a copy, so that a
// search goes back to a state in time proportional to what the run holds,
// not to how long it took to get there.
//
// The run is played on a fiber of its own, with every allocation of the
// play (the simulator's records, the observers', the program's) in the
// runs' region (arena.h). A chooser inside the run yields to the caller,
// which may copy the run, let it go on, or put back an earlier copy and
// resume that instead. A copy holds the region's used part, the used part
// of every stack still alive, the simulator's globals, the states of
// mutexes and events made before the run, and the regions the caller names
// (whatever else the play changes: a scene's members, a stream made once).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/fiber.h"

namespace listpool::sim {

// Bytes the play changes outside its own memory and stacks. They may point
// into the run's memory, but must own none of the system's when the
// rewindable run is made: putting back a copy puts their bytes back, and
// anything of the system's they owned would be freed twice.
struct Region {
    void* start;
    std::size_t size;
};

class Snapshot {
  public:
    Snapshot() = default;
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // The bytes this copy added to those it shares with the copy it was
    // taken like (RewindableRun::Save).
    std::size_t bytes() const { return fresh_; }

  private:
    friend class RewindableRun;
    // A copy is kept in pieces of a few pages, counted by the copies that
    // hold them: consecutive states of a run differ in a few pieces only.
    struct Piece;
    void Release();
    // Pieces given back, kept for the next copies: a search makes and drops
    // tens of thousands a second.
    static Piece* NewPiece();
    static void DropPiece(Piece* piece);
    static std::vector<Piece*>& SparePieces();

    std::vector<Region> chunks_;
    std::vector<Piece*> pieces_;  // each chunk's in turn
    std::size_t fresh_ = 0;
    void* yielded_ = nullptr;  // the simulated thread that yielded
    std::size_t outside_ = 0;  // how many states made before the run it holds
};

class RewindableRun {
  public:
    // Whether this build can: a fiber switch that leaves everything on the
    // stack, and operator new from the runs' region.
    static bool Possible();

    // `play` (which calls Run) starts at the first Resume.
    RewindableRun(std::function<void()> play, std::vector<Region> regions);
    // Puts the regions back as they were when it was made, and empties the
    // runs' region.
    ~RewindableRun();
    RewindableRun(const RewindableRun&) = delete;
    RewindableRun& operator=(const RewindableRun&) = delete;

    // From the caller: the play goes on until it yields (true) or returns
    // (false; it cannot be resumed again until a copy is put back).
    bool Resume();
    // Inside the run, from a chooser: back to the caller of Resume.
    void Yield();

    // From the caller while the play has yielded: a copy, and going back to
    // one (then Resume goes on from where the copy was taken). The copy
    // shares the pieces that have not changed since `like`, an earlier copy
    // of this run that outlives it (a search's copy of the state before).
    void Save(Snapshot& into, const Snapshot* like = nullptr) const;
    void Restore(const Snapshot& from);

  private:
    static void Play(void* self);
    static void BeforeOutsideChange(void* state, std::size_t size);
    static void Copy(std::vector<Region> chunks, Snapshot& into, const Snapshot* like);
    static void Put(const Snapshot& from);

    // The states made before the run that it has changed, as they were.
    struct Outside {
        char* at;
        std::vector<char> before;
    };

    std::function<void()> play_;
    std::vector<Region> regions_;
    Snapshot before_;  // the regions as they were
    Fiber caller_;
    std::unique_ptr<Fiber> fiber_;
    void* resumeAt_ = nullptr;  // the simulated thread to resume, else the play's start
    bool ended_ = false;
    std::vector<Outside> outside_;
};

}  // namespace listpool::sim
