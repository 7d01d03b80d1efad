#include "console/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "captured_stream.h"

namespace listpool {
namespace {

// Hands out a string in chunks of a fixed size, so reads cross refills, or
// one line (up to and with its newline) a read.
class StringSource final : public ByteSource {
  public:
    explicit StringSource(std::string text, std::size_t chunk = 1 << 20)
        : text_(std::move(text)), chunk_(chunk) {}

    std::size_t Read(char* data, std::size_t size) override {
        std::size_t n = std::min({size, chunk_, text_.size() - position_});
        if (lineByLine) {
            const std::size_t newline = text_.find('\n', position_);
            n = std::min(size,
                         (newline == std::string::npos ? text_.size() : newline + 1) - position_);
        }
        std::memcpy(data, text_.data() + position_, n);
        position_ += n;
        ++reads;
        return n;
    }

    int reads = 0;
    bool lineByLine = false;

  private:
    std::string text_;
    std::size_t chunk_;
    std::size_t position_ = 0;
};

struct IntCase {
    const char* input;
    std::int32_t value;
    const char* rest;  // the next word after the number, "" for end of input
};

class ScannerIntTest : public testing::TestWithParam<std::size_t> {
  protected:
    // Reads one integer from input and then the next word, which shows what
    // the integer read left unread.
    void Check(const IntCase& c) {
        SCOPED_TRACE(std::string("input \"") + c.input + "\"");
        StringSource source(c.input, GetParam());
        InputScanner in(source);
        std::int32_t value = 77;
        ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
        EXPECT_EQ(value, c.value);
        char first = '?';
        const ReadResult next = in.ReadWord(first);
        if (*c.rest == '\0') {
            EXPECT_EQ(next, ReadResult::kFailed);
        } else {
            ASSERT_EQ(next, ReadResult::kRead);
            EXPECT_EQ(first, *c.rest);
        }
    }
};

TEST_P(ScannerIntTest, ReadsEachNotationAndLeavesTheRest) {
    const IntCase cases[] = {
        {"42", 42, ""},
        {"  \t\n\v\f\r 42 z", 42, "z"},
        {"-17", -17, ""},
        {"+17", 17, ""},
        {"010", 8, ""},
        {"0x10", 16, ""},
        {"0X1f", 31, ""},
        {"-0x1F", -31, ""},
        {"+017", 15, ""},
        {"0", 0, ""},
        {"09", 0, "9"},
        {"08x", 0, "8"},
        {"0xfg", 15, "g"},
        {"12ab", 12, "a"},
        {"5-3", 5, "-"},
        {"1234567890123456789", 2147483647, "6"},
        {"2147483647", 2147483647, ""},
        {"2147483648", 2147483647, ""},
        {"-2147483648", -2147483648, ""},
        {"-2147483649", -2147483648, ""},
        {"-99999999999999999", -2147483648, "9"},
        {"0x7fffffffffffffffff", 2147483647, "f"},
        {"000000000000000001", 0, "0"},
    };
    for (const IntCase& c : cases) {
        Check(c);
    }
}

TEST_P(ScannerIntTest, FifteenCharacterLimitCountsSignAndPrefix) {
    // 15 characters: sign, prefix and 12 hex digits; the 13th digit is left.
    Check({"-0x0000000000012", -1, "2"});
    Check({"+00000000000000789", 0, "7"});
    Check({"123456789012345 6", 2147483647, "6"});
}

TEST_P(ScannerIntTest, NoDigitStoresZeroPutsEverythingBackAndFails) {
    for (const char* input : {"x", "-", "+", "- 5", "0x", "0xg", "-0x", "+0Xz"}) {
        SCOPED_TRACE(input);
        StringSource source(input, GetParam());
        InputScanner in(source);
        std::int32_t value = 77;
        EXPECT_EQ(in.ReadInt(value), ReadResult::kNoDigit);
        EXPECT_EQ(value, 0);
        EXPECT_TRUE(in.failed());
        // Every later read fails at once and leaves its target alone.
        value = 5;
        char first = '?';
        EXPECT_EQ(in.ReadInt(value), ReadResult::kFailed);
        EXPECT_EQ(in.ReadWord(first), ReadResult::kFailed);
        EXPECT_EQ(value, 5);
        EXPECT_EQ(first, '?');
    }
}

TEST_P(ScannerIntTest, EndOfInputFailsAndLeavesTargetUnchanged) {
    for (const char* input : {"", "   \n\t "}) {
        StringSource source(input, GetParam());
        InputScanner in(source);
        std::int32_t value = 77;
        EXPECT_EQ(in.ReadInt(value), ReadResult::kFailed);
        EXPECT_EQ(value, 77);
        EXPECT_TRUE(in.failed());
    }
    // A number that ends exactly at the end of input is read normally.
    StringSource source("12", GetParam());
    InputScanner in(source);
    std::int32_t value = 77;
    EXPECT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(value, 12);
    EXPECT_FALSE(in.failed());
    EXPECT_EQ(in.ReadInt(value), ReadResult::kFailed);
    EXPECT_EQ(value, 12);
}

TEST_P(ScannerIntTest, ReadsASequenceOfMixedNotations) {
    StringSource source("i 09 0x1F 017 -1\nd +9 q", GetParam());
    InputScanner in(source);
    char word = '?';
    std::int32_t value = 0;
    ASSERT_EQ(in.ReadWord(word), ReadResult::kRead);
    EXPECT_EQ(word, 'i');
    for (std::int32_t expected : {0, 9, 31, 15, -1}) {
        ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
        EXPECT_EQ(value, expected);
    }
    ASSERT_EQ(in.ReadWord(word), ReadResult::kRead);
    EXPECT_EQ(word, 'd');
    ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(value, 9);
    ASSERT_EQ(in.ReadWord(word), ReadResult::kRead);
    EXPECT_EQ(word, 'q');
    EXPECT_EQ(in.ReadWord(word), ReadResult::kFailed);
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, ScannerIntTest, testing::Values(1, 2, 3, 7, 1 << 20),
                         [](const auto& info) { return "chunk" + std::to_string(info.param); });

TEST(ScannerWordTest, WordsOfAnyLengthAreConsumedWhole) {
    std::string input(1'000'000, 'i');
    static constexpr char kTail[] = " \x01\x80\xff-x\0tail q \0";
    input.append(kTail, sizeof kTail - 1);
    StringSource source(input, 4096);
    InputScanner in(source);
    char first = '?';
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, 'i');
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, '\x01');
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, 'q');
    // A NUL byte is not white space: it is a word of its own here.
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, '\0');
    EXPECT_EQ(in.ReadWord(first), ReadResult::kFailed);
}

// Typed at a terminal, each line arrives by itself and the next one only
// once the command before it has run: a read that looks past the white space
// ending its word or number would wait for a line that is not coming yet.
// Here every line is one Read of the source.
TEST(ScannerLineTest, WordOrNumberEndingALineIsReadWithoutAskingForTheNext) {
    StringSource source("i\n12\n-0x1f\nab\n7");
    source.lineByLine = true;
    InputScanner in(source);
    char first = '?';
    std::int32_t value = 0;
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, 'i');
    EXPECT_EQ(source.reads, 1);
    ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(source.reads, 2);
    ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(value, -31);
    EXPECT_EQ(source.reads, 3);
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(first, 'a');
    EXPECT_EQ(source.reads, 4);
    ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(value, 7);
}

// The prompt written before a read must be out before the read can wait.
TEST(ScannerLineTest, EveryReadFlushesTheTiedStreamFirst) {
    StringSource source("p 5 q");
    CapturedStream out;
    InputScanner in(source, &out.stream());
    char first = '?';
    std::int32_t value = 0;
    out.stream() << "command? ";
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(out.Written(), "command? ");
    out.stream() << "number? ";
    ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
    EXPECT_EQ(out.Written(), "command? number? ");
    out.stream() << "again? ";
    ASSERT_EQ(in.ReadWord(first), ReadResult::kRead);
    EXPECT_EQ(out.Written(), "command? number? again? ");
}

TEST(ScannerBlockTest, ReadsInBlocksNotBytes) {
    std::string input;
    for (int i = 0; i < 100'000; ++i) {
        input += std::to_string(i) + ' ';
    }
    StringSource source(input);
    InputScanner in(source);
    std::int32_t value = 0;
    for (int i = 0; i < 100'000; ++i) {
        ASSERT_EQ(in.ReadInt(value), ReadResult::kRead);
        ASSERT_EQ(value, i);
    }
    // About 590 kB in 64 KiB blocks, plus the read that finds the end.
    EXPECT_LT(source.reads, 20);
}

}  // namespace
}  // namespace listpool
