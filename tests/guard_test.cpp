#include "store/read_write_guard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace listpool {
namespace {

using namespace std::chrono_literals;

// How long a thread that should be blocked is given to get in anyway, and
// how long one that should get in may take.
constexpr auto kBlockedFor = 200ms;
constexpr auto kGetsInWithin = 5s;

bool Ready(std::future<void>& f, std::chrono::milliseconds within) {
    return f.wait_for(within) == std::future_status::ready;
}

std::int32_t ReadersInside(ReadWriteGuard& guard) {
    guard.countMutex->Lock();
    const std::int32_t count = guard.readerCount;
    guard.countMutex->Unlock();
    return count;
}

// A thread that enters the guard, reports it, and leaves when told to.
class Visitor {
  public:
    enum class Kind { kReader, kWriter };

    Visitor(ReadWriteGuard& guard, Kind kind, std::vector<std::string>* order = nullptr,
            std::mutex* orderMutex = nullptr, std::string name = "")
        : entered_(enteredPromise_.get_future()),
          thread_([=, this, &guard, leave = leavePromise_.get_future()]() mutable {
              kind == Kind::kReader ? guard.BeginRead() : guard.BeginWrite();
              if (order != nullptr) {
                  std::lock_guard lock(*orderMutex);
                  order->push_back(name);
              }
              enteredPromise_.set_value();
              leave.wait();
              kind == Kind::kReader ? guard.EndRead() : guard.EndWrite();
          }) {}

    ~Visitor() {
        Leave();
        thread_.join();
    }

    bool EnteredWithin(std::chrono::milliseconds within) { return Ready(entered_, within); }

    void Leave() {
        if (!left_) {
            left_ = true;
            leavePromise_.set_value();
        }
    }

  private:
    std::promise<void> enteredPromise_;
    std::promise<void> leavePromise_;
    std::future<void> entered_;
    bool left_ = false;
    std::thread thread_;
};

using Kind = Visitor::Kind;

TEST(ReadWriteGuardTest, ReadersOverlapAndAWriterWaitsForTheLastToLeave) {
    ReadWriteGuard guard;
    Visitor first(guard, Kind::kReader);
    ASSERT_TRUE(first.EnteredWithin(kGetsInWithin));
    Visitor second(guard, Kind::kReader);
    ASSERT_TRUE(second.EnteredWithin(kGetsInWithin)) << "a reader enters beside a reader";
    EXPECT_EQ(ReadersInside(guard), 2);

    Visitor writer(guard, Kind::kWriter);
    first.Leave();
    EXPECT_FALSE(writer.EnteredWithin(kBlockedFor)) << "one reader is still inside";
    second.Leave();
    EXPECT_TRUE(writer.EnteredWithin(kGetsInWithin));
    EXPECT_EQ(guard.readerCount, 0);  // read under countMutex, which the writer holds
}

TEST(ReadWriteGuardTest, ReaderArrivingBehindAComingWriterWaitsForItsWrite) {
    ReadWriteGuard guard;
    std::vector<std::string> order;
    std::mutex orderMutex;
    Visitor inside(guard, Kind::kReader);
    ASSERT_TRUE(inside.EnteredWithin(kGetsInWithin));
    Visitor writer(guard, Kind::kWriter, &order, &orderMutex, "writer");
    // The writer has closed the gate by now and waits for the reader inside.
    EXPECT_FALSE(writer.EnteredWithin(kBlockedFor));
    Visitor late(guard, Kind::kReader, &order, &orderMutex, "late reader");
    EXPECT_FALSE(late.EnteredWithin(kBlockedFor)) << "the gate is closed";

    inside.Leave();
    ASSERT_TRUE(writer.EnteredWithin(kGetsInWithin));
    EXPECT_FALSE(late.EnteredWithin(kBlockedFor)) << "the writer is inside";
    writer.Leave();
    ASSERT_TRUE(late.EnteredWithin(kGetsInWithin));
    EXPECT_EQ(order, (std::vector<std::string>{"writer", "late reader"}));
}

TEST(ReadWriteGuardTest, WritersGoOneAfterTheOther) {
    ReadWriteGuard guard;
    Visitor first(guard, Kind::kWriter);
    ASSERT_TRUE(first.EnteredWithin(kGetsInWithin));
    Visitor reader(guard, Kind::kReader);
    Visitor second(guard, Kind::kWriter);
    EXPECT_FALSE(second.EnteredWithin(kBlockedFor));
    EXPECT_FALSE(reader.EnteredWithin(0ms));
    first.Leave();
    // The reader and the second writer both wait; which one gets in first
    // depends on who passed the reopened gate, but never both at once.
    while (!second.EnteredWithin(10ms)) {
        if (reader.EnteredWithin(0ms)) {
            EXPECT_FALSE(second.EnteredWithin(kBlockedFor));
            reader.Leave();
        }
    }
    EXPECT_EQ(guard.readerCount, 0);
}

// A reader that passed the gate just before a writer closed it takes
// countMutex after the writer's wait for readers has returned: the writer must
// still not start until that reader has left. The test plays that reader's
// part by hand, holding countMutex so the writer stops just before it.
TEST(ReadWriteGuardTest, WriterNeverStartsBesideAReaderThatSlippedPastTheGate) {
    ReadWriteGuard guard;
    guard.gateEvent->Lock();
    guard.countMutex->Lock();

    std::atomic<std::int32_t> readersSeenByWriter{-1};
    std::promise<void> enteredPromise;
    std::future<void> entered = enteredPromise.get_future();
    std::thread writer([&] {
        guard.BeginWrite();
        readersSeenByWriter = guard.readerCount;
        enteredPromise.set_value();
        guard.EndWrite();
    });
    // Let the writer close the gate, pass the (still signalled) no-readers
    // event and block on countMutex.
    std::this_thread::sleep_for(kBlockedFor);
    ++guard.readerCount;
    guard.noReadersEvent->ResetEvent();
    guard.countMutex->Unlock();

    EXPECT_FALSE(Ready(entered, kBlockedFor)) << "the writer started beside a reader";
    guard.EndRead();
    EXPECT_TRUE(Ready(entered, kGetsInWithin));
    writer.join();
    EXPECT_EQ(readersSeenByWriter, 0);
}

// A second writer waiting on writerMutex while the first writes finds the gate
// reopened by the first one's EndWrite. Readers that keep overlapping must not
// keep it out. The test plays the first writer by hand, so that the readers
// are surely inside before the second writer gets writerMutex: EndWrite opens
// the gate and only then lets writerMutex go.
TEST(ReadWriteGuardTest, QueuedWriterGetsInPastOverlappingReaders) {
    ReadWriteGuard guard;
    guard.gateEvent->ResetEvent();
    guard.writerMutex->Lock();
    Visitor second(guard, Kind::kWriter);
    // The second writer closes the gate again and waits for writerMutex.
    EXPECT_FALSE(second.EnteredWithin(kBlockedFor));

    // Two readers relay: each stays inside until the other has come in after
    // it, so while the gate is open there is always one inside. Once the gate
    // is closed the other cannot come in, and the one inside gives up after
    // a while; the while is long beside a handover, so that a loaded machine
    // does not break the relay.
    std::atomic<bool> stop{false};
    std::atomic<int> entries{0};
    auto relay = [&] {
        while (!stop) {
            guard.BeginRead();
            const int mine = ++entries;
            const auto until = std::chrono::steady_clock::now() + 500ms;
            while (entries.load() == mine && !stop && std::chrono::steady_clock::now() < until) {
                std::this_thread::yield();
            }
            guard.EndRead();
        }
    };
    guard.gateEvent->SetEvent();
    std::thread readerA(relay);
    std::thread readerB(relay);
    while (entries.load() < 3) {
        std::this_thread::yield();
    }
    guard.writerMutex->Unlock();
    EXPECT_TRUE(second.EnteredWithin(3000ms)) << "the queued writer was kept out by readers";
    stop = true;
    second.Leave();
    readerA.join();
    readerB.join();
}

}  // namespace
}  // namespace listpool
