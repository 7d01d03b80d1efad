#include "store/read_write_guard.h"

namespace listpool {

ReadWriteGuard::ReadWriteGuard()
    : countMutex(new CMutex),
      writerMutex(new CMutex),
      noReadersEvent(new CEvent),
      gateEvent(new CEvent) {}

void ReadWriteGuard::ReaderArrives() {
    gateEvent->Lock();
    countMutex->Lock();
    ++readerCount;
    noReadersEvent->ResetEvent();
    countMutex->Unlock();
}

void ReadWriteGuard::ReaderLeaves() {
    countMutex->Lock();
    if (--readerCount == 0) {
        noReadersEvent->SetEvent();
    }
    countMutex->Unlock();
}

void ReadWriteGuard::WriterArrives() {
    gateEvent->ResetEvent();
    writerMutex->Lock();
    // The writer before us opened the gate on its way out while we waited
    // for writerMutex; close it again, or overlapping readers could keep
    // noReadersEvent reset and us out for ever.
    gateEvent->ResetEvent();
    for (;;) {
        noReadersEvent->Lock();
        countMutex->Lock();
        // A reader that passed the gate before we closed it may have come in
        // between our wait and taking countMutex; let it leave first.
        if (readerCount == 0) {
            return;
        }
        countMutex->Unlock();
    }
}

void ReadWriteGuard::WriterLeaves() {
    countMutex->Unlock();
    gateEvent->SetEvent();
    writerMutex->Unlock();
}

}  // namespace listpool
