// Whole sessions under every schedule the simulator allows, by the state
// search; and, for the one session whose schedules are too many for the
// plain suite, seeded random and PCT scheduling. Every run must end as the
// program does, with no writer beside a reader in either guard, and write
// the lines the fixed schedule writes: the same console output and, in every
// log and on standard error, the same lines, in whatever order threads at
// the same instant took. The one line a schedule may drop is a find's or
// collection's completion line at the instant the program exits, since
// those workers announce after leaving their guards and the exit may come
// first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/runs/session_search.h"
#include "sim_helpers.h"

namespace listpool::sim {
namespace {

struct Scenario {
    const char* name;
    // The session's text, or the file under the source tree that holds it.
    const char* session;
    const char* file;
    // Whether the exit time is the same under every schedule: not when
    // writers queue at one guard, since they may get in in any order.
    bool sameEnd;

    std::string Text() const {
        if (file == nullptr) {
            return session;
        }
        std::ifstream in(std::string(LISTPOOL_SOURCE_DIR) + "/" + file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

// Tests are named by the scenario, not by its bytes.
void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

const Scenario kScenarios[] = {
    {"PrintBlocksInsert", "i 7 9 -1\np\n@1200 i 5 -1\nf\nq\n", nullptr, true},
    {"PrintsFindsAndQuit", "i 7 9 -1\np\nF 9\np\nF 4\nd 9\nq\n", nullptr, true},
    {"CollectionDumpFind", "i 1 2 -1\nd 1\ng\nF 2\n@1400 f\ni 3 4 5 6 -1\nf\ng\nq\n", nullptr,
     true},
    {"PoolFullUnderWorkers", "i 1 2 3 4 5 -1\np\nF 3\ni 6 -1\nd 3\ni 7 -1\ng\nf\nq\n", nullptr,
     true},
    // A print and a find announce themselves at the same instant: each line
    // must arrive whole, whichever thread goes first.
    {"SameInstantLines", "i 1 -1\np\n@3200 F 1\n@12000 q\n", nullptr, true},
    {"ReadmeExample", nullptr, "docs/example.session", true},
    // An insert waits behind two prints that overlap.
    {"TwoPrintsAndAQueuedInsert", nullptr,
     "tests/sim/sessions/two-prints-and-a-queued-insert.session", true},
};

// Ten workers of three kinds: about 45,000 states, too many for the plain
// suite, which samples its schedules instead.
const Scenario kTenMixedWorkers = {
    "TenMixedWorkers", "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n", nullptr, false};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(text.substr(begin, end - begin));
    }
    if (begin < text.size()) {
        lines.push_back(text.substr(begin));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// What the reference run wrote that another schedule may leave out.
std::vector<std::string> Droppable(const Played& reference) {
    std::vector<std::string> lines;
    for (const Write& write : reference.outcome().writes) {
        if (write.file == "stderr" && write.timeMs == reference.outcome().endTimeMs &&
            write.bytes != kPrintDone) {
            lines.push_back(write.bytes.substr(0, write.bytes.size() - 1));
        }
    }
    return lines;
}

void ExpectAllowed(const Played& reference, const Played& run, bool sameEnd) {
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    EXPECT_EQ(run.file("stdout"), reference.file("stdout")) << run.Explain();
    if (sameEnd) {
        EXPECT_EQ(run.outcome().endTimeMs, reference.outcome().endTimeMs) << run.Explain();
    }
    for (const auto& [file, text] : reference.outcome().files) {
        if (file == "stdout" || (!sameEnd && file != "PrintThread.0" && file != "FindThread.0")) {
            continue;
        }
        std::vector<std::string> expected = Lines(text);
        const std::vector<std::string> got = Lines(run.file(file));
        if (file == "stderr" && got.size() < expected.size()) {
            std::vector<std::string> missing;
            std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                                std::back_inserter(missing));
            std::vector<std::string> droppable = Droppable(reference);
            std::sort(droppable.begin(), droppable.end());
            EXPECT_TRUE(
                std::includes(droppable.begin(), droppable.end(), missing.begin(), missing.end()))
                << "lines missing from stderr\n"
                << run.Explain();
            const std::vector<std::string> all = expected;
            expected.clear();
            std::set_difference(all.begin(), all.end(), missing.begin(), missing.end(),
                                std::back_inserter(expected));
        }
        EXPECT_EQ(got, expected) << file << "\n" << run.Explain();
    }
}

// Seeds per scenario and strategy; LISTPOOL_SIM_SEEDS sets another number.
std::uint64_t Seeds() {
    const char* seeds = std::getenv("LISTPOOL_SIM_SEEDS");
    return seeds != nullptr ? std::strtoull(seeds, nullptr, 10) : 100;
}

// Checks every distinct outcome of the scenario's schedules against the
// fixed schedule's.
void ExpectEveryScheduleAllowed(const Scenario& scenario) {
    const std::string text = scenario.Text();
    ASSERT_FALSE(text.empty()) << scenario.file;
    const Played reference = Play(text);
    ASSERT_TRUE(reference.result.ok()) << reference.Explain();
    const EverySchedule every = SearchEverySchedule(text);
    Schedule replay{Schedule::Kind::kReplay, 0, {}, every.result.replay};
    ASSERT_EQ(every.result.failure, "") << ListpoolSimCommand(replay, text);
    EXPECT_TRUE(every.result.complete);
    for (const auto& [key, run] : every.outcomes) {
        replay.choices = every.result.outcomes.at(key);
        ExpectAllowed(reference, Played{run, ListpoolSimCommand(replay, text)}, scenario.sameEnd);
    }
    std::printf("%s; %zu distinct outcome(s)\n", Figures(every.result).c_str(),
                every.outcomes.size());
    // Restoring copies of runs must find what replaying from a run's start finds.
    if (RewindableRun::Possible()) {
        SearchOptions replaying;
        replaying.restore = false;
        const EverySchedule replayed = SearchEverySchedule(text, replaying);
        EXPECT_EQ(every.result.hashes, replayed.result.hashes);
        EXPECT_EQ(every.result.transitions, replayed.result.transitions);
        EXPECT_EQ(every.result.outcomes, replayed.result.outcomes);
        EXPECT_EQ(every.result.failure, replayed.result.failure);
        std::printf("replaying: %s; restoring held copies of at most %llu KB\n",
                    Figures(replayed.result).c_str(),
                    static_cast<unsigned long long>(every.result.snapshotPeakBytes >> 10));
    }
}

class EveryScheduleTest : public testing::TestWithParam<Scenario> {};

TEST_P(EveryScheduleTest, WritesWhatTheProgramAllows) {
    ExpectEveryScheduleAllowed(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Sessions, EveryScheduleTest, testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EveryScheduleLargeTest, TenMixedWorkersWriteWhatTheProgramAllows) {
    ExpectEveryScheduleAllowed(kTenMixedWorkers);
}

// Plays the scenario under every seed of the strategy and checks each run
// against the fixed schedule's.
// PCT's drops are spread over the choice points of the fixed schedule.
void ExpectSampledSchedulesAllowed(const Scenario& scenario, Schedule::Kind kind) {
    const Played reference = Play(scenario.session);
    ASSERT_TRUE(reference.result.ok()) << reference.Explain();
    const PctParameters pct{3, ChoicePoints(scenario.session)};
    for (std::uint64_t seed = 1; seed <= Seeds() && !testing::Test::HasFailure(); ++seed) {
        ExpectAllowed(reference, Play(scenario.session, {kind, seed, pct, {}}), scenario.sameEnd);
    }
}

TEST(SampledScheduleTest, RandomSchedulesOfTenMixedWorkersWriteWhatTheProgramAllows) {
    ExpectSampledSchedulesAllowed(kTenMixedWorkers, Schedule::Kind::kRandom);
}

TEST(SampledScheduleTest, PctSchedulesOfTenMixedWorkersWriteWhatTheProgramAllows) {
    ExpectSampledSchedulesAllowed(kTenMixedWorkers, Schedule::Kind::kPct);
}

// A run the search stops may leave bytes in standard output's buffer, which
// lives as long as the process does; none of them may show in the next run.
TEST(EveryScheduleTest, ARunStoppedWithOutputBufferedLeavesNothingToTheNext) {
    const std::string text = "g\nq\n";
    const Played reference = Play(text);
    // Stops as the console wakes from its pause after g, whose text is
    // still buffered.
    struct StopAfterThePause final : Chooser {
        int Choose(const std::vector<int>& enabled, int) override {
            return NowMs() >= 200 ? -1 : enabled.front();
        }
    } stop;
    Options options;
    options.chooser = &stop;
    ASSERT_EQ(SimulateListpool(options, text).outcome.ending, Ending::kStopped);
    EXPECT_EQ(Play(text).file("stdout"), reference.file("stdout"));
}

// Remembering states loses no outcome: on sessions small enough to run
// every schedule to its end (a collection beside a find, in 220 and 3,300
// schedules), the search finds exactly the outcomes that plain enumeration
// finds.
TEST(EveryScheduleTest, FindsEveryOutcomeThatPlainEnumerationFinds) {
    for (const std::string text : {"i 1 2 -1\nd 1\ng\nF 2\nq\n", "i 1 -1\ng\nF 1\n@6000 q\n"}) {
        SearchOptions plain;
        plain.remember = false;
        const EverySchedule searched = SearchEverySchedule(text);
        const EverySchedule enumerated = SearchEverySchedule(text, plain);
        ASSERT_EQ(searched.result.failure, "");
        ASSERT_EQ(enumerated.result.failure, "");
        std::vector<std::string> found, all;
        for (const auto& [key, run] : searched.outcomes) {
            found.push_back(key);
        }
        for (const auto& [key, run] : enumerated.outcomes) {
            all.push_back(key);
        }
        EXPECT_EQ(found, all);
        EXPECT_GT(all.size(), 1u) << "a cross-check with one outcome shows little";
        EXPECT_EQ(searched.result.graph.Schedules(), static_cast<double>(enumerated.result.runs));
        std::printf("searched: %s; plain: %s; %zu outcomes\n", Figures(searched.result).c_str(),
                    Figures(enumerated.result).c_str(), all.size());
    }
}

}  // namespace
}  // namespace listpool::sim
