// The POSIX back end of the platform layer.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>

#include "platform/io.h"
#include "platform/native.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace listpool {
namespace {

// The state behind a mutex handle: 0 free, 1 taken, 2 taken and perhaps
// waited for. A free mutex is taken and given back with one locked
// instruction each and no call into the C library; only a mutex that
// somebody waits for makes its Unlock wake a waiter.
struct MutexState {
    std::atomic<std::uint32_t> state{0};
};

// The state behind an event handle. Waiters are counted so that SetEvent
// makes a wake-up call only when somebody sleeps on the event.
struct EventState {
    std::atomic<std::uint32_t> signalled{1};
    std::atomic<std::uint32_t> waiters{0};
};

std::atomic<std::uint32_t>& MutexOf(void* handle) {
    return static_cast<MutexState*>(handle)->state;
}
EventState& EventOf(void* handle) {
    return *static_cast<EventState*>(handle);
}

// The longest pause, in spin-wait hints, between two looks of a contended
// Lock at the mutex. The waits double from one hint up to this, so a Lock
// spins for 255 hints in all (about 6 us where a hint takes 25 ns) before it
// sleeps.
constexpr std::uint32_t kLongestBackOff = 128;

// Tells the processor that this thread only spins.
inline void SpinHint() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

}  // namespace

CMutex::CMutex() {
    m_hObject = new MutexState;
}

bool CMutex::Lock() {
    std::atomic<std::uint32_t>& state = MutexOf(m_hObject);
    std::uint32_t expected = 0;
    if (state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        return true;
    }
    // Taken. Most sections under a CMutex are a few instructions long, so
    // back off before sleeping, looking at the mutex less and less often:
    // between looks the owner keeps the cache lines of its section and runs
    // on, often through its next sections too, and needs no wake-up call for
    // us. Two threads that both want the mutex all the time otherwise hand
    // the lines, or a system call, to each other on almost every section.
    for (std::uint32_t hints = 1; hints <= kLongestBackOff; hints *= 2) {
        for (std::uint32_t i = 0; i < hints; ++i) {
            SpinHint();
        }
        if (state.load(std::memory_order_relaxed) == 0) {
            expected = 0;
            if (state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
                return true;
            }
        }
    }
    // Still taken: mark it waited for before each sleep, so that the owner's
    // Unlock wakes us. A thread that gets it this way keeps the mark, which
    // at worst costs one needless wake-up call later.
    while (state.exchange(2, std::memory_order_acquire) != 0) {
        state.wait(2, std::memory_order_relaxed);
    }
    return true;
}

bool CMutex::Unlock() {
    std::atomic<std::uint32_t>& state = MutexOf(m_hObject);
    if (state.exchange(0, std::memory_order_release) == 2) {
        state.notify_one();
    }
    return true;
}

CEvent::CEvent() {
    m_hObject = new EventState;
}

bool CEvent::Lock() {
    EventState& event = EventOf(m_hObject);
    if (event.signalled.load() != 0) {
        return true;
    }
    // Counting ourselves before the second look pairs with SetEvent's store
    // before its look at the count: one of the two always sees the other.
    event.waiters.fetch_add(1);
    while (event.signalled.load() == 0) {
        event.signalled.wait(0);
    }
    event.waiters.fetch_sub(1);
    return true;
}

bool CEvent::SetEvent() {
    EventState& event = EventOf(m_hObject);
    event.signalled.store(1);
    if (event.waiters.load() != 0) {
        event.signalled.notify_all();
    }
    return true;
}

bool CEvent::ResetEvent() {
    EventState& event = EventOf(m_hObject);
    // Resetting a reset event changes nothing, so skip the write and keep the
    // cache line shared among the readers that reset it on every entry. No
    // waiter depends on seeing a reset at once, so a plain release store will
    // do where a sequentially consistent one would cost a locked instruction.
    if (event.signalled.load(std::memory_order_relaxed) != 0) {
        event.signalled.store(0, std::memory_order_release);
    }
    return true;
}

namespace {

void* RunThread(void* start) {
    native::RunThreadStart(start);
    return nullptr;
}

}  // namespace

bool StartThread(ThreadProc proc, void* argument) {
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
