// Many readers and writers hammering ReadWriteGuard for a bounded time, each
// checking on the way in who else is inside. LISTPOOL_STRESS_SECONDS sets how
// long each test runs (3 s unless given).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/read_write_guard.h"

namespace listpool {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A thread whose count has not moved for this long is taken to be stuck. The
// writers pause between sections, so no reader waits more than a moment even
// under ThreadSanitizer on a loaded machine.
constexpr auto kStallLimit = 20s;

Clock::duration RunTime() {
    const char* text = std::getenv("LISTPOOL_STRESS_SECONDS");
    if (text != nullptr) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && seconds > 0 && seconds < 1e6) {
            return std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(seconds));
        }
    }
    return 3s;
}

// Small, fast and per thread: only varies how long sections last.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

  private:
    std::uint32_t state_;
};

// The counters of the first violation seen, kept for the failure message.
class Tally {
  public:
    void Violation(const std::string& what) {
        if (violations_.fetch_add(1) == 0) {
            std::lock_guard lock(mutex_);
            first_ = what;
        }
    }
    std::uint64_t violations() const { return violations_.load(); }
    std::string first() {
        std::lock_guard lock(mutex_);
        return first_;
    }

    std::atomic<std::uint64_t> reads{0};
    std::atomic<std::uint64_t> writes{0};

  private:
    std::atomic<std::uint64_t> violations_{0};
    std::mutex mutex_;
    std::string first_;
};

// A guard with the bookkeeping its visitors check, and a plain payload that
// only writers change: a torn payload, or ThreadSanitizer, shows an overlap
// that happened outside the counted part of a section.
struct Watched {
    explicit Watched(const char* guardName) : name(guardName) {}

    const char* name;
    ReadWriteGuard guard;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::array<std::uint64_t, 8> payload{};
};

void Spin(Random& random) {
    // Mostly short sections, some long enough to be preempted inside.
    const std::uint32_t roll = random.Next() % 64;
    if (roll == 0) {
        std::this_thread::yield();
        return;
    }
    for (std::uint32_t i = 0; i < roll; ++i) {
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
}

void EnterRead(Watched& w, Tally& tally) {
    w.guard.BeginRead();
    ++w.readers;
    if (w.writers.load() != 0) {
        tally.Violation(std::string("a reader entered ") + w.name + " beside a writer");
    }
    for (std::uint64_t word : w.payload) {
        if (word != w.payload[0]) {
            tally.Violation(std::string("a reader of ") + w.name + " saw a write half done");
            break;
        }
    }
    ++tally.reads;
}

void LeaveRead(Watched& w) {
    --w.readers;
    w.guard.EndRead();
}

void EnterWrite(Watched& w, Tally& tally) {
    w.guard.BeginWrite();
    if (++w.writers != 1) {
        tally.Violation(std::string("two writers inside ") + w.name);
    }
    if (w.readers.load() != 0) {
        tally.Violation(std::string("a writer entered ") + w.name + " beside a reader");
    }
    const std::uint64_t next = w.payload[0] + 1;
    for (std::uint64_t& word : w.payload) {
        word = next;
    }
    ++tally.writes;
}

void LeaveWrite(Watched& w) {
    --w.writers;
    w.guard.EndWrite();
}

// One visitor's section; called over and over by its thread.
using Section = std::function<void(Random&)>;

struct Visitor {
    std::string name;
    Section section;
    // Writers pause between sections so that readers, which a writer-preferring
    // guard holds back while any writer is coming in, get their turns too.
    bool pausesBetween;
};

// Runs every visitor on its own thread for RunTime(), with a watchdog that
// ends the process, naming the stuck threads, when one stops making progress
// (a deadlock, or a visitor shut out for good). Yields each visitor's count.
std::vector<std::uint64_t> RunVisitors(const std::vector<Visitor>& visitors) {
    const std::size_t count = visitors.size();
    std::vector<std::atomic<std::uint64_t>> done(count);
    std::vector<std::atomic<bool>> finished(count);
    std::atomic<bool> stop{false};
    std::atomic<bool> allJoined{false};

    std::thread watchdog([&] {
        std::vector<std::uint64_t> seen(count, 0);
        std::vector<Clock::time_point> since(count, Clock::now());
        while (!allJoined.load()) {
            std::this_thread::sleep_for(50ms);
            const Clock::time_point now = Clock::now();
            bool stuck = false;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t current = done[i].load();
                if (current != seen[i] || finished[i].load()) {
                    seen[i] = current;
                    since[i] = now;
                } else if (now - since[i] > kStallLimit) {
                    stuck = true;
                }
            }
            if (stuck) {
                std::fprintf(stderr, "guard stress: no progress for %lld s, stopping the run\n",
                             static_cast<long long>(kStallLimit / 1s));
                for (std::size_t i = 0; i < count; ++i) {
                    std::fprintf(stderr, "  %-24s %12llu sections%s\n", visitors[i].name.c_str(),
                                 static_cast<unsigned long long>(seen[i]),
                                 finished[i].load()             ? ", finished"
                                 : now - since[i] > kStallLimit ? ", STUCK"
                                                                : "");
                }
                std::fflush(stderr);
                std::abort();
            }
        }
    });

    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            Random random(static_cast<std::uint32_t>(i + 1));
            while (!stop.load(std::memory_order_relaxed)) {
                visitors[i].section(random);
                done[i].fetch_add(1, std::memory_order_relaxed);
                const std::uint32_t roll = random.Next();
                if (visitors[i].pausesBetween && roll % 4 == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(roll / 4 % 200));
                } else if (visitors[i].pausesBetween || roll % 8 == 0) {
                    std::this_thread::yield();
                }
            }
            finished[i] = true;
        });
    }
    std::this_thread::sleep_for(RunTime());
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    allJoined = true;
    watchdog.join();

    std::vector<std::uint64_t> counts;
    for (std::size_t i = 0; i < count; ++i) {
        counts.push_back(done[i].load());
        std::printf("  %-24s %12llu sections\n", visitors[i].name.c_str(),
                    static_cast<unsigned long long>(counts.back()));
    }
    return counts;
}

void ExpectEveryoneGotIn(const std::vector<Visitor>& visitors,
                         const std::vector<std::uint64_t>& counts) {
    for (std::size_t i = 0; i < visitors.size(); ++i) {
        EXPECT_GT(counts[i], 0u) << visitors[i].name << " never got in";
    }
}

void Report(const char* what, Tally& tally, std::size_t threads) {
    std::printf(
        "%s: %llu guard sections (%llu reads, %llu writes) on %zu threads, %llu violations\n", what,
        static_cast<unsigned long long>(tally.reads + tally.writes),
        static_cast<unsigned long long>(tally.reads.load()),
        static_cast<unsigned long long>(tally.writes.load()), threads,
        static_cast<unsigned long long>(tally.violations()));
    testing::Test::RecordProperty("sections", std::to_string(tally.reads + tally.writes));
    testing::Test::RecordProperty("violations", std::to_string(tally.violations()));
}

TEST(GuardStressTest, ReadersAndWritersOnOneGuardNeverOverlap) {
    Watched guarded("the guard");
    Tally tally;
    const Section read = [&](Random& random) {
        EnterRead(guarded, tally);
        Spin(random);
        LeaveRead(guarded);
    };
    const Section write = [&](Random& random) {
        EnterWrite(guarded, tally);
        Spin(random);
        LeaveWrite(guarded);
    };
    std::vector<Visitor> visitors;
    for (int i = 1; i <= 4; ++i) {
        visitors.push_back({"reader " + std::to_string(i), read, false});
    }
    for (int i = 1; i <= 3; ++i) {
        visitors.push_back({"writer " + std::to_string(i), write, true});
    }

    const std::vector<std::uint64_t> counts = RunVisitors(visitors);

    Report("one guard", tally, visitors.size());
    EXPECT_EQ(tally.violations(), 0u) << "first: " << tally.first();
    ExpectEveryoneGotIn(visitors, counts);
    EXPECT_GT(tally.writes.load(), 0u);
    EXPECT_GT(tally.reads.load(), 0u);
}

// The pool's guard is always entered before the list's: the console writes
// both, the garbage worker writes the pool and reads the list, the print and
// find workers read the list and the pool dump reads the pool.
TEST(GuardStressTest, PoolThenListOrderOfConsoleAndWorkersNeverOverlapsOrDeadlocks) {
    Watched pool("the pool");
    Watched list("the list");
    Tally tally;
    const Section console = [&](Random& random) {
        EnterWrite(pool, tally);
        EnterWrite(list, tally);
        Spin(random);
        LeaveWrite(list);
        LeaveWrite(pool);
    };
    const Section garbage = [&](Random& random) {
        EnterWrite(pool, tally);
        Spin(random);
        EnterRead(list, tally);
        Spin(random);
        LeaveRead(list);
        LeaveWrite(pool);
    };
    const Section listReader = [&](Random& random) {
        EnterRead(list, tally);
        Spin(random);
        LeaveRead(list);
    };
    const Section poolDump = [&](Random& random) {
        EnterRead(pool, tally);
        Spin(random);
        LeaveRead(pool);
    };
    std::vector<Visitor> visitors = {
        {"console insert", console, true},    {"console delete", console, true},
        {"garbage worker 1", garbage, true},  {"garbage worker 2", garbage, true},
        {"print worker", listReader, false},  {"find worker 1", listReader, false},
        {"find worker 2", listReader, false}, {"pool dump", poolDump, false},
    };

    const std::vector<std::uint64_t> counts = RunVisitors(visitors);

    Report("pool then list", tally, visitors.size());
    EXPECT_EQ(tally.violations(), 0u) << "first: " << tally.first();
    ExpectEveryoneGotIn(visitors, counts);
}

}  // namespace
}  // namespace listpool
