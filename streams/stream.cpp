#include "streams/stream.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/io.h"

namespace listpool {

Line& Line::operator<<(std::string_view text) {
    const std::size_t length = std::min(text.size(), kCapacity - used_);
    std::memcpy(text_.data() + used_, text.data(), length);
    used_ += length;
    text_[used_] = '\n';
    return *this;
}

Line& Line::operator<<(std::int32_t value) {
    return *this << Padded{value, 0};
}

namespace {

// The decimal digits of value, filled on the left with spaces to at least
// width characters (at most 16 of them), written to the end of text.
std::string_view PaddedText(Padded value, std::array<char, 32>& text) {
    char* const digits = text.data() + 16;
    const auto result = std::to_chars(digits, text.data() + text.size(), value.value);
    const auto length = static_cast<int>(result.ptr - digits);
    const int fill = value.width > length ? std::min(value.width - length, 16) : 0;
    std::memset(digits - fill, ' ', static_cast<std::size_t>(fill));
    return {digits - fill, static_cast<std::size_t>(length + fill)};
}

}  // namespace

Line& Line::operator<<(Padded value) {
    std::array<char, 32> text;
    return *this << PaddedText(value, text);
}

OutStream::OutStream(int fd, Buffering buffering, OutStream* tie)
    : fd_(fd), buffering_(buffering), tie_(tie) {
    mutex_.NameForWrites(fd);
}

OutStream& OutStream::operator<<(std::string_view text) {
    Insert(text, false);
    return *this;
}

OutStream& OutStream::operator<<(std::int32_t value) {
    return *this << Padded{value, 0};
}

OutStream& OutStream::operator<<(Padded value) {
    std::array<char, 32> text;
    Insert(PaddedText(value, text), false);
    return *this;
}

OutStream& OutStream::operator<<(EndLine) {
    Insert("\n", true);
    return *this;
}

OutStream& OutStream::operator<<(const Line& line) {
    Insert(line.Terminated(), true);
    return *this;
}

void OutStream::Flush() {
    // A relaxed load is enough: an insertion that happened before this call
    // is seen, and one that did not may as well come after it.
    if (used_.load(std::memory_order_relaxed) == 0) {
        return;
    }
    CSingleLock lock(mutex_);
    WriteBufferLocked();
}

void OutStream::Insert(std::string_view bytes, bool flush) {
    if (fd_ < 0) {
        return;
    }
    if (tie_ != nullptr) {
        tie_->Flush();
    }
    flush = flush || buffering_ == Buffering::kNone;
    CSingleLock lock(mutex_);
    std::size_t used = used_.load(std::memory_order_relaxed);
    // Bytes that are to be written at once, with nothing buffered before
    // them, or that would not fit, go out from where they are.
    if ((flush && used == 0) || bytes.size() > buffer_.size() - used) {
        WriteBufferLocked();
        if (flush || bytes.size() > buffer_.size()) {
            WriteAll(fd_, bytes.data(), bytes.size());
            return;
        }
        used = 0;
    }
    std::memcpy(buffer_.data() + used, bytes.data(), bytes.size());
    used += bytes.size();
    used_.store(used, std::memory_order_relaxed);
    if (flush) {
        WriteBufferLocked();
    }
}

void OutStream::WriteBufferLocked() {
    const std::size_t used = used_.load(std::memory_order_relaxed);
    if (used != 0) {
        WriteAll(fd_, buffer_.data(), used);
        used_.store(0, std::memory_order_relaxed);
    }
}

OutStream& StdOut() {
    // Never destroyed: worker threads may still write while the process ends.
    static auto* const stream = new OutStream(kStdOut, OutStream::Buffering::kUntilFlush);
    return *stream;
}

OutStream& StdErr() {
    static auto* const stream = new OutStream(kStdErr, OutStream::Buffering::kNone, &StdOut());
    return *stream;
}

}  // namespace listpool
