// The simulator's speed: virtual seconds of a session run per real second,
// and states per second of the state search.
#include <benchmark/benchmark.h>

#include <string>
#include <variant>

#include "sim/explore/guard_source.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/verdicts.h"
#include "sim/runs/session_search.h"
#include "sim/runs/simulated_program.h"
#include "store/read_write_guard.h"

namespace listpool::sim {
namespace {

// Adds the session's virtual seconds per real second to the state.
void CountVirtualTime(benchmark::State& state, std::uint64_t virtualMs) {
    state.counters["virtual_s_per_s"] =
        benchmark::Counter(static_cast<double>(virtualMs) / 1000, benchmark::Counter::kIsRate);
}

// A print session: two inserts, a print that holds the list for ten seconds,
// a delete that waits for it, a dump and q: 10.8 s of virtual time.
void PrintSession(benchmark::State& state) {
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        const ProgramRun run = SimulateListpool({}, "i 7 9 -1\np\nd 7\nf\nq\n");
        if (!run.ok()) {
            state.SkipWithError("the session failed");
            return;
        }
        virtualMs += run.outcome.endTimeMs;
    }
    CountVirtualTime(state, virtualMs);
}
BENCHMARK(PrintSession)->UseRealTime();

// A session of the given number of rounds, each an insert, a find of it
// that holds the list for two seconds and a delete that waits for the find:
// its virtual seconds per real second stay the same however long it runs
// when the simulator's bookkeeping per step does not grow with the run.
void LongSession(benchmark::State& state) {
    std::string input;
    for (std::int64_t round = 0; round < state.range(0); ++round) {
        input += "i 1 -1\nF\n1\nd 1\n";
    }
    input += "q\n";
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        const ProgramRun run = SimulateListpool({}, input);
        if (!run.ok()) {
            state.SkipWithError("the session failed");
            return;
        }
        virtualMs += run.outcome.endTimeMs;
    }
    CountVirtualTime(state, virtualMs);
}
BENCHMARK(LongSession)->Arg(25)->Arg(100)->Arg(400)->UseRealTime();

// The state search over every schedule of a session of a collection, a
// dump and finds beside each other: 414 states, 24,477 steps simulated.
void EverySchedule(benchmark::State& state) {
    std::uint64_t states = 0;
    for (auto _ : state) {
        const listpool::sim::EverySchedule every =
            SearchEverySchedule("i 1 2 -1\nd 1\ng\nF 2\n@1400 f\ni 3 4 5 6 -1\nf\ng\nq\n");
        if (!every.result.failure.empty() || !every.result.complete) {
            state.SkipWithError("the search failed");
            return;
        }
        states += every.result.states;
    }
    state.counters["states_per_s"] =
        benchmark::Counter(static_cast<double>(states), benchmark::Counter::kIsRate);
}
BENCHMARK(EverySchedule)->UseRealTime();

// The guard checked on its two default scenes (70,903 states between
// them), compiled and interpreted from its four sequences in its source file
// read as a guard text: the second's time over the first's is what the interpreter costs.
void CheckGuardScenes(benchmark::State& state, const guards::GuardCode* code) {
    std::uint64_t states = 0;
    for (auto _ : state) {
        for (const GuardCast& cast : guards::kDefaultScenes) {
            const guards::GuardCheck check = code != nullptr
                                                 ? guards::CheckText(*code, cast)
                                                 : guards::CheckGuard<ReadWriteGuard>(cast);
            if (!check.Holds()) {
                state.SkipWithError("the guard fails a check");
                return;
            }
            states += check.states;
        }
    }
    state.counters["states_per_s"] =
        benchmark::Counter(static_cast<double>(states), benchmark::Counter::kIsRate);
}
void CompiledGuard(benchmark::State& state) {
    CheckGuardScenes(state, nullptr);
}
BENCHMARK(CompiledGuard)->Unit(benchmark::kMillisecond)->UseRealTime();

void InterpretedGuard(benchmark::State& state) {
    auto read = guards::ReadGuardText(GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR)));
    if (!std::holds_alternative<guards::GuardText>(read)) {
        state.SkipWithError("the guard's source is not a guard text");
        return;
    }
    const guards::GuardCode code(std::get<guards::GuardText>(std::move(read)));
    CheckGuardScenes(state, &code);
}
BENCHMARK(InterpretedGuard)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace listpool::sim

BENCHMARK_MAIN();
