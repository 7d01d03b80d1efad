// Where a thread stands in a guard's four sequences, told from the calls it
// makes on the guard's parts (sim/runs/guard_parts.h): the one tracker of
// them, which the guard watch keeps for every watched guard.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sim.h"
#include "sim/runs/guard_parts.h"

namespace listpool::sim {

// Where a thread is in a guard: out, in one of its four sequences, or
// inside between them.
enum Sequence {
    kOut,
    kReaderArrives,
    kReading,
    kReaderLeaves,
    kWriterArrives,
    kWriting,
    kWriterLeaves
};
// The sequence as the guard's code names it ("ReaderArrives"), or "" for a
// place between them.
extern const char* const kSequenceNames[];

// Each sequence is told by its first call (ReaderArrives waits at the gate,
// WriterArrives closes it; ReaderLeaves takes countMutex, WriterLeaves gives
// it back) and ends with its last. A reader is inside, as the guard watch
// counts it, from its reset of noReadersEvent (readerCount raised) to its
// taking countMutex on the way out; a writer from taking countMutex with no
// reader inside to giving it back.
class SequenceTracker {
  public:
    // What a call that has taken effect changed for its thread.
    struct Move {
        Sequence from;
        Sequence to;
        bool readerIn = false;  // a reader is now inside
    };

    // Where the thread stands: kOut before its first call on the guard.
    Sequence At(int thread) const;
    // The sequence the thread's call `op` on `part` is in, before it takes
    // effect.
    Sequence Entering(int thread, Op op, int part) const;
    // Moves the thread on for a call that has taken effect; `readers` is
    // readerCount after it.
    Move Done(int thread, Op op, int part, std::int32_t readers);

  private:
    std::vector<Sequence> at_;  // by thread
};

}  // namespace listpool::sim
