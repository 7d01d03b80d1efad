// Every interleaving, at the grain of platform calls, of two readers and two
// writers on one real ReadWriteGuard, up to a bound on preemptions (a switch
// away from a thread that could have gone on). The same search must find the
// fault in each broken guard, or it would prove nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "broken_guards.h"
#include "platform/sim.h"
#include "platform/thread.h"
#include "store/read_write_guard.h"

namespace listpool::sim {
namespace {

// The bound the proofs search to, and the broken guards are always searched
// to: they must be caught within it.
constexpr int kBound = 2;

struct SearchResult {
    std::uint64_t schedules = 0;
    std::string failure;  // the first failing schedule's, or ""
    std::vector<int> replay;
};

// Depth-first over the choice points, trying every thread that can go on at
// each, as long as the schedule stays within `bound` preemptions. `play`
// runs one schedule from a prefix of forced choices and yields the outcome
// and what went wrong in it, if anything.
template <typename Play>
SearchResult Search(int bound, Play play) {
    struct Point {
        Choice choice;
        std::vector<int> tried;
        int preemptionsBefore;
    };
    auto cost = [](const Choice& c) { return c.current != -1 && c.chosen != c.current ? 1 : 0; };
    SearchResult result;
    std::vector<Point> stack;
    std::vector<int> prefix;
    // A failure's schedule, replayed alone.
    if (const char* replay = std::getenv("LISTPOOL_GUARD_REPLAY")) {
        std::istringstream choices(replay);
        for (int thread; choices >> thread;) {
            prefix.push_back(thread);
        }
        const auto [outcome, failure] = play(prefix);
        result.schedules = 1;
        result.failure = failure;
        result.replay = prefix;
        return result;
    }
    for (;;) {
        const auto [outcome, failure] = play(prefix);
        ++result.schedules;
        if (!failure.empty()) {
            result.failure = failure;
            for (const Choice& choice : outcome.choices) {
                result.replay.push_back(choice.chosen);
            }
            return result;
        }
        for (std::size_t i = stack.size(); i < outcome.choices.size(); ++i) {
            const int before =
                stack.empty() ? 0 : stack.back().preemptionsBefore + cost(stack.back().choice);
            stack.push_back({outcome.choices[i], {outcome.choices[i].chosen}, before});
        }
        bool next = false;
        while (!stack.empty() && !next) {
            Point& point = stack.back();
            for (const int thread : point.choice.enabled) {
                Choice tried = point.choice;
                tried.chosen = thread;
                if (std::find(point.tried.begin(), point.tried.end(), thread) ==
                        point.tried.end() &&
                    point.preemptionsBefore + cost(tried) <= bound) {
                    point.tried.push_back(thread);
                    point.choice.chosen = thread;
                    next = true;
                    break;
                }
            }
            if (!next) {
                stack.pop_back();
            }
        }
        if (!next) {
            return result;
        }
        prefix.clear();
        for (const Point& point : stack) {
            prefix.push_back(point.choice.chosen);
        }
    }
}

// Two readers and two writers on one guard, each entering `entries` times;
// or, with `keepReading`, readers that overlap for as long as a writer has
// not finished.
template <typename Guard>
struct Scene {
    Guard* guard = nullptr;
    int entries = 2;
    bool keepReading = false;
    int readersInside = 0;
    int writersInside = 0;
    int writersDone = 0;
    std::string failure;

    void Fail(const std::string& what) {
        if (failure.empty()) {
            failure = what + " at " + std::to_string(NowMs()) + " ms in thread " +
                      std::to_string(CurrentThread());
        }
    }
    void CheckReader() {
        if (writersInside != 0) {
            Fail("a reader is inside with a writer");
        }
    }
    void CheckWriter() {
        if (readersInside != 0 || writersInside != 1) {
            Fail("a writer is inside with " + std::to_string(readersInside) + " reader(s) and " +
                 std::to_string(writersInside - 1) + " other writer(s)");
        }
    }

    static void Reader(void* self) {
        auto& scene = *static_cast<Scene*>(self);
        // Readers that keep overlapping: each section lasts a millisecond, so
        // the other reader comes back in before this one leaves. A writer
        // that readers can keep out would let them go on past this many.
        constexpr int kMaxSections = 12;
        for (int n = 0; scene.keepReading ? scene.writersDone < 2 : n < scene.entries; ++n) {
            if (n == kMaxSections) {
                scene.Fail("readers kept a writer out for " + std::to_string(n) + " sections");
                return;
            }
            scene.guard->BeginRead();
            ++scene.readersInside;
            scene.CheckReader();
            // Reading takes a moment, so the others run meanwhile.
            SleepMs(1);
            scene.CheckReader();
            --scene.readersInside;
            scene.guard->EndRead();
        }
    }
    static void Writer(void* self) {
        auto& scene = *static_cast<Scene*>(self);
        for (int n = 0; n < scene.entries; ++n) {
            scene.guard->BeginWrite();
            ++scene.writersInside;
            scene.CheckWriter();
            --scene.writersInside;
            scene.guard->EndWrite();
        }
        ++scene.writersDone;
    }
};

template <typename Guard>
SearchResult SearchGuard(int bound, bool keepReading) {
    return Search(bound, [keepReading](const std::vector<int>& prefix) {
        Scene<Guard> scene;
        scene.keepReading = keepReading;
        Options options;
        options.replay = prefix;
        options.recordChoices = true;
        Outcome outcome = Run(options, {}, [&scene] {
            scene.guard = new Guard;  // never destroyed, as in the program
            StartThread(Scene<Guard>::Reader, &scene);
            StartThread(Scene<Guard>::Reader, &scene);
            StartThread(Scene<Guard>::Writer, &scene);
            StartThread(Scene<Guard>::Writer, &scene);
        });
        std::string failure = scene.failure;
        if (failure.empty() && !outcome.ok()) {
            failure = outcome.report;
        }
        return std::make_pair(std::move(outcome), std::move(failure));
    });
}

// The preemption bound of the two proofs; LISTPOOL_GUARD_BOUND sets another
// (the sanitizer builds, many times slower, search less).
int Bound() {
    const char* bound = std::getenv("LISTPOOL_GUARD_BOUND");
    return bound != nullptr ? std::atoi(bound) : kBound;
}

// The failure, and the one command that replays its schedule.
std::string Explain(const SearchResult& result) {
    std::string choices;
    for (const int thread : result.replay) {
        choices += (choices.empty() ? "" : " ") + std::to_string(thread);
    }
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return result.failure + "\nafter " + std::to_string(result.schedules) +
           " schedules; replay: LISTPOOL_GUARD_REPLAY='" + choices +
           "' build/tests/sim/listpool_sim_tests --gtest_filter=" + test->test_suite_name() + "." +
           test->name();
}

TEST(GuardSearchTest, NoWriterEverBesideAReaderOrAnotherWriterAndNoDeadlock) {
    const SearchResult result = SearchGuard<ReadWriteGuard>(Bound(), false);
    EXPECT_EQ(result.failure, "") << Explain(result);
    RecordProperty("schedules", std::to_string(result.schedules));
    std::printf("exclusion search, bound %d: %llu schedules\n", Bound(),
                static_cast<unsigned long long>(result.schedules));
}

TEST(GuardSearchTest, WritersGetInWhileReadersKeepOverlapping) {
    const SearchResult result = SearchGuard<ReadWriteGuard>(Bound(), true);
    EXPECT_EQ(result.failure, "") << Explain(result);
    std::printf("writers-get-in search, bound %d: %llu schedules\n", Bound(),
                static_cast<unsigned long long>(result.schedules));
}

TEST(GuardSearchTest, FindsTheReaderInsideAGuardWithoutTheRecheck) {
    const SearchResult result = SearchGuard<broken::WithoutRecheck>(kBound, false);
    EXPECT_NE(result.failure.find("a writer is inside with"), std::string::npos) << Explain(result);
    std::printf("found after %llu schedules: %s\n",
                static_cast<unsigned long long>(result.schedules), result.failure.c_str());
}

TEST(GuardSearchTest, FindsTheWriterKeptOutWithoutTheSecondGateReset) {
    const SearchResult result = SearchGuard<broken::WithoutSecondReset>(kBound, true);
    EXPECT_NE(result.failure.find("readers kept a writer out"), std::string::npos)
        << Explain(result);
    std::printf("found after %llu schedules: %s\n",
                static_cast<unsigned long long>(result.schedules), result.failure.c_str());
}

}  // namespace
}  // namespace listpool::sim
