// Pieces the native back ends (POSIX, Win32) share; included by their
// sources only.
#pragma once

#include <cstddef>

#include "platform/io.h"
#include "platform/thread.h"

namespace listpool::native {

// What a new thread needs, handed to it through the platform's one pointer.
struct ThreadStart {
    ThreadProc proc;
    void* argument;
};

// The body of a new thread: frees the ThreadStart made for it with new,
// then runs the procedure.
inline void RunThreadStart(void* start) {
    const ThreadStart copy = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    copy.proc(copy.argument);
}

// The terminate handler: the runtime's report of an abnormal end, `text`,
// on standard error, then status 3, with no unwinding and no flushing.
template <const char* kText, std::size_t kSize>
[[noreturn]] void EndAbnormally() noexcept {
    WriteAll(kStdErr, kText, kSize);
    ExitProcess(3);
}

}  // namespace listpool::native
