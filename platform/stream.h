// Output streams shared between threads: each insertion (a text, a number,
// an end of line, a flush) is indivisible; a line made of several insertions
// may interleave item by item with another thread's output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

namespace listpool {

// An integer right-aligned in at least `width` columns, filled with spaces.
struct Padded {
    std::int32_t value;
    int width;
};

// A newline followed by a flush.
struct EndLine {};
inline constexpr EndLine endl{};

class OutStream {
  public:
    enum class Buffering { kUntilFlush, kNone };

    // fd < 0 makes a failed stream that drops every write without a message.
    // `tie`, when given, is flushed before every insertion into this stream.
    OutStream(int fd, Buffering buffering, OutStream* tie = nullptr);
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;

    OutStream& operator<<(std::string_view text);
    OutStream& operator<<(std::int32_t value);
    OutStream& operator<<(Padded value);
    OutStream& operator<<(EndLine);
    OutStream& operator<<(char) = delete;  // a char is text, not a number

    // Writes out whatever is buffered; no system call when nothing is.
    void Flush();

    // False for a stream whose file could not be opened.
    bool good() const { return fd_ >= 0; }

  private:
    void Insert(std::string_view bytes, bool flush);
    void WriteBufferLocked();

    std::mutex mutex_;
    const int fd_;
    const Buffering buffering_;
    OutStream* const tie_;
    std::size_t used_ = 0;
    std::array<char, 8192> buffer_{};
};

// Standard output: buffered until each end of line, each read from standard
// input and each write to standard error.
OutStream& StdOut();
// Standard error: written out at every insertion, after flushing StdOut.
OutStream& StdErr();

}  // namespace listpool
