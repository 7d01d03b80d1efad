// Fuzz target for InputScanner: each input is scanned by the real scanner,
// fed in chunks of varying size, and by a plain reference over the whole text;
// every read must give the same result, value and failed state.
//
// An input is the text to scan, a NUL byte, then control bytes: everything
// after the last NUL (none when there is no NUL, and then the whole input is
// text). Control byte k picks read k, cycling: low bit set for ReadWord,
// clear for ReadInt. Control bytes taken from the back, cycling, size the
// chunks the source hands out: the byte shifted right by one, 0 meaning all
// that is left. Without control bytes every third read is a word and the
// source hands out one byte at a time.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "console/input.h"

namespace listpool {
namespace {

constexpr std::string_view kWhiteSpace(" \t\n\v\f\r", 6);

// The scanner's rules, restated over the whole text with an index and no
// buffering: an integer is parsed inside a window of its first 15 characters.
class ReferenceScanner {
  public:
    explicit ReferenceScanner(std::string_view text) : text_(text) {}

    ReadResult ReadWord(char& first) {
        if (!SkipWhiteSpace()) {
            return ReadResult::kFailed;
        }
        first = text_[position_];
        position_ = std::min(text_.find_first_of(kWhiteSpace, position_), text_.size());
        return ReadResult::kRead;
    }

    ReadResult ReadInt(std::int32_t& value) {
        if (!SkipWhiteSpace()) {
            return ReadResult::kFailed;
        }
        const std::string_view window = text_.substr(position_, InputScanner::kMaxIntegerLength);
        std::size_t at = 0;
        bool negative = false;
        if (window[0] == '-' || window[0] == '+') {
            negative = window[0] == '-';
            at = 1;
        }
        std::string_view digitSet = "0123456789";
        int base = 10;
        if (window.substr(at, 2) == "0x" || window.substr(at, 2) == "0X") {
            digitSet = "0123456789abcdefABCDEF";
            base = 16;
            at += 2;
        } else if (window.substr(at, 1) == "0") {
            // The leading 0 is an octal digit itself.
            digitSet = "01234567";
            base = 8;
        }
        const std::size_t end = std::min(window.find_first_not_of(digitSet, at), window.size());
        if (end == at) {
            value = 0;
            failed_ = true;
            return ReadResult::kNoDigit;
        }
        // Fifteen characters at most: even all decimal digits fit 64 bits.
        std::int64_t magnitude = 0;
        const auto parsed =
            std::from_chars(window.data() + at, window.data() + end, magnitude, base);
        if (parsed.ec != std::errc{} || parsed.ptr != window.data() + end) {
            std::fprintf(stderr, "reference scanner could not parse its own digits\n");
            std::abort();
        }
        const std::int64_t signedValue = negative ? -magnitude : magnitude;
        if (signedValue > std::numeric_limits<std::int32_t>::max()) {
            value = std::numeric_limits<std::int32_t>::max();
        } else if (signedValue < std::numeric_limits<std::int32_t>::min()) {
            value = std::numeric_limits<std::int32_t>::min();
        } else {
            value = static_cast<std::int32_t>(signedValue);
        }
        position_ += end;
        return ReadResult::kRead;
    }

    bool failed() const { return failed_; }

  private:
    // Yields false, failing the scanner, when input failed before or ends first.
    bool SkipWhiteSpace() {
        if (failed_) {
            return false;
        }
        position_ = std::min(text_.find_first_not_of(kWhiteSpace, position_), text_.size());
        failed_ = position_ == text_.size();
        return !failed_;
    }

    std::string_view text_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

// Hands out the text in chunks whose sizes the control bytes choose.
class ChunkedSource final : public ByteSource {
  public:
    ChunkedSource(std::string_view text, std::string_view control)
        : text_(text), control_(control) {}

    std::size_t Read(char* data, std::size_t size) override {
        std::size_t chunk = 1;
        if (!control_.empty()) {
            const auto byte = static_cast<unsigned char>(
                control_[control_.size() - 1 - refills_ % control_.size()]);
            chunk = byte >> 1;
            if (chunk == 0) {
                chunk = text_.size();
            }
        }
        ++refills_;
        const std::size_t n = std::min({size, chunk, text_.size() - position_});
        std::memcpy(data, text_.data() + position_, n);
        position_ += n;
        return n;
    }

  private:
    std::string_view text_;
    std::string_view control_;
    std::size_t position_ = 0;
    std::size_t refills_ = 0;
};

const char* Name(ReadResult result) {
    switch (result) {
        case ReadResult::kRead:
            return "read";
        case ReadResult::kNoDigit:
            return "no digit";
        case ReadResult::kFailed:
            return "failed";
    }
    return "?";
}

[[noreturn]] void Differ(std::string_view text, std::size_t readIndex, const char* kind,
                         ReadResult got, long long gotValue, bool gotFailed, ReadResult want,
                         long long wantValue, bool wantFailed) {
    std::fprintf(stderr,
                 "read %zu (%s) differs: scanner %s, value %lld, failed %d; reference %s, value "
                 "%lld, failed %d\ntext (%zu bytes):",
                 readIndex, kind, Name(got), gotValue, gotFailed, Name(want), wantValue, wantFailed,
                 text.size());
    for (std::size_t i = 0; i < text.size() && i < 256; ++i) {
        std::fprintf(stderr, " %02x", static_cast<unsigned char>(text[i]));
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

void Check(std::string_view text, std::string_view control) {
    ChunkedSource source(text, control);
    // The scanner's buffer is large; keep it off the stack.
    const auto scanner = std::make_unique<InputScanner>(source);
    ReferenceScanner reference(text);

    // Every successful read consumes a character, so the reads end in a
    // failure within text.size() + 1; two more show that it sticks.
    std::size_t readsAfterFailure = 0;
    for (std::size_t k = 0; readsAfterFailure < 2; ++k) {
        if (reference.failed()) {
            ++readsAfterFailure;
        }
        const bool word = control.empty() ? k % 3 == 0 : (control[k % control.size()] & 1) != 0;
        if (word) {
            // A target differing from both possible outcomes shows whether it was left alone.
            const char untouched = static_cast<char>(0xA5 ^ k);
            char got = untouched;
            char want = untouched;
            const ReadResult gotResult = scanner->ReadWord(got);
            const ReadResult wantResult = reference.ReadWord(want);
            if (gotResult != wantResult || got != want || scanner->failed() != reference.failed()) {
                Differ(text, k, "word", gotResult, got, scanner->failed(), wantResult, want,
                       reference.failed());
            }
        } else {
            const auto untouched = static_cast<std::int32_t>(0x5A5A0000 + k % 0x10000);
            std::int32_t got = untouched;
            std::int32_t want = untouched;
            const ReadResult gotResult = scanner->ReadInt(got);
            const ReadResult wantResult = reference.ReadInt(want);
            if (gotResult != wantResult || got != want || scanner->failed() != reference.failed()) {
                Differ(text, k, "integer", gotResult, got, scanner->failed(), wantResult, want,
                       reference.failed());
            }
        }
    }
}

}  // namespace
}  // namespace listpool

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.rfind('\0');
    if (split == std::string_view::npos) {
        listpool::Check(input, {});
    } else {
        listpool::Check(input.substr(0, split), input.substr(split + 1));
    }
    return 0;
}
