// A reader-writer guard: any number of readers, or one writer, inside.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace listpool {

// Writer-preferring: a writer that is coming in closes the gate, so readers
// arriving after it wait, and a steady stream of writers can keep readers
// out. Writers cannot be kept out by readers.
//
// The four objects are created by the constructor and never destroyed: the
// guarded objects live until the process ends.
struct ReadWriteGuard {
    // Builds an idle guard. Throws CResourceException (or std::bad_alloc)
    // when an object cannot be created.
    ReadWriteGuard();
    ReadWriteGuard(const ReadWriteGuard&) = delete;
    ReadWriteGuard& operator=(const ReadWriteGuard&) = delete;

    // Enters as a reader; waits while a writer is inside or coming in.
    void BeginRead() EXCLUDES(countMutex, writerMutex);
    // Leaves a read begun by the calling thread.
    void EndRead() EXCLUDES(countMutex, writerMutex);
    // Enters as the only writer; waits until no reader or writer is inside.
    // Returns holding writerMutex and countMutex, which EndWrite releases.
    void BeginWrite() ACQUIRE(writerMutex, countMutex);
    // Leaves a write begun by the calling thread.
    void EndWrite() RELEASE(countMutex, writerMutex);

    // Readers inside; read and changed only while countMutex is held.
    std::int32_t readerCount GUARDED_BY(countMutex) = 0;
    // Protects readerCount; held by a writer for its whole write.
    CMutex* countMutex;
    // Lets one writer at a time through.
    CMutex* writerMutex;
    // Signalled while no reader is inside.
    CEvent* noReadersEvent;
    // Signalled while readers may enter; reset by a writer coming in.
    CEvent* gateEvent;
};

}  // namespace listpool
