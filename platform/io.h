// Raw file access and process exit: the few calls the streams and the main
// routine need from the platform.
#pragma once

#include <cstddef>

namespace listpool {

inline constexpr int kStdIn = 0;
inline constexpr int kStdOut = 1;
inline constexpr int kStdErr = 2;

// Creates or empties the file for writing in the current folder, as an
// ordinary file with default permissions and no sharing restriction.
// Yields a descriptor, or -1 when the file cannot be opened.
int OpenLogFile(const char* name);

// Writes all of data in text mode (each newline as the platform's line end),
// retrying partial writes; an error drops the rest silently.
void WriteAll(int fd, const char* data, std::size_t size);

// Reads up to size bytes; yields 0 at end of input or on a read error.
std::size_t ReadSome(int fd, char* data, std::size_t size);

// Ends the process at once with the given status: no destructor runs and no
// buffer is flushed, so threads still running never see objects torn down.
[[noreturn]] void ExitProcess(int status);

// Makes any uncaught exception, on any thread, end the process the way the
// runtime reports an abnormal end: a fixed text on standard error, status 3,
// no unwinding, no flushing.
void InstallAbnormalTermination();

}  // namespace listpool
