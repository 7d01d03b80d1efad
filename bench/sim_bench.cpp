// The simulator's speed: virtual seconds of a session run per real second.
#include <benchmark/benchmark.h>

#include "sim/simulated_program.h"

namespace listpool::sim {
namespace {

// A print session: two inserts, a print that holds the list for ten seconds,
// a delete that waits for it, a dump and q: 10.8 s of virtual time.
void PrintSession(benchmark::State& state) {
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        const Session session = SimulateListpool({}, "i 7 9 -1\np\nd 7\nf\nq\n");
        if (!session.ok()) {
            state.SkipWithError("the session failed");
            return;
        }
        virtualMs += session.outcome.endTimeMs;
    }
    // Virtual seconds per real second: a rate over the benchmark's real time.
    state.counters["virtual_s_per_s"] =
        benchmark::Counter(static_cast<double>(virtualMs) / 1000, benchmark::Counter::kIsRate);
}
BENCHMARK(PrintSession)->UseRealTime();

}  // namespace
}  // namespace listpool::sim

BENCHMARK_MAIN();
