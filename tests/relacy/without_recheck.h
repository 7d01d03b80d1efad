// The guard without the writer's re-check, compiled, for the positive
// control of the guard's check: relacy runs compiled code only, so it cannot
// take the guard text the simulator's checks and pages use
// (sim/guards/texts/without-recheck.guard); this is that text's C++, kept in
// step with it by hand.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace listpool::rlcheck {

// Takes countMutex once the readers have gone without looking again: a
// reader that passed the gate just before may be inside.
struct WithoutRecheck {
    void BeginRead() {
        gateEvent->Lock();
        countMutex->Lock();
        ++readerCount;
        noReadersEvent->ResetEvent();
        countMutex->Unlock();
    }
    void EndRead() {
        countMutex->Lock();
        if (--readerCount == 0) {
            noReadersEvent->SetEvent();
        }
        countMutex->Unlock();
    }
    void BeginWrite() {
        gateEvent->ResetEvent();
        writerMutex->Lock();
        gateEvent->ResetEvent();
        noReadersEvent->Lock();
        countMutex->Lock();
    }
    void EndWrite() {
        countMutex->Unlock();
        gateEvent->SetEvent();
        writerMutex->Unlock();
    }

    std::int32_t readerCount = 0;
    CMutex* countMutex = new CMutex;
    CMutex* writerMutex = new CMutex;
    CEvent* noReadersEvent = new CEvent;
    CEvent* gateEvent = new CEvent;
};

}  // namespace listpool::rlcheck
