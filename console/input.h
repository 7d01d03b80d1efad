// Reading command words and integers from a byte stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "streams/stream.h"

namespace listpool {

// Where the scanner's bytes come from.
class ByteSource {
  public:
    // Reads up to size bytes into data; yields 0 at the end of input.
    virtual std::size_t Read(char* data, std::size_t size) = 0;

  protected:
    ~ByteSource() = default;
};

// A ByteSource over a file descriptor, such as standard input.
class FdSource final : public ByteSource {
  public:
    explicit FdSource(int fd) : fd_(fd) {}
    std::size_t Read(char* data, std::size_t size) override;

  private:
    const int fd_;
};

enum class ReadResult {
    kRead,     // a value was read and its text consumed
    kNoDigit,  // nothing that starts a number: 0 stored, the text left unread
    kFailed,   // end of input, or input failed earlier: target left unchanged
};

// Reads white-space separated words and integers written as in C source
// (decimal, 0-prefixed octal, 0x-prefixed hexadecimal, optional sign), in
// blocks from its source. After a read that finds no digit or meets the end
// of input, the scanner is failed and every later read fails at once.
class InputScanner {
  public:
    // Integers take at most this many characters, sign and prefix included.
    static constexpr std::size_t kMaxIntegerLength = 15;

    // `tie`, when given, is flushed before every read.
    explicit InputScanner(ByteSource& source, OutStream* tie = nullptr);
    InputScanner(const InputScanner&) = delete;
    InputScanner& operator=(const InputScanner&) = delete;

    // Skips white space and consumes one word, however long, up to the next
    // white space (which stays unread); stores the word's first character.
    ReadResult ReadWord(char& first);

    // Skips white space and reads one integer, stopping at the first character
    // that does not fit or after kMaxIntegerLength characters. Values outside
    // the 32-bit range are clamped and count as read.
    ReadResult ReadInt(std::int32_t& value);

    bool failed() const { return failed_; }

  private:
    // The byte `ahead` places past the read position, or -1 past the end of
    // input. Refilling keeps every byte from the read position on.
    int Peek(std::size_t ahead);
    // Consumes white space; yields false when the input ends first.
    bool SkipWhiteSpace();
    // What every read does first: flushes the tied stream and skips white
    // space. Yields false, leaving the scanner failed, when nothing can be read.
    bool StartRead();

    ByteSource& source_;
    OutStream* const tie_;
    bool failed_ = false;
    bool sourceEnded_ = false;
    std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    std::size_t end_ = 0;
    std::array<char, 1 << 16> buffer_{};
};

}  // namespace listpool
