// Every schedule of a session of the whole program: the state search over
// listpool as the simulator runs it, with the guard watch in every run.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/sim.h"
#include "sim/runs/simulated_program.h"
#include "sim/search/state_search.h"

namespace listpool::sim {

// How the failure of a run in which a writer worked beside a reader starts;
// the rest names the guard and the threads.
inline constexpr std::string_view kWriterBesideReader = "a writer beside a reader";

// A session as a scene for SearchStates. A state holds every call of every
// thread with its time and bytes, the order in which threads took each
// mutex, and the program's shared memory: the records, the cursor, the
// list's head and count, and both guards' reader counts.
//
// A run fails when a writer works beside a reader in a guard, and, when it
// ends by itself, unless it ends as the program does, by exit status 0. Two
// outcomes are the same when they write the same bytes to every file and
// end alike at the same time.
class SessionScene final : public SearchScene {
  public:
    explicit SessionScene(std::string_view session) : session_(session) {}

    // Runs the session; an observer in the options is told every event
    // after the guard watch.
    Outcome Play(const Options& options) override;
    std::uint64_t State() override;
    // A guard text in the guards' place (sim/runs/text_guards.h) may be
    // misused: a race on one of its counters.
    std::string Check() override;
    std::string Failure(const Outcome& outcome, bool stopped) override;
    std::string OutcomeKey(const Outcome& outcome) override;
    std::optional<std::vector<Region>> RunState() override;

    // Inside a run: the program, once it is built, else nullptr.
    const Program* program() const { return program_; }
    // One session of each distinct outcome met, by its key.
    const std::map<std::string, ProgramRun>& outcomes() const { return outcomes_; }

  private:
    std::string session_;
    const Program* program_ = nullptr;
    const GuardWatch* watch_ = nullptr;  // inside a run
    ProgramRun last_;
    std::map<std::string, ProgramRun> outcomes_;
};

// What searching every schedule of a session found.
struct EverySchedule {
    SearchResult result;
    std::map<std::string, ProgramRun> outcomes;
};
EverySchedule SearchEverySchedule(std::string_view session, const SearchOptions& options = {});

// The report listpool-sim --every-schedule prints: the figures, then each
// distinct outcome with the command that replays one run of it, and the
// failure, if there was one; the commands name the simulator `program`.
std::string EveryScheduleReport(const EverySchedule& every, std::string_view session,
                                std::string_view program);

}  // namespace listpool::sim
