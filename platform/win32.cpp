// The Windows back end of the platform layer: kernel mutexes and events,
// CRT threads, and the CRT's text-mode descriptors for every file.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "platform/io.h"
#include "platform/native.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace listpool {
namespace {

// The standard descriptors go into text mode before main runs, whatever the
// runtime's default file mode, so that each newline written leaves as CR LF
// and each CR LF read arrives as a newline.
[[maybe_unused]] const bool kStandardTextMode = [] {
    _setmode(kStdIn, _O_TEXT);
    _setmode(kStdOut, _O_TEXT);
    _setmode(kStdErr, _O_TEXT);
    return true;
}();

HANDLE HandleOf(void* handle) {
    return static_cast<HANDLE>(handle);
}

bool Wait(void* handle) {
    return WaitForSingleObject(HandleOf(handle), INFINITE) == WAIT_OBJECT_0;
}

}  // namespace

CMutex::CMutex() {
    m_hObject = CreateMutexW(nullptr, FALSE, nullptr);
    if (m_hObject == nullptr) {
        throw CResourceException();
    }
}

bool CMutex::Lock() {
    return Wait(m_hObject);
}

void CMutex::NameForWrites(int /*fd*/) {}

bool CMutex::Unlock() {
    return ReleaseMutex(HandleOf(m_hObject)) != 0;
}

CEvent::CEvent() {
    m_hObject = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (m_hObject == nullptr) {
        throw CResourceException();
    }
}

bool CEvent::Lock() {
    return Wait(m_hObject);
}

bool CEvent::SetEvent() {
    return ::SetEvent(HandleOf(m_hObject)) != 0;
}

bool CEvent::ResetEvent() {
    return ::ResetEvent(HandleOf(m_hObject)) != 0;
}

namespace {

// noexcept: an exception leaving a thread procedure ends the process through
// the terminate handler, as on the main thread.
unsigned __stdcall RunThread(void* start) noexcept {
    native::RunThreadStart(start);
    return 0;
}

}  // namespace

bool StartThread(ThreadProc proc, void* argument, const char* /*name*/) {
    auto* start = new native::ThreadStart{proc, argument};
    // _beginthreadex rather than CreateThread, so the CRT sets up its
    // per-thread state for the descriptors and errno the thread uses.
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return false;
    }
    // Nobody waits for the thread: it runs on detached once its handle is gone.
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

void SleepMs(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

int OpenLogFile(const char* name) {
    int fd = -1;
    if (_sopen_s(&fd, name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT | _O_NOINHERIT, _SH_DENYNO,
                 _S_IREAD | _S_IWRITE) != 0) {
        return -1;
    }
    return fd;
}

void WriteAll(int fd, const char* data, std::size_t size) {
    // On a text-mode descriptor _write adds a CR before each LF and counts
    // only the bytes taken from data.
    while (size != 0) {
        const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
        const int written = _write(fd, data, chunk);
        if (written <= 0) {
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

std::size_t ReadSome(int fd, char* data, std::size_t size) {
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int got = _read(fd, data, chunk);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

// Standard error is in text mode: these newlines leave as the CR LF pairs of
// the runtime's message.
const std::string_view native::kAbnormalEnd = "\nabnormal program termination\n";

}  // namespace listpool
