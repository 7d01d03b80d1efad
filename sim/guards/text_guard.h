// The memory of a guard that runs a guard text (guard_code.h), which the
// program's guards (session_guard.h) and TextGuard make; and TextGuard, a
// guard with ReadWriteGuard's members that runs a text, for the guard
// scenes, their search and their pages.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sync.h"
#include "sim/guards/guard_code.h"

namespace listpool::sim::guards {

// The memory of a guard that runs `code`: its own four objects (countMutex,
// writerMutex, noReadersEvent, gateEvent) and readerCount, the text's further
// counters kept in `more` at their first values, and the text's own objects,
// made here, the events it makes reset reset (calls, when made inside a
// run); the first misuse kept in `problem`, the places in `at`.
GuardMemory MakeMemory(const GuardCode& code, const std::array<CSyncObject*, 4>& own,
                       std::int32_t& readerCount, std::vector<std::int32_t>& more,
                       std::string& problem, std::vector<int>& at);

// `text` read, to make a GuardCode of. Throws std::runtime_error, with the
// reader's sentence, for a text it refuses.
GuardText ReadAccepted(std::string_view text);

// `hash` folded with the counters of `memory` from the `from`th on.
std::uint64_t FoldCounters(std::uint64_t hash, const GuardMemory& memory, std::size_t from);

// A guard that runs a text: ReadWriteGuard's members, so that every tool
// that takes a guard takes it, and the text's own objects and counters.
// Made inside a run, where everything it owns comes from the run's memory.
class TextGuard {
  public:
    explicit TextGuard(const GuardCode& code);
    TextGuard(const TextGuard&) = delete;
    TextGuard& operator=(const TextGuard&) = delete;

    void BeginRead() { Run(kReaderArrives); }
    void EndRead() { Run(kReaderLeaves); }
    void BeginWrite() { Run(kWriterArrives); }
    void EndWrite() { Run(kWriterLeaves); }

    std::int32_t readerCount = 0;
    CMutex* countMutex = new CMutex;
    CMutex* writerMutex = new CMutex;
    CEvent* noReadersEvent = new CEvent;
    CEvent* gateEvent = new CEvent;

    // Every counter's value, in the text's order.
    std::vector<std::int32_t> Counters() const;
    // A hash of the counters and of whether a misuse was seen, for a
    // scene's state: nothing allocated, as it is asked at every step.
    std::uint64_t MemoryHash() const;
    // The first misuse seen, or "".
    const std::string& problem() const { return problem_; }
    // The instruction the thread is stopped at, or -1 outside the sequences.
    int At(int thread) const;
    // Every object, in the text's order (the guard's own four first).
    const std::vector<CSyncObject*>& Objects() const { return memory_.objects; }
    const GuardCode& code() const { return code_; }

  private:
    void Run(SequenceName sequence);

    const GuardCode& code_;
    std::vector<std::int32_t> more_;  // the text's own counters
    std::string problem_;
    std::vector<int> at_;
    GuardMemory memory_ = MakeMemory(code_, {countMutex, writerMutex, noReadersEvent, gateEvent},
                                     readerCount, more_, problem_, at_);
};

}  // namespace listpool::sim::guards
