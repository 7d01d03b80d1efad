// Output streams shared between threads: each insertion (a text, a number,
// an end of line, a flush) is indivisible; a line made of several insertions
// may interleave item by item with another thread's output.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/sync.h"

namespace listpool {

// An integer right-aligned in at least `width` columns, filled with spaces.
struct Padded {
    std::int32_t value;
    int width;
};

// A newline followed by a flush.
struct EndLine {};
inline constexpr EndLine endl{};

// A whole line of texts and numbers, built in place, that a stream takes as
// one insertion, its end of line and flush included, so another thread's
// output cannot come between its parts. Every line the program writes is
// one. Whatever goes beyond kCapacity characters is cut: callers build
// short lines.
class Line {
  public:
    static constexpr std::size_t kCapacity = 128;

    Line() { text_[0] = '\n'; }

    Line& operator<<(std::string_view text);
    Line& operator<<(std::int32_t value);
    Line& operator<<(Padded value);
    Line& operator<<(char) = delete;  // a char is text, not a number

    // The line with its end of line.
    std::string_view Terminated() const { return {text_.data(), used_ + 1}; }

  private:
    std::size_t used_ = 0;
    // The end of line always follows the text, one place beyond it; nothing
    // beyond that is read, so nothing is filled in.
    std::array<char, kCapacity + 1> text_;
};

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
    OutStream& operator<<(const Line& line);
    OutStream& operator<<(char) = delete;  // a char is text, not a number

    // Writes out whatever is buffered; no system call when nothing is.
    void Flush();

    // False for a stream whose file could not be opened.
    bool good() const { return fd_ >= 0; }

  private:
    void Insert(std::string_view bytes, bool flush);
    void WriteBufferLocked() REQUIRES(mutex_);

    // A platform mutex, so that a scheduler that runs the program's threads
    // sees every wait for a stream.
    CMutex mutex_;
    const int fd_;
    const Buffering buffering_;
    OutStream* const tie_;
    // Changed only under mutex_; Flush reads it without, to skip the lock
    // when nothing is buffered, as before every read from standard input.
    std::atomic<std::size_t> used_ = 0;
    std::array<char, 8192> buffer_{};
};

// Standard output: buffered until each end of line, each read from standard
// input and each write to standard error.
OutStream& StdOut();
// Standard error: written out at every insertion, after flushing StdOut.
OutStream& StdErr();

}  // namespace listpool
