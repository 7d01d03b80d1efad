// Two guards with one fault each, kept here only so that the guard search
// can show it finds what it is meant to find. Each is the real guard with
// one step left out.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace listpool::broken {

// Shared by both: the reader's sequences, as the real guard has them.
struct GuardBase {
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

// Takes countMutex once the readers have gone without looking again: a
// reader that passed the gate just before may be inside.
struct WithoutRecheck : GuardBase {
    void BeginWrite() {
        gateEvent->ResetEvent();
        writerMutex->Lock();
        gateEvent->ResetEvent();
        noReadersEvent->Lock();
        countMutex->Lock();
    }
};

// Does not close the gate again after waiting for writerMutex: the writer
// before it opened the gate, and overlapping readers can keep it out.
struct WithoutSecondReset : GuardBase {
    void BeginWrite() {
        gateEvent->ResetEvent();
        writerMutex->Lock();
        for (;;) {
            noReadersEvent->Lock();
            countMutex->Lock();
            if (readerCount == 0) {
                return;
            }
            countMutex->Unlock();
        }
    }
};

}  // namespace listpool::broken
