// Thread start and sleep.
#pragma once

#include <cstdint>

namespace listpool {

// A thread procedure: gets the one pointer given to StartThread and ends the
// thread by returning.
using ThreadProc = void (*)(void* argument);

// Starts a detached thread with the default stack size running proc(argument).
// Yields false, reporting nothing, when the platform cannot start it. `name`
// says what the thread is, for a back end that watches threads (the
// simulator names each by it from its start); the native ones ignore it.
bool StartThread(ThreadProc proc, void* argument, const char* name);

// Suspends the calling thread for at least the given number of milliseconds.
void SleepMs(std::uint32_t milliseconds);

}  // namespace listpool
