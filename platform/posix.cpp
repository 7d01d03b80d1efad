// The POSIX back end of the platform layer.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>

#include "platform/futex_sync.h"
#include "platform/io.h"
#include "platform/native.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace listpool {
namespace {

// The longest pause, in spin-wait hints, between two looks of a contended
// Lock at the mutex, and the hint itself. The waits double from one hint up
// to this, so a Lock spins for 255 hints in all (about 6 us where a hint
// takes 25 ns) before it sleeps.
struct Spinning {
    static constexpr std::uint32_t kLongestBackOff = 128;

    // Tells the processor that this thread only spins.
    static void SpinHint() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        __asm__ __volatile__("yield");
#endif
    }
};

using Word = std::atomic<std::uint32_t>;
using Mutex = futex::Mutex<Word, Spinning>;
using Event = futex::Event<Word>;

// The state behind a mutex handle (futex_sync.h says what its values mean).
struct MutexState {
    Word state{0};
};

// The state behind an event handle, created signalled.
struct EventState {
    Word signalled{1};
    Word waiters{0};
};

Word& MutexOf(void* handle) {
    return static_cast<MutexState*>(handle)->state;
}
EventState& EventOf(void* handle) {
    return *static_cast<EventState*>(handle);
}

}  // namespace

CMutex::CMutex() {
    m_hObject = new MutexState;
}

bool CMutex::Lock() {
    Mutex::Lock(MutexOf(m_hObject));
    return true;
}

void CMutex::NameForWrites(int /*fd*/) {}

bool CMutex::Unlock() {
    Mutex::Unlock(MutexOf(m_hObject));
    return true;
}

CEvent::CEvent() {
    m_hObject = new EventState;
}

bool CEvent::Lock() {
    EventState& event = EventOf(m_hObject);
    Event::Lock(event.signalled, event.waiters);
    return true;
}

bool CEvent::SetEvent() {
    EventState& event = EventOf(m_hObject);
    Event::Set(event.signalled, event.waiters);
    return true;
}

bool CEvent::ResetEvent() {
    Event::Reset(EventOf(m_hObject).signalled);
    return true;
}

namespace {

void* RunThread(void* start) {
    native::RunThreadStart(start);
    return nullptr;
}

}  // namespace

bool StartThread(ThreadProc proc, void* argument, const char* /*name*/) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* start = new native::ThreadStart{proc, argument};
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, RunThread, start) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        delete start;
    }
    return started;
}

void SleepMs(std::uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int OpenLogFile(const char* name) {
    return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size != 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

std::size_t ReadSome(int fd, char* data, std::size_t size) {
    for (;;) {
        const ssize_t got = read(fd, data, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return 0;
        }
    }
}

const std::string_view native::kAbnormalEnd = "\r\nabnormal program termination\r\n";

}  // namespace listpool
