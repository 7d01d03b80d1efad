// Running sessions of the program in the simulator, and reading back what
// it wrote and when.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/runs/guard_watch.h"
#include "sim/runs/schedule.h"
#include "sim/runs/session.h"
#include "sim/runs/simulated_program.h"
#include "sim/search/state_graph.h"

namespace listpool::sim {

inline const std::string kPrompt = "\nYour Command [i d p f F g s]? ";
inline const std::string kInsert = "Please enter integers to be inserted (-1 to stop)\n";
inline const std::string kPrintDone = "Thread: [PrintThread.0]: Printing Done!\n";
inline const std::string kFindDone = "Thread: [FindThread.0]: Finding Done!\n";
inline const std::string kGarbageDone = "Thread: [GarbageThread.0]: Garbage Collection Done!\n";

// One run of a session, its sections and waits, and what failed, with the
// command that replays it.
struct Played {
    ProgramRun result;
    std::string replay;

    const Outcome& outcome() const { return result.outcome; }
    const std::string& file(const std::string& name) const {
        static const std::string kNone;
        const auto found = result.outcome.files.find(name);
        return found == result.outcome.files.end() ? kNone : found->second;
    }
    // The time of the n-th write (from 1) to file that holds text, or
    // UINT64_MAX when there is none.
    std::uint64_t TimeOf(const std::string& file, std::string_view text, int nth = 1) const;
    // The thread's sections on a guard, in order.
    std::vector<Section> SectionsOf(int thread, const std::string& guard) const;
    // Everything a failure message needs.
    std::string Explain() const;
};

// Whether two searches met the same states and took the same steps from
// each in the same order: their graphs, node by node. Says where they first
// differ.
testing::AssertionResult MetInTheSameOrder(const StateGraph& left, const StateGraph& right);

// Runs the session under the schedule, with the other options given.
Played Play(std::string_view session, const Schedule& schedule = {}, Options options = {});

// The choice points of the session's fixed schedule.
std::uint64_t ChoicePoints(std::string_view session);

// A log's expected text: its initialisation line, then the report.
std::string Log(const std::string& name, const std::string& report);

// A pool dump; each record is {key, next, in use} or, with nothing, never used.
struct Shown {
    std::int32_t key = 0;
    std::int32_t next = 0;
    bool inUse = false;
};
std::string Dump(std::vector<Shown> records);

}  // namespace listpool::sim
