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
    auto digit = static_cast<unsigned>(c - '0');
    if (digit > 9) {
        // Folds 'A'-'F' onto 'a'-'f'; anything else lands out of range.
        const auto letter = static_cast<unsigned>((c | 0x20) - 'a');
        digit = letter < 6 ? letter + 10 : 16;
    }
    return digit < static_cast<unsigned>(base) ? static_cast<int>(digit) : -1;
}

// What the text of one integer holds, from its first character on.
struct IntegerText {
    std::size_t length = 0;  // characters taken, sign and prefix included
    bool negative = false;
    bool digits = false;  // false: no number starts here
    std::int64_t magnitude = 0;
};

// Scans the text of one integer; at(i) yields the byte i places ahead, or -1
// past the end of input, and is called for no i of kMaxIntegerLength or more.
template <typename ByteAt>
IntegerText ScanInteger(ByteAt at) {
    constexpr std::size_t kMaxLength = InputScanner::kMaxIntegerLength;
    IntegerText text;
    text.negative = at(0) == '-';
    if (text.negative || at(0) == '+') {
        ++text.length;
    }
    int base = 10;
    if (at(text.length) == '0') {
        ++text.length;
        base = 8;
        text.digits = true;
        if (text.length < kMaxLength && (at(text.length) == 'x' || at(text.length) == 'X')) {
            ++text.length;
            base = 16;
            text.digits = false;
        }
    }
    // At most 15 characters: even 0x and 13 hexadecimal digits stay far
    // below the 64-bit limit, so the sum cannot overflow before the clamp.
    static_assert(kMaxLength <= 15);
    if (base == 10) {
        // Nearly every integer typed or piped in is decimal: one comparison
        // a digit, and a constant base.
        for (unsigned digit; text.length < kMaxLength &&
                             (digit = static_cast<unsigned>(at(text.length) - '0')) <= 9;
             ++text.length) {
            text.magnitude = text.magnitude * 10 + digit;
            text.digits = true;
        }
        return text;
    }
    for (int digit; text.length < kMaxLength && (digit = DigitValue(at(text.length), base)) >= 0;
         ++text.length) {
        text.magnitude = text.magnitude * base + digit;
        text.digits = true;
    }
    return text;
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
    // Runs through what is buffered, and refills only when that is all white.
    for (;;) {
        while (begin_ < end_ && IsWhiteSpace(static_cast<unsigned char>(buffer_[begin_]))) {
            ++begin_;
        }
        if (begin_ < end_) {
            return true;
        }
        if (Peek(0) < 0) {
            return false;
        }
    }
}

bool InputScanner::StartRead() {
    if (tie_ != nullptr) {
        tie_->Flush();
    }
    if (failed_ || !SkipWhiteSpace()) {
        failed_ = true;
        return false;
    }
    return true;
}

ReadResult InputScanner::ReadWord(char& first) {
    if (!StartRead()) {
        return ReadResult::kFailed;
    }
    first = static_cast<char>(Peek(0));
    for (int c = Peek(0); c >= 0 && !IsWhiteSpace(c); c = Peek(0)) {
        ++begin_;
    }
    return ReadResult::kRead;
}

ReadResult InputScanner::ReadInt(std::int32_t& value) {
    if (!StartRead()) {
        return ReadResult::kFailed;
    }
    // No integer looks further ahead than its longest text. When that much is
    // buffered, it is read in place; otherwise byte by byte through Peek,
    // which reads more input only for a byte it needs, so a number typed at
    // the end of a line is read without waiting for the next line.
    const char* const ahead = buffer_.data() + begin_;
    const IntegerText text =
        end_ - begin_ >= kMaxIntegerLength
            ? ScanInteger([ahead](std::size_t offset) {
                  return static_cast<int>(static_cast<unsigned char>(ahead[offset]));
              })
            : ScanInteger([this](std::size_t offset) { return Peek(offset); });
    if (!text.digits) {
        // Everything taken stays unread.
        value = 0;
        failed_ = true;
        return ReadResult::kNoDigit;
    }
    begin_ += text.length;
    const std::int64_t signedValue = text.negative ? -text.magnitude : text.magnitude;
    value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
    return ReadResult::kRead;
}

}  // namespace listpool
