// Pieces the native back ends (POSIX, Win32) share; included by their
// sources only.
#pragma once

#include <cstddef>
#include <string_view>

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

// The runtime's report of an abnormal end, as the back end writes it to
// standard error; native.cpp installs it.
extern const std::string_view kAbnormalEnd;

}  // namespace listpool::native
