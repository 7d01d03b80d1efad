// Whole sessions under many schedules: seeded random and PCT scheduling of
// the real program. Every run must end as the program does, with no writer
// beside a reader in either guard, and write the lines the fixed schedule
// writes: the same console output and, in every log and on standard error,
// the same lines, in whatever order threads at the same instant took. The
// one line a schedule may drop is a find's or collection's completion line
// at the instant the program exits, since those workers announce after
// leaving their guards and the exit may come first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_helpers.h"

namespace listpool::sim {
namespace {

struct Scenario {
    const char* name;
    const char* session;
    // Whether the exit time is the same under every schedule: not when
    // writers queue at one guard, since they may get in in any order.
    bool sameEnd;
};

const Scenario kScenarios[] = {
    {"PrintBlocksInsert", "i 7 9 -1\np\n@1200 i 5 -1\nf\nq\n", true},
    {"PrintsFindsAndQuit", "i 7 9 -1\np\nF 9\np\nF 4\nd 9\nq\n", true},
    {"CollectionDumpFind", "i 1 2 -1\nd 1\ng\nF 2\n@1400 f\ni 3 4 5 6 -1\nf\ng\nq\n", true},
    {"TenMixedWorkers", "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n", false},
    {"PoolFullUnderWorkers", "i 1 2 3 4 5 -1\np\nF 3\ni 6 -1\nd 3\ni 7 -1\ng\nf\nq\n", true},
    // A print and a find announce themselves at the same instant: each line
    // must arrive whole, whichever thread goes first.
    {"SameInstantLines", "i 1 -1\np\n@3200 F 1\n@12000 q\n", true},
};

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
    ASSERT_TRUE(run.session.ok()) << run.Explain();
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

class ExploreTest : public testing::TestWithParam<Scenario> {
  protected:
    // Plays the scenario under every seed of the strategy and checks each run
    // against the fixed schedule's.
    void Explore(Strategy strategy) {
        const Played reference = Play(GetParam().session);
        ASSERT_TRUE(reference.session.ok()) << reference.Explain();
        for (std::uint64_t seed = 1; seed <= Seeds() && !HasFailure(); ++seed) {
            Options options;
            options.strategy = strategy;
            options.seed = seed;
            options.pctDrops = 3;
            options.pctSteps = reference.outcome().steps;
            ExpectAllowed(reference, Play(GetParam().session, options), GetParam().sameEnd);
        }
    }
};

TEST_P(ExploreTest, RandomSchedulesWriteWhatTheProgramAllows) {
    Explore(Strategy::kRandom);
}

TEST_P(ExploreTest, PctSchedulesWriteWhatTheProgramAllows) {
    Explore(Strategy::kPct);
}

INSTANTIATE_TEST_SUITE_P(Sessions, ExploreTest, testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace listpool::sim
