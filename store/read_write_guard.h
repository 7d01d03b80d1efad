// A reader-writer guard: any number of readers, or one writer, inside.
#pragma once

#include <cstdint>

#include "platform/sync.h"
#include "platform/thread_annotations.h"

namespace listpool {

// Writer-preferring: a writer that is coming in closes the gate, so readers
// arriving after it wait, and a steady stream of writers can keep readers
// out. Writers cannot be kept out by readers.
//
// To the thread-safety analysis the guard is one capability: a read section
// holds it shared, a write section exclusively. What a writer really keeps
// from BeginWrite to EndWrite, writerMutex and countMutex, stays inside the
// guard, where the private sequences below are checked against the four
// objects.
//
// The four objects are created by the constructor and never destroyed: the
// guarded objects live until the process ends.
struct CAPABILITY("guard") ReadWriteGuard {
    // Builds an idle guard. Throws CResourceException (or std::bad_alloc)
    // when an object cannot be created.
    ReadWriteGuard();
    ReadWriteGuard(const ReadWriteGuard&) = delete;
    ReadWriteGuard& operator=(const ReadWriteGuard&) = delete;

    // Enters as a reader; waits while a writer is inside or coming in.
    void BeginRead() ACQUIRE_SHARED();
    // Leaves a read begun by the calling thread.
    void EndRead() RELEASE_SHARED();
    // Enters as the only writer; waits until no reader or writer is inside.
    void BeginWrite() ACQUIRE();
    // Leaves a write begun by the calling thread.
    void EndWrite() RELEASE();

    // Readers inside; read and changed only while countMutex is held.
    std::int32_t readerCount GUARDED_BY(countMutex) = 0;
    // Protects readerCount; held by a writer for its whole write, taken
    // after writerMutex.
    CMutex* countMutex ACQUIRED_AFTER(writerMutex);
    // Lets one writer at a time through.
    CMutex* writerMutex;
    // Signalled while no reader is inside.
    CEvent* noReadersEvent;
    // Signalled while readers may enter; reset by a writer coming in.
    CEvent* gateEvent;

  private:
    // The four sequences. The public functions only call them: the analysis
    // takes a function that acquires or releases the guard itself as the
    // guard's implementation and does not look inside it, but it does look
    // inside these.
    void ReaderArrives() EXCLUDES(countMutex, writerMutex);
    void ReaderLeaves() EXCLUDES(countMutex, writerMutex);
    // Returns holding writerMutex and countMutex, which WriterLeaves releases.
    void WriterArrives() ACQUIRE(writerMutex, countMutex);
    void WriterLeaves() RELEASE(countMutex, writerMutex);
};

}  // namespace listpool
