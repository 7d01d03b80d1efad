#include "platform/stream.h"

#include <charconv>
#include <cstring>

#include "platform/io.h"

namespace listpool {

OutStream::OutStream(int fd, Buffering buffering, OutStream* tie)
    : fd_(fd), buffering_(buffering), tie_(tie) {}

OutStream& OutStream::operator<<(std::string_view text) {
    Insert(text, false);
    return *this;
}

OutStream& OutStream::operator<<(std::int32_t value) {
    return *this << Padded{value, 0};
}

OutStream& OutStream::operator<<(Padded value) {
    // Widths are small and fixed by the callers; anything wider than the
    // scratch space is printed at its natural width.
    char text[32];
    char* const digits = text + 16;
    const auto result = std::to_chars(digits, text + sizeof text, value.value);
    const auto length = static_cast<int>(result.ptr - digits);
    const int fill = value.width > length ? std::min(value.width - length, 16) : 0;
    std::memset(digits - fill, ' ', static_cast<std::size_t>(fill));
    Insert(std::string_view(digits - fill, static_cast<std::size_t>(length + fill)), false);
    return *this;
}

OutStream& OutStream::operator<<(EndLine) {
    Insert("\n", true);
    return *this;
}

void OutStream::Flush() {
    std::lock_guard lock(mutex_);
    WriteBufferLocked();
}

void OutStream::Insert(std::string_view bytes, bool flush) {
    if (fd_ < 0) {
        return;
    }
    if (tie_ != nullptr) {
        tie_->Flush();
    }
    std::lock_guard lock(mutex_);
    if (bytes.size() > buffer_.size() - used_) {
        WriteBufferLocked();
        if (bytes.size() > buffer_.size()) {
            WriteAll(fd_, bytes.data(), bytes.size());
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    if (flush || buffering_ == Buffering::kNone) {
        WriteBufferLocked();
    }
}

void OutStream::WriteBufferLocked() {
    if (used_ != 0) {
        WriteAll(fd_, buffer_.data(), used_);
        used_ = 0;
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
