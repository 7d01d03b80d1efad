#include "console/input.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/io.h"

namespace listpool {
namespace {

bool IsWhiteSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of c as a digit of base, or -1.
int DigitValue(int c, int base) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    }
    return digit < base ? digit : -1;
}

}  // namespace

std::size_t FdSource::Read(char* data, std::size_t size) {
    return ReadSome(fd_, data, size);
}

InputScanner::InputScanner(ByteSource& source, OutStream* tie) : source_(source), tie_(tie) {}

int InputScanner::Peek(std::size_t ahead) {
    while (end_ - begin_ <= ahead) {
        if (sourceEnded_) {
            return -1;
        }
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        const std::size_t got = source_.Read(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0) {
            sourceEnded_ = true;
        }
        end_ += got;
    }
    return static_cast<unsigned char>(buffer_[begin_ + ahead]);
}

bool InputScanner::SkipWhiteSpace() {
    for (;;) {
        const int c = Peek(0);
        if (c < 0) {
            return false;
        }
        if (!IsWhiteSpace(c)) {
            return true;
        }
        ++begin_;
    }
}

ReadResult InputScanner::ReadWord(char& first) {
    if (tie_ != nullptr) {
        tie_->Flush();
    }
    if (failed_ || !SkipWhiteSpace()) {
        failed_ = true;
        return ReadResult::kFailed;
    }
    first = static_cast<char>(Peek(0));
    for (int c = Peek(0); c >= 0 && !IsWhiteSpace(c); c = Peek(0)) {
        ++begin_;
    }
    return ReadResult::kRead;
}

ReadResult InputScanner::ReadInt(std::int32_t& value) {
    if (tie_ != nullptr) {
        tie_->Flush();
    }
    if (failed_ || !SkipWhiteSpace()) {
        failed_ = true;
        return ReadResult::kFailed;
    }
    std::size_t taken = 0;
    const bool negative = Peek(0) == '-';
    if (negative || Peek(0) == '+') {
        ++taken;
    }
    int base = 10;
    bool digits = false;
    if (Peek(taken) == '0') {
        ++taken;
        base = 8;
        digits = true;
        if (taken < kMaxIntegerLength && (Peek(taken) == 'x' || Peek(taken) == 'X')) {
            ++taken;
            base = 16;
            digits = false;
        }
    }
    // Capped just above the 32-bit range, so the sum never overflows.
    constexpr std::int64_t kCap = std::int64_t{1} << 32;
    std::int64_t magnitude = 0;
    for (int digit; taken < kMaxIntegerLength && (digit = DigitValue(Peek(taken), base)) >= 0;
         ++taken) {
        magnitude = std::min(magnitude * base + digit, kCap);
        digits = true;
    }
    if (!digits) {
        // Everything taken stays unread.
        value = 0;
        failed_ = true;
        return ReadResult::kNoDigit;
    }
    begin_ += taken;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
    return ReadResult::kRead;
}

}  // namespace listpool
