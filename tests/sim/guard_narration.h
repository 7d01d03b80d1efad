// The guard, narrated, for the guard's explorer pages (guard_pages.cpp):
// it tells which of its sequences each thread is in, and makes no call of
// its own, so the scene's runs and states are the guard's.
#pragma once

#include <map>

#include "platform/sim.h"
#include "platform/thread_annotations.h"
#include "sim/explore/guard_md.h"

namespace listpool::sim {

template <typename Guard>
struct Narrated : Guard {
    Narrated() { last = this; }
    void BeginRead() NO_THREAD_SAFETY_ANALYSIS {
        Around(kReaderArrives, &Guard::BeginRead, kReading);
    }
    void EndRead() NO_THREAD_SAFETY_ANALYSIS { Around(kReaderLeaves, &Guard::EndRead, kOut); }
    void BeginWrite() NO_THREAD_SAFETY_ANALYSIS {
        Around(kWriterArrives, &Guard::BeginWrite, kWriting);
    }
    void EndWrite() NO_THREAD_SAFETY_ANALYSIS { Around(kWriterLeaves, &Guard::EndWrite, kOut); }
    void Around(Sequence during, void (Guard::*sequence)(), Sequence after) {
        in[CurrentThread()] = during;
        if (during == kWriterArrives) {
            ++rounds[CurrentThread()];
        }
        (this->*sequence)();
        in[CurrentThread()] = after;
    }
    std::int32_t Count() const NO_THREAD_SAFETY_ANALYSIS { return this->readerCount; }

    static inline Narrated* last = nullptr;
    static inline std::map<int, Sequence> in;
    // How many times each thread has begun to write, counting this one.
    static inline std::map<int, int> rounds;
};

}  // namespace listpool::sim
