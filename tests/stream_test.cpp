#include "streams/stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sstream>
#include <string>
#include <thread>

#include "captured_stream.h"

namespace listpool {
namespace {

TEST(OutStreamTest, WidthsPadOnTheLeftAndNeverCut) {
    CapturedStream out;
    out.stream() << Padded{3, 2} << "|" << Padded{-1, 5} << "|" << Padded{123456, 5} << "|"
                 << Padded{-2147483647 - 1, 5} << "|" << 42 << "|" << Padded{7, 0} << endl;
    EXPECT_EQ(out.Text(), " 3|   -1|123456|-2147483648|42|7\n");
}

TEST(OutStreamTest, BuffersUntilEndOfLineOrFlush) {
    std::FILE* file = std::tmpfile();
    OutStream stream(fileno(file), OutStream::Buffering::kUntilFlush);
    auto written = [&] { return lseek(fileno(file), 0, SEEK_END); };
    stream << "partial" << 5;
    EXPECT_EQ(written(), 0);
    stream << endl;
    EXPECT_EQ(written(), 9);
    stream << "more\n";
    EXPECT_EQ(written(), 9) << "a newline inside a text does not flush";
    stream.Flush();
    EXPECT_EQ(written(), 14);
    std::fclose(file);
}

TEST(OutStreamTest, TiedStreamIsFlushedBeforeEveryInsertion) {
    CapturedStream out;
    std::FILE* file = std::tmpfile();
    OutStream errors(fileno(file), OutStream::Buffering::kNone, &out.stream());
    out.stream() << "prompt? ";
    EXPECT_EQ(out.Written(), "");
    errors << "x";
    EXPECT_EQ(out.Written(), "prompt? ");
    EXPECT_EQ(lseek(fileno(file), 0, SEEK_END), 1) << "unbuffered: written at once";
    std::fclose(file);
}

TEST(OutStreamTest, TextsLongerThanTheBufferArriveWholeAndInOrder) {
    CapturedStream out;
    const std::string big(100'000, 'b');
    out.stream() << "a" << big << "c" << endl;
    EXPECT_EQ(out.Text(), "a" + big + "c\n");
}

// A failed stream must not hand its bytes to the platform at all: a write to
// descriptor -1 fails with EBADF here, and on Windows the C runtime's check
// of the descriptor may end the process. errno shows whether one was tried.
TEST(OutStreamTest, FailedStreamDropsEverythingWithoutTryingToWrite) {
    const std::string big(100'000, 'x');  // beyond the buffer, written from where it is
    for (const auto buffering : {OutStream::Buffering::kUntilFlush, OutStream::Buffering::kNone}) {
        OutStream failed(-1, buffering);
        EXPECT_FALSE(failed.good());
        errno = 0;
        failed << "dropped" << 1 << Padded{2, 3} << endl;
        failed << (Line() << "a whole line");
        failed << big;
        failed << "buffered";
        failed.Flush();
        EXPECT_EQ(errno, 0) << "a failed stream tried to write";
    }
}

// Both threads spend nearly all their time copying into the shared buffer,
// with an end of line (a write) every eighth item, so that a stream that let
// them in together would lose, tear or repeat items.
TEST(OutStreamTest, InsertionsFromSeveralThreadsNeverMix) {
    CapturedStream out;
    constexpr int kItems = 16000;
    constexpr std::size_t kLength = 1000;
    const std::string a(kLength, 'a');
    const std::string b(kLength, 'b');
    std::atomic<int> ready{0};
    auto writer = [&](const std::string& text) {
        ++ready;
        while (ready.load() < 2) {
            std::this_thread::yield();
        }
        for (int i = 1; i <= kItems; ++i) {
            out.stream() << text;
            if (i % 8 == 0) {
                out.stream() << endl;
            }
        }
    };
    std::thread first(writer, a);
    std::thread second(writer, b);
    first.join();
    second.join();
    const std::string text = out.Text();
    ASSERT_EQ(text.size(), 2u * (kItems * kLength + kItems / 8));
    // Every item arrived whole: runs of one letter are whole items long.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            continue;
        }
        ++run;
        const std::size_t next = text.find_first_not_of("\n", i + 1);
        if (next == std::string::npos || text[next] != text[i]) {
            ASSERT_EQ(run % kLength, 0u) << "an item was split at " << i;
            run = 0;
        }
    }
}

TEST(LineTest, IsWrittenWholeWithItsEndOfLineAndCutAtCapacity) {
    CapturedStream out;
    out.stream() << "before ";
    out.stream() << (Line() << "key " << -2147483647 - 1 << " and " << 0);
    EXPECT_EQ(out.Written(), "before key -2147483648 and 0\n") << "flushed at once";

    const std::string tooLong(Line::kCapacity - 3, 'x');
    out.stream() << (Line() << tooLong << 123456 << "more");
    out.stream() << Line();
    EXPECT_EQ(out.Text(), "before key -2147483648 and 0\n" + tooLong + "123\n\n");
}

TEST(LineTest, LinesFromSeveralThreadsNeverInterleave) {
    CapturedStream out;
    constexpr int kLines = 5000;
    auto writer = [&](std::string_view word) {
        for (int i = 0; i < kLines; ++i) {
            out.stream() << (Line() << word << " " << i << " " << word);
        }
    };
    std::thread first(writer, "first");
    std::thread second(writer, "second");
    first.join();
    second.join();
    std::istringstream lines(out.Text());
    int next[2] = {0, 0};
    std::string line;
    while (std::getline(lines, line)) {
        const int who = line.starts_with("first ") ? 0 : 1;
        const std::string word = who == 0 ? "first" : "second";
        ASSERT_EQ(line, word + " " + std::to_string(next[who]) + " " + word);
        ++next[who];
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

}  // namespace
}  // namespace listpool
