// What a back end of the platform layer supplies: the contract, not an
// implementation. Everything above platform/ (the streams, the store, the
// workers, the console) reaches the machine only through the declarations
// gathered here, so a new back end is one source file that defines them, and
// the build picks one per target. This header is documentation; the code
// includes the three headers below.
//
// Back ends: posix.cpp (futex words, whose algorithms are in futex_sync.h;
// pthreads, nanosleep, file descriptors),
// win32.cpp (kernel mutexes and events, _beginthreadex, Sleep, the C
// runtime's text-mode descriptors), and sim.cpp (fibers under a scheduler in
// virtual time, for tests and tools only; its controls are in sim.h). The
// two native ones share native.h and native.cpp.
//
// sync.h — CMutex and CEvent, of the CSyncObject family, each wrapping one
//   handle that is never closed:
//   - CMutex(): created unowned; throws CResourceException when refused.
//   - CMutex::Lock(): waits until free and takes it for the calling thread.
//     Unlock(): releases it; only the owner calls it. Not recursive: no
//     thread locks a mutex it holds. An Unlock happens before the Lock that
//     takes the mutex next. NameForWrites(fd): for back ends that watch
//     the program only; the native ones do nothing.
//   - CEvent(): manual-reset, created signalled; throws CResourceException
//     when refused.
//   - CEvent::Lock(): waits until signalled and leaves it signalled.
//     SetEvent(): signals it, releasing every waiter; it stays signalled
//     until ResetEvent(). A SetEvent happens before the return of every
//     Lock that it lets through.
//   Every call yields true once it has done its work.
//
// thread.h
//   - StartThread(proc, argument, name): a detached thread with the default
//     stack size runs proc(argument) and ends when it returns; false, with
//     nothing started and nothing reported, when the thread cannot start.
//     The name is for watching back ends only.
//   - SleepMs(ms): the calling thread sleeps at least that long.
//
// io.h
//   - OpenLogFile(name): creates or empties the file in the current folder,
//     ordinary permissions, no sharing restriction; -1 when it cannot.
//   - WriteAll(fd, data, size): all of it, each newline as the platform's
//     line end; an error drops the rest silently.
//   - ReadSome(fd, data, size): up to size bytes, 0 at the end of input or
//     on an error.
//   - ExitProcess(status): ends the process at once: no destructor, no flush.
//   - InstallAbnormalTermination(): an uncaught exception on any thread
//     writes the runtime's abnormal-termination text to standard error and
//     ends the process with status 3, unwinding nothing and flushing nothing.
#pragma once

#include "platform/io.h"
#include "platform/sync.h"
#include "platform/thread.h"
