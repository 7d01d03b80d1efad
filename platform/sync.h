// Kernel-style synchronisation objects: an owner-released mutex and a
// manual-reset event, both waited on with an infinite Lock.
#pragma once

#include <exception>

#include "platform/thread_annotations.h"

namespace listpool {

// Thrown when the platform refuses to create a synchronisation object.
class CResourceException : public std::exception {
  public:
    const char* what() const noexcept override { return "resource exception"; }
};

// Root of the family: each object wraps one platform handle, created by the
// derived constructor and never closed (these objects live until the process
// ends, so nothing here has a destructor that releases the handle).
class CSyncObject {
  public:
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

  protected:
    CSyncObject() = default;
    ~CSyncObject() = default;

    void* m_hObject = nullptr;
};

// A mutex created unowned. Not recursive; only the owning thread unlocks it.
// What a thread did before its Unlock happens before what the next thread to
// take the mutex does after its Lock.
class CAPABILITY("mutex") CMutex final : public CSyncObject {
  public:
    // Throws CResourceException when the platform refuses the object.
    CMutex();

    // Waits until the mutex is free and takes it. Yields true once taken.
    bool Lock() ACQUIRE();
    // Releases a mutex held by the calling thread.
    bool Unlock() RELEASE();

    // Says that the program writes to the file fd only holding this mutex
    // (an output stream's), for a back end that watches the writes: the
    // simulator names the mutex by the file from the stream's start. The
    // native back ends do nothing.
    void NameForWrites(int fd);
};

// Holds a CMutex from construction to the end of the scope.
class SCOPED_CAPABILITY CSingleLock {
  public:
    explicit CSingleLock(CMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~CSingleLock() RELEASE() { mutex_.Unlock(); }
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

  private:
    CMutex& mutex_;
};

// A manual-reset event created signalled: it stays signalled until reset, and
// while signalled every waiter passes. What a thread did before a SetEvent
// happens before what a thread does after a Lock that this SetEvent let
// through. On POSIX a Lock on a signalled event is one atomic load and only
// a Lock that has to wait reaches the kernel; on Windows the event is a
// kernel event.
class CEvent final : public CSyncObject {
  public:
    // Throws CResourceException when the platform refuses the object.
    CEvent();

    // Waits until the event is signalled and leaves it signalled.
    bool Lock();
    // Signals the event and releases every thread waiting on it.
    bool SetEvent();
    // Makes later Lock calls wait until the next SetEvent.
    bool ResetEvent();
};

}  // namespace listpool
