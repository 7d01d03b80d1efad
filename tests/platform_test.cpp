#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

#include "platform/io.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "streams/stream.h"

namespace listpool {
namespace {

TEST(CEventTest, SignalledEventReleasesEveryWaiterUntilReset) {
    CEvent event;
    EXPECT_TRUE(event.Lock()) << "created signalled";
    EXPECT_TRUE(event.Lock()) << "a Lock leaves it signalled";
    event.ResetEvent();
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            event.Lock();
            ++released;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(released, 0) << "a reset event holds its waiters";
    event.SetEvent();
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(released, 4);
}

// Each round the waiter must see the set that follows its reset; a wake-up
// lost between the waiter's look and its sleep would hang here.
TEST(CEventTest, NoWakeUpIsLostBetweenLookingAndSleeping) {
    CEvent go;
    CEvent done;
    constexpr int kRounds = 20000;
    go.ResetEvent();
    done.ResetEvent();
    std::thread waiter([&] {
        for (int i = 0; i < kRounds; ++i) {
            go.Lock();
            go.ResetEvent();
            done.SetEvent();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        go.SetEvent();
        done.Lock();
        done.ResetEvent();
    }
    waiter.join();
}

// Each thread gives up the processor while inside, so that the other one
// tries to come in while it is there, on one core as on several: a mutex that
// lets it in shows up as a thread finding the other inside.
TEST(CMutexTest, LetsOneThreadInAtATime) {
    CMutex mutex;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> ready{0};
    auto work = [&] {
        ++ready;
        while (ready.load() < 2) {
            std::this_thread::yield();
        }
        for (int i = 0; i < 5000; ++i) {
            mutex.Lock();
            if (inside.fetch_add(1) != 0) {
                ++overlaps;
            }
            std::this_thread::yield();
            inside.fetch_sub(1);
            mutex.Unlock();
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(overlaps, 0);
}

TEST(ThreadTest, StartedThreadGetsItsArgument) {
    std::atomic<int> value{0};
    ASSERT_TRUE(StartThread([](void* p) { static_cast<std::atomic<int>*>(p)->store(42); }, &value,
                            "answer"));
    for (int i = 0; i < 1000 && value == 0; ++i) {
        SleepMs(5);
    }
    EXPECT_EQ(value, 42);
}

// GoogleTest catches what a death test's statement throws on its own
// thread, so the exceptions here are thrown on a started thread, as in a worker.
template <typename Exception>
void ThrowOnNewThread() {
    StartThread([](void*) { throw Exception(); }, nullptr, "thrower");
    SleepMs(10000);
}

using AbnormalTerminationDeathTest = testing::Test;

// On Windows GoogleTest reads a death test's standard error back in text mode,
// which turns each CR LF into a newline (a doubled CR would still show).
#ifdef _WIN32
constexpr char kAbnormalEnd[] = "^\nabnormal program termination\n$";
#else
constexpr char kAbnormalEnd[] = "^\r\nabnormal program termination\r\n$";
#endif

TEST_F(AbnormalTerminationDeathTest, UncaughtExceptionEndsTheProcessWithStatus3) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallAbnormalTermination();
            ThrowOnNewThread<CResourceException>();
        },
        testing::ExitedWithCode(3), kAbnormalEnd);
    EXPECT_EXIT(
        {
            InstallAbnormalTermination();
            ThrowOnNewThread<std::bad_alloc>();
        },
        testing::ExitedWithCode(3), kAbnormalEnd);
}

TEST_F(AbnormalTerminationDeathTest, BufferedOutputIsNotFlushed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::FILE* file = std::tmpfile();
    EXPECT_EXIT(
        {
            InstallAbnormalTermination();
            dup2(fileno(file), kStdOut);
            StdOut() << "buffered";
            ThrowOnNewThread<CResourceException>();
        },
        testing::ExitedWithCode(3), "");
    EXPECT_EQ(lseek(fileno(file), 0, SEEK_END), 0);
    std::fclose(file);
}

}  // namespace
}  // namespace listpool
