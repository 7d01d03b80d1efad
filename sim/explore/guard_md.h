// What docs/GUARD.md says of each call of the guard's four sequences, for
// the "why" beside a thread's next call on an explorer page.
#pragma once

#include <string>

#include "platform/sim.h"
#include "sim/runs/guard_sequences.h"

namespace listpool::sim {

// Each place as a page names it, with docs/GUARD.md's names ("in
// ReaderArrives", "inside, reading").
extern const char* const kPlaces[];

// Reads docs/GUARD.md's walk through the four sequences from the source
// tree, once; throws std::runtime_error when it no longer has one.
void ReadGuardMd();

// What GUARD.md says of the call `op` on the guard's object `name`
// ("gateEvent") made by a thread at `in`: the item of its sequence that
// names the call, led by its sequence and number ("WriterArrives, step 3: "),
// or "". A thread inside is told of its sleep. The writer
// resets the gate twice, before and after taking writerMutex, so which of
// the two items it is depends on `holdsWriterMutex`.
std::string WhatGuardMdSays(Sequence in, Op op, const std::string& name, bool holdsWriterMutex);

}  // namespace listpool::sim
