// What the simulator knows of the program's threads and streams from where
// each is made, never from what it writes.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/io.h"
#include "platform/sim.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "sim/runs/session.h"
#include "streams/stream.h"

namespace listpool::sim {
namespace {

// A thread is the kind of worker it was started as, whatever it writes, or
// whether it writes at all.
TEST(NamesTest, AThreadIsTheKindItWasStartedAs) {
    const Outcome outcome = sim::Run({}, {}, [] {
        StartThread(
            [](void*) {
                static constexpr char kText[] = "Thread: [PrintThread.0]: Done!\n";
                WriteAll(2, kText, sizeof kText - 1);
            },
            nullptr, "FindThread.3");
        StartThread([](void*) {}, nullptr, "GarbageThread.1");
        StartThread([](void*) {}, nullptr, "helper");
    });
    ASSERT_TRUE(outcome.ok()) << outcome.report;
    EXPECT_EQ(ThreadNames(outcome),
              (std::vector<std::string>{"console", "find 1", "garbage 2", "thread 3"}));
}

// The simulator names an output stream's mutex by its file from the
// stream's start, before anything is written under it; no other mutex.
TEST(NamesTest, AStreamsMutexIsNamedByItsFileFromItsStart) {
    struct Locks final : Observer {
        std::set<std::string> named;
        void OnNotice(const Notice& notice) override {
            if (notice.op == Op::kLock && notice.phase == Notice::kDone) {
                named.insert(std::string(notice.stream));
            }
        }
    } locks;
    Options options;
    options.observer = &locks;
    const Outcome outcome = sim::Run(options, {}, [] {
        // Never destroyed, as the program's streams: nothing flushes it.
        auto* log = new OutStream(OpenLogFile("named.log"), OutStream::Buffering::kUntilFlush);
        *log << "kept in the buffer";
        CMutex other;
        other.Lock();
        other.Unlock();
    });
    ASSERT_TRUE(outcome.ok()) << outcome.report;
    EXPECT_TRUE(outcome.writes.empty()) << "a write: this test shows nothing";
    EXPECT_EQ(locks.named, (std::set<std::string>{"", "named.log"}));
}

}  // namespace
}  // namespace listpool::sim
