// Where each thread is in the program's two guards, as the guard watch's
// tracker tells it: out, in one of the four sequences, or inside. A
// session's explorer page and the lab's view of a run both read it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/program.h"
#include "platform/sim.h"
#include "sim/explore/guard_md.h"
#include "sim/runs/guard_watch.h"

namespace listpool::sim {

// The thread's next call on a guard, where it makes it.
struct GuardCall {
    Sequence in = kOut;             // the sequence the call is in (kOut: none of the four)
    std::string guard;              // "pool" or "list"
    std::string call;               // as the code makes it: "countMutex->Lock()"
    bool holdsWriterMutex = false;  // WriterArrives resets the gate before and after taking it
    // With a guard text in the guards' place: the text's line the thread is
    // stopped at (its calls may be on objects of its own), else 0.
    int line = 0;
};

// An observer of a run of the program, watched afresh from each run's
// start. `program` gives the run's program (nullptr before it is made).
class GuardPlaces final : public Observer {
  public:
    explicit GuardPlaces(std::function<const Program*()> program);
    void OnRunStart() override;
    void OnNotice(const Notice& notice) override;

    // The thread's next call, when it is on one of a guard's objects (else
    // guard is ""). Only inside a run, while every thread is stopped.
    GuardCall Next(int thread) const;
    // What docs/GUARD.md says of the thread's next call, when it is one of
    // a guard's (WhatGuardMdSays). Only inside a run.
    std::string Why(int thread) const;
    // "reads the list", "writes the pool, writes the list", or "".
    std::string Of(int thread) const;

    // The program's guards' object: guard 0 is the pool's, 1 the list's.
    static const void* ObjectOf(const Program* program, GuardObject object);
    // "pool countMutex", or "" for an object of neither guard.
    static std::string NameOf(const Program* program, const void* object);

  private:
    std::function<const Program*()> program_;
    std::unique_ptr<GuardWatch> watch_;
    const std::vector<Section> none_;
};

}  // namespace listpool::sim
