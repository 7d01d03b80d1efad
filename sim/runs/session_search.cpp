#include "sim/runs/session_search.h"

#include <cmath>
#include <cstdio>

#include "console/program.h"
#include "platform/sim/hash.h"
#include "sim/runs/schedule.h"
#include "sim/runs/session.h"
#include "sim/runs/text_guards.h"
#include "streams/stream.h"

namespace listpool::sim {
namespace {

// The program's shared memory, read while every simulated thread is stopped
// at a platform call: no thread is in the middle of changing it, though
// some may hold the guards it belongs to, which the analysis cannot know.
std::uint64_t MemoryOf(const Program& program) NO_THREAD_SAFETY_ANALYSIS {
    const RecordPool& pool = program.pool;
    std::uint64_t hash = 0;
    auto add = [&hash](std::int64_t word) { hash = Fold(hash, static_cast<std::uint64_t>(word)); };
    for (std::int32_t offset = 0; offset < kRecordCount * kWordsPerRecord;
         offset += kWordsPerRecord) {
        add(pool.Key(offset));
        add(pool.Next(offset));
        add(pool.Mark(offset));
    }
    add(pool.cursor);
    add(program.list.head);
    add(program.list.opsCount);
    add(pool.guard.readerCount);
    add(program.list.guard.readerCount);
    return hash;
}

}  // namespace

Outcome SessionScene::Play(const Options& options) {
    program_ = nullptr;
    last_ = SimulateListpool(options, session_, options.observer, &program_, &watch_);
    return last_.outcome;
}

std::optional<std::vector<Region>> SessionScene::RunState() {
    program_ = nullptr;
    watch_ = nullptr;
    MakeAnew(last_);
    std::vector<Region> regions{{&program_, sizeof program_},
                                {&watch_, sizeof watch_},
                                {&last_, sizeof last_},
                                {&StdOut(), sizeof(OutStream)},
                                {&StdErr(), sizeof(OutStream)}};
    for (const Region& region : TextGuardsRunState()) {
        regions.push_back(region);
    }
    return regions;
}

std::uint64_t SessionScene::State() {
    return program_ != nullptr ? Fold(MemoryOf(*program_), TextGuardsState()) : 0;
}

std::string SessionScene::Check() {
    return TextGuardsProblem();
}

std::string SessionScene::Failure(const Outcome& outcome, bool stopped) {
    // A run stopped by a search that copies runs is still there to look at.
    const std::string& violation = watch_ != nullptr ? watch_->violation() : last_.violation;
    if (!violation.empty()) {
        return std::string(kWriterBesideReader) + ": " + violation;
    }
    if (!stopped && !last_.ok()) {
        return EndingText(outcome);
    }
    return {};
}

std::string SessionScene::OutcomeKey(const Outcome& outcome) {
    std::string key = EndingText(outcome);
    for (const auto& [file, text] : outcome.files) {
        key += file + " " + Quoted(text) + "\n";
    }
    outcomes_.try_emplace(key, last_);
    return key;
}

EverySchedule SearchEverySchedule(std::string_view session, const SearchOptions& options) {
    SessionScene scene(session);
    EverySchedule every;
    every.result = SearchStates(scene, options);
    every.outcomes = scene.outcomes();
    return every;
}

std::string EveryScheduleReport(const EverySchedule& every, std::string_view session,
                                std::string_view program) {
    const SearchResult& result = every.result;
    char schedules[64];
    std::snprintf(schedules, sizeof schedules, "%.6g", result.graph.Schedules());
    std::string report = Figures(result) + "; schedules " + schedules + "; " +
                         std::to_string(every.outcomes.size()) + " distinct outcome(s)" +
                         (result.complete ? "" : "; NOT COMPLETE: the state limit was reached") +
                         "\n";
    int n = 0;
    for (const auto& [key, choices] : result.outcomes) {
        const Schedule replay{Schedule::Kind::kReplay, 0, {}, choices};
        report +=
            "\noutcome " + std::to_string(++n) + ": " + EndingText(every.outcomes.at(key).outcome);
        report += "  replay: " + ListpoolSimCommand(replay, session, program) + "\n";
    }
    if (!result.failure.empty()) {
        const Schedule replay{Schedule::Kind::kReplay, 0, {}, result.replay};
        report += "\nFAILED: " + result.failure +
                  "\nreplay: " + ListpoolSimCommand(replay, session, program) + "\n";
    }
    return report;
}

}  // namespace listpool::sim
