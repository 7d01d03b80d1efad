#include "sim/runs/guard_sequences.h"

namespace listpool::sim {
namespace {

Sequence Entered(Sequence at, Op op, int part) {
    const bool count = part == kCountMutex, gate = part == kGateEvent;
    return at == kOut && gate && op == Op::kEventLock     ? kReaderArrives
           : at == kOut && gate && op == Op::kReset       ? kWriterArrives
           : at == kReading && count && op == Op::kLock   ? kReaderLeaves
           : at == kWriting && count && op == Op::kUnlock ? kWriterLeaves
                                                          : at;
}

// The last call of each sequence ends it; a writer is inside once it holds
// countMutex with no reader left.
Sequence Left(Sequence at, Op op, int part, std::int32_t readers) {
    const bool count = part == kCountMutex, writer = part == kWriterMutex;
    return at == kReaderArrives && count && op == Op::kUnlock                 ? kReading
           : at == kReaderLeaves && count && op == Op::kUnlock                ? kOut
           : at == kWriterArrives && count && op == Op::kLock && readers == 0 ? kWriting
           : at == kWriterLeaves && writer && op == Op::kUnlock               ? kOut
                                                                              : at;
}

}  // namespace

const char* const kSequenceNames[] = {"", "ReaderArrives", "", "ReaderLeaves", "WriterArrives",
                                      "", "WriterLeaves"};

Sequence SequenceTracker::At(int thread) const {
    const auto n = static_cast<std::size_t>(thread);
    return n < at_.size() ? at_[n] : kOut;
}

Sequence SequenceTracker::Entering(int thread, Op op, int part) const {
    return Entered(At(thread), op, part);
}

SequenceTracker::Move SequenceTracker::Done(int thread, Op op, int part, std::int32_t readers) {
    const auto n = static_cast<std::size_t>(thread);
    if (n >= at_.size()) {
        at_.resize(n + 1, kOut);
    }
    Move move{at_[n], at_[n]};
    const Sequence in = Entered(move.from, op, part);
    move.readerIn = in == kReaderArrives && part == kNoReadersEvent && op == Op::kReset;
    move.to = at_[n] = Left(in, op, part, readers);
    return move;
}

}  // namespace listpool::sim
