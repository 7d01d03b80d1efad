// The simulator's entries of ReadWriteGuard, in the place of
// store/read_write_guard_entries.cpp: the compiled sequences, or a guard
// text's while one is in use.
#include "sim/guards/session_guard.h"

#include <cstdlib>
#include <deque>

#include "platform/sim.h"
#include "platform/sim/hash.h"
#include "sim/guards/text_guard.h"
#include "sim/runs/text_guards.h"
#include "store/read_write_guard.h"

namespace listpool {
namespace {

using sim::guards::GuardCode;
using sim::guards::GuardMemory;

const GuardCode* gText = nullptr;  // set and dropped outside runs

// What the guards that run the text keep in one run, made in its memory at
// the first entry of the run: the text's own objects and counters for
// each guard, each thread's place, the first misuse.
struct Kept {
    struct Guard {
        const ReadWriteGuard* guard = nullptr;
        std::vector<std::int32_t> counters;  // the text's own, which memory points into
        std::vector<int> at;
        GuardMemory memory;
    };
    std::deque<Guard> guards;  // grows without moving those a thread is running in
    std::string problem;
};

// The run the record is of, and the record: both put back with a copy of
// the run (TextGuardsRunState).
struct Record {
    std::uint64_t run = 0;
    Kept* kept = nullptr;
};
Record gRecord;

Kept* KeptNow() {
    return gRecord.run == sim::RunSerial() && sim::RunSerial() != 0 ? gRecord.kept : nullptr;
}

// The guard's memory as the text sees it, made at its first entry.
GuardMemory& MemoryOf(ReadWriteGuard& guard) NO_THREAD_SAFETY_ANALYSIS {
    if (KeptNow() == nullptr) {
        gRecord = {sim::RunSerial(), new Kept};  // in the run's memory: given back with it
    }
    Kept& kept = *gRecord.kept;
    for (Kept::Guard& g : kept.guards) {
        if (g.guard == &guard) {
            return g.memory;
        }
    }
    Kept::Guard& g = kept.guards.emplace_back();
    g.guard = &guard;
    g.memory = sim::guards::MakeMemory(
        *gText, {guard.countMutex, guard.writerMutex, guard.noReadersEvent, guard.gateEvent},
        guard.readerCount, g.counters, kept.problem, g.at);
    return g.memory;
}

bool RunText(ReadWriteGuard& guard, sim::guards::SequenceName sequence) {
    if (gText == nullptr || sim::RunSerial() == 0) {
        return false;
    }
    sim::guards::RunSequence(*gText, sequence, MemoryOf(guard), sim::guards::Places::kAdd);
    return true;
}

}  // namespace

void ReadWriteGuard::BeginRead() {
    if (!RunText(*this, sim::guards::kReaderArrives)) {
        ReaderArrives();
    }
}

void ReadWriteGuard::EndRead() {
    if (!RunText(*this, sim::guards::kReaderLeaves)) {
        ReaderLeaves();
    }
}

void ReadWriteGuard::BeginWrite() {
    if (!RunText(*this, sim::guards::kWriterArrives)) {
        WriterArrives();
    }
}

void ReadWriteGuard::EndWrite() {
    if (!RunText(*this, sim::guards::kWriterLeaves)) {
        WriterLeaves();
    }
}

namespace sim {

std::uint64_t TextGuardsState() {
    const Kept* kept = KeptNow();
    if (kept == nullptr) {
        return 0;
    }
    // readerCount is the program's, which its scene hashes already.
    std::uint64_t hash = kept->problem.empty() ? 1 : 2;
    for (const Kept::Guard& g : kept->guards) {
        hash = sim::guards::FoldCounters(hash, g.memory, 1);
    }
    return hash;
}

std::string TextGuardsProblem() {
    const Kept* kept = KeptNow();
    return kept != nullptr ? kept->problem : std::string();
}

std::vector<Region> TextGuardsRunState() {
    gRecord = {};
    return {{&gRecord, sizeof gRecord}};
}

namespace guards {

TextInSessions::TextInSessions(const GuardCode* code) {
    if (gText != nullptr || RunSerial() != 0) {
        std::abort();  // one at a time, outside runs
    }
    gText = code;
    gRecord = {};
}

TextInSessions::~TextInSessions() {
    gText = nullptr;
    gRecord = {};
}

const GuardCode* TextInUse() {
    return gText;
}

int TextGuardLine(const ReadWriteGuard& guard, int thread) {
    const Kept* kept = KeptNow();
    if (kept == nullptr) {
        return 0;
    }
    for (const Kept::Guard& g : kept->guards) {
        const auto n = static_cast<std::size_t>(thread);
        if (g.guard == &guard && n < g.at.size() && g.at[n] >= 0) {
            return gText->code()[static_cast<std::size_t>(g.at[n])].at.line;
        }
    }
    return 0;
}

}  // namespace guards
}  // namespace sim
}  // namespace listpool
