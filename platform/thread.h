// Thread start and sleep.
#pragma once

#include <cstdint>

namespace listpool {

// A thread procedure: gets the one pointer given to StartThread and ends the
// thread by returning.
using ThreadProc = void (*)(void* argument);

// Starts a detached thread with the default stack size running proc(argument).
// Yields false, reporting nothing, when the platform cannot start it.
bool StartThread(ThreadProc proc, void* argument);

// Suspends the calling thread for at least the given number of milliseconds.
void SleepMs(std::uint32_t milliseconds);

}  // namespace listpool
