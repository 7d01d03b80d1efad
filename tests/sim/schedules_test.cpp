// The strategies behind listpool-sim's schedules: PCT's drops all happen,
// and the command printed for a run replays that run; and what the
// simulator answers of a run under way agrees with what it tells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/strategies.h"
#include "sim_helpers.h"

namespace listpool::sim {
namespace {

// PCT's bound on finding a bug of depth d holds only if all d - 1 drops
// happen. Most of a run's steps have one thread that can go on; fed choice
// points between such steps, with five threads always able to go on, PCT
// keeps one thread until a drop sends it below the others, so the thread
// chosen changes at exactly the planned choice points (from the second: a
// drop at the first leaves nothing before it to differ from).
TEST(PctChooserTest, EveryPlannedDropHappens) {
    const std::vector<int> five = {0, 1, 2, 3, 4};
    for (std::uint64_t seed = 0; seed < 50; ++seed) {
        PctChooser pct(seed, {3, 40});
        std::vector<std::uint64_t> planned = pct.dropPoints();
        ASSERT_EQ(planned.size(), 3u);
        std::sort(planned.begin(), planned.end());
        std::erase(planned, 1u);
        std::vector<std::uint64_t> changed;
        int last = 0;
        for (std::uint64_t point = 1; point <= 40; ++point) {
            for (int single = 0; single < 3; ++single) {
                ASSERT_EQ(pct.Choose({last}, last), last);
            }
            const int chosen = pct.Choose(five, last);
            if (point > 1 && chosen != last) {
                changed.push_back(point);
            }
            last = chosen;
        }
        EXPECT_EQ(changed, planned) << "seed " << seed;
    }
}

// Checks the simulator's answers against its notices at every one: a
// mutex's owner, an event's state, the threads started; and that a run's
// start comes once, before anything else.
class Questioner final : public Observer {
  public:
    void OnRunStart() override {
        EXPECT_EQ(notices, 0u) << "a run starts after its first notice";
        ++starts;
    }
    void OnNotice(const Notice& n) override {
        ++notices;
        const std::string where = "thread " + std::to_string(n.thread) + " " + OpName(n.op) +
                                  (n.phase == Notice::kDone ? " done" : " asked");
        EXPECT_EQ(starts, 1) << where;
        if (n.phase == Notice::kRequest && n.op == Op::kLock) {
            const int owner = OwnerOf(n.object);
            EXPECT_EQ(n.blocked, owner >= 0) << where;
            EXPECT_NE(owner, n.thread) << where;
        } else if (n.phase == Notice::kRequest && n.op == Op::kEventLock) {
            EXPECT_EQ(n.blocked, !IsSet(n.object)) << where;
        } else if (n.phase == Notice::kDone && (n.op == Op::kLock || n.op == Op::kUnlock)) {
            EXPECT_EQ(OwnerOf(n.object), n.op == Op::kLock ? n.thread : -1) << where;
            locks += n.op == Op::kLock;
        } else if (n.phase == Notice::kDone && (n.op == Op::kSet || n.op == Op::kReset)) {
            EXPECT_EQ(IsSet(n.object), n.op == Op::kSet) << where;
            resets += n.op == Op::kReset;
        } else if (n.phase == Notice::kDone && n.op == Op::kStartThread) {
            EXPECT_EQ(ThreadsStarted(), n.newThread + 1) << where;
        }
        EXPECT_GT(ThreadsStarted(), n.thread) << where;
    }
    int starts = 0;
    std::uint64_t notices = 0, locks = 0, resets = 0;
};

TEST(SimulatorQueriesTest, WhatTheSimulatorAnswersAgreesWithWhatItTells) {
    for (std::uint64_t seed = 0; seed < 10; ++seed) {
        Schedule schedule;
        schedule.kind = seed == 0 ? Schedule::Kind::kFixed : Schedule::Kind::kRandom;
        schedule.seed = seed;
        ScheduleChooser chooser(schedule);
        Options options;
        options.chooser = &chooser;
        Questioner questioner;
        const ProgramRun run =
            SimulateListpool(options, "i 7 9 -1\np\nF 9\nd 7\ng\nf\nq\n", &questioner);
        ASSERT_TRUE(run.ok()) << Transcript(run.outcome);
        EXPECT_EQ(questioner.starts, 1);
        // The session takes and gives back the guards' mutexes and closes
        // their gates: every kind of answer was checked.
        EXPECT_GT(questioner.locks, 0u);
        EXPECT_GT(questioner.resets, 0u);
        EXPECT_EQ(OwnerOf(nullptr), -1);
        EXPECT_EQ(ThreadsStarted(), 0);  // outside a run
    }
}

// What listpool-sim prints when it runs the command.
std::string RunCommand(const std::string& command) {
    const std::string script = testing::TempDir() + "replay.sh";
    std::ofstream(script) << command << "\n";
    FILE* pipe = popen(("bash " + script).c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    pclose(pipe);
    return output;
}

// A failing run prints the command that replays it; so may a search. Under
// random and PCT schedules with drops and points other than the default,
// over several sessions, the printed command writes every byte of the
// run's output and logs at the same times from the same threads, and ends
// alike; so does the replay of the choices the run made. Without the PCT
// parameters (as the command used to be printed) some run differs.
TEST(ScheduleCommandTest, ThePrintedCommandReplaysTheRun) {
    const char* const sessions[] = {
        "i 7 9 -1\np\n@1200 i 5 -1\nf\nq\n",
        "i 1 2 -1\nd 1\ng\nF 2\n@1400 f\ni 3 4 5 6 -1\nf\ng\nq\n",
        "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n",
    };
    int differ = 0;
    for (const char* session : sessions) {
        const PctParameters pct{4, ChoicePoints(session) / 2};
        for (const auto kind : {Schedule::Kind::kRandom, Schedule::Kind::kPct}) {
            for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                const Schedule schedule{kind, seed, pct, {}};
                ScheduleChooser chooser(schedule);
                RecordingChooser recording(chooser);
                Options options;
                options.chooser = &recording;
                const ProgramRun run = SimulateListpool(options, session);
                const std::string transcript = Transcript(run.outcome);
                const std::string command =
                    ListpoolSimCommand(schedule, session, LISTPOOL_SIM_PROGRAM);
                EXPECT_TRUE(RunCommand(command).starts_with(transcript)) << command;
                const Schedule replay{Schedule::Kind::kReplay, 0, {}, recording.chosen()};
                EXPECT_TRUE(RunCommand(ListpoolSimCommand(replay, session, LISTPOOL_SIM_PROGRAM))
                                .starts_with(transcript))
                    << command << " by its choices";
                const Schedule plain{kind, seed, {}, {}};
                differ += !RunCommand(ListpoolSimCommand(plain, session, LISTPOOL_SIM_PROGRAM))
                               .starts_with(transcript);
            }
        }
    }
    EXPECT_GT(differ, 0) << "the PCT parameters change no run: this test shows nothing";
}

}  // namespace
}  // namespace listpool::sim
