// The memory model check of the POSIX mutex and event (platform/futex_sync.h)
// and of the guard built on them, under relacy.
//
//   listpool_relacy_check            every check on the shipped orders, which
//                                    must pass, and every positive control on
//                                    the check that must catch it
//   listpool_relacy_check --table    each control on every check, to see
//                                    which of them catch it
//   listpool_relacy_check --history  the same runs as with no argument, and
//                                    relacy's history of every failure
//   listpool_relacy_check --deeper   every check on the shipped orders again,
//                                    further: under relacy's random scheduler
//                                    (a load may read up to two stores back)
//                                    for a million iterations, and with the
//                                    bound of each bounded check raised by
//                                    one (about a minute)
//   listpool_relacy_check --check NAME  one check on the shipped orders, with
//                                    relacy's history if it fails
//
// Exit status 0 when every run gave its expected verdict, 1 otherwise.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/relacy/checks.h"
#include "tests/relacy/variants.h"
#include "tests/relacy/without_recheck.h"

namespace listpool::rlcheck {
namespace {

template <class Suite>
bool Simulate(rl::test_params& params) {
    return rl::simulate<Suite>(params);
}

// The checks, and how each is searched: exhaustively (relacy's full search:
// every interleaving of the threads' operations, and every value a load may
// read among the newest store and the one before it), or with a bound on
// the preemptions.
const Check kChecks[] = {
    {"mutex.2threads", &Simulate<MutexCheck<2, 2>>, rl::fair_full_search_scheduler_type, 0},
    {"mutex.3threads", &Simulate<MutexCheck<3, 1>>, rl::fair_full_search_scheduler_type, 0},
    {"event.2threads", &Simulate<EventCheck<1>>, rl::fair_full_search_scheduler_type, 0},
    {"event.3threads", &Simulate<EventCheck<2>>, rl::fair_context_bound_scheduler_type, 4},
    {"reset.2threads", &Simulate<ResetCheck<1>>, rl::fair_full_search_scheduler_type, 0},
    {"reset.3threads", &Simulate<ResetCheck<2>>, rl::fair_context_bound_scheduler_type, 2},
    {"handover.2threads", &Simulate<HandOverCheck<2>>, rl::fair_context_bound_scheduler_type, 4},
    {"guard.2readers.1writer", &Simulate<GuardCheck<ReadWriteGuard, 2, 1>>,
     rl::fair_context_bound_scheduler_type, 3},
    {"guard.1reader.2writers", &Simulate<GuardCheck<ReadWriteGuard, 1, 2>>,
     rl::fair_context_bound_scheduler_type, 2},
};

const Check kGuardWithoutRecheck = {"guard.2readers.1writer",
                                    &Simulate<GuardCheck<WithoutRecheck, 2, 1>>,
                                    rl::fair_context_bound_scheduler_type, 3};

const Check* CheckNamed(const char* name) {
    for (const Check& check : kChecks) {
        if (std::strcmp(check.name, name) == 0) {
            return &check;
        }
    }
    std::fprintf(stderr, "no check named %s\n", name);
    std::exit(2);
}

// What relacy prints about a run, kept in place: relacy writes part of it
// while its own allocator serves the program, so the text must not go
// through the heap. Anything past the first kSize characters is dropped.
class RunText : public std::streambuf {
  public:
    RunText() { Clear(); }
    void Clear() { setp(text_, text_ + kSize); }
    std::string Text() const { return std::string(pbase(), pptr()); }

  protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }

  private:
    static constexpr std::size_t kSize = 1 << 20;
    char text_[kSize];
};

// The iterations of a run under relacy's random scheduler.
constexpr rl::iteration_t kRandomIterations = 1000000;

struct Outcome {
    rl::test_result_e result;
    rl::iteration_t iterations;
    long long milliseconds;
    std::string output;
};

Outcome Run(const Check& check, const Primitives& primitives) {
    static RunText text;
    text.Clear();
    std::ostream output(&text);
    rl::test_params params;
    params.search_type = check.search;
    params.context_bound = check.bound;
    params.iteration_count = kRandomIterations;
    params.output_stream = &output;
    params.progress_stream = &output;
    UsePrimitives(primitives);
    const auto start = std::chrono::steady_clock::now();
    check.run(params);
    const auto took = std::chrono::steady_clock::now() - start;
    return {params.test_result, params.stop_iteration,
            std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), text.Text()};
}

std::string Search(const Check& check) {
    if (check.search == rl::fair_full_search_scheduler_type) {
        return "exhaustive";
    }
    if (check.search == rl::random_scheduler_type) {
        return "random";
    }
    return "bound " + std::to_string(check.bound);
}

// Runs one check on one variant and says whether it gave the verdict
// expected; prints a line, and relacy's history of a failure when asked to.
bool Expect(const Check& check, const char* variant, const Primitives& primitives,
            rl::test_result_e expected, bool history) {
    const Outcome outcome = Run(check, primitives);
    const bool as_expected = outcome.result == expected;
    std::printf("%-24s %-44s %-10s %8llu it %6lld ms  %-17s %s\n", check.name, variant,
                Search(check).c_str(), static_cast<unsigned long long>(outcome.iterations),
                outcome.milliseconds, rl::test_result_str(outcome.result),
                as_expected ? "ok" : "UNEXPECTED");
    if (!as_expected || (history && outcome.result != rl::test_result_success)) {
        std::fputs(outcome.output.c_str(), stdout);
    }
    std::fflush(stdout);
    return as_expected;
}

int RunAll(bool history) {
    int unexpected = 0;
    for (const Check& check : kChecks) {
        unexpected += !Expect(check, "shipped", kShipped, rl::test_result_success, history);
    }
    for (const Control& control : Controls()) {
        unexpected += !Expect(*CheckNamed(control.check), control.name.c_str(), control.primitives,
                              control.expected, history);
    }
    unexpected += !Expect(kGuardWithoutRecheck, "guard without its re-check", kShipped,
                          rl::test_result_data_race, history);
    unexpected += !Expect(*CheckNamed("guard.2readers.1writer"), "guard on: give_back relaxed",
                          kMutexGiveBackRelaxed, rl::test_result_data_race, history);
    std::printf("relacy check: %d unexpected\n", unexpected);
    return unexpected == 0 ? 0 : 1;
}

int Deeper() {
    int unexpected = 0;
    for (const Check& check : kChecks) {
        Check random = check;
        random.search = rl::random_scheduler_type;
        unexpected += !Expect(random, "shipped", kShipped, rl::test_result_success, false);
        if (check.search == rl::fair_context_bound_scheduler_type) {
            Check deeper = check;
            ++deeper.bound;
            unexpected += !Expect(deeper, "shipped", kShipped, rl::test_result_success, false);
        }
    }
    std::printf("relacy check, deeper: %d unexpected\n", unexpected);
    return unexpected == 0 ? 0 : 1;
}

// Each control on every check: which of them catch it.
int Table() {
    for (const Control& control : Controls()) {
        for (const Check& check : kChecks) {
            const Outcome outcome = Run(check, control.primitives);
            std::printf("%-44s %-24s %8llu it %6lld ms  %s\n", control.name.c_str(), check.name,
                        static_cast<unsigned long long>(outcome.iterations), outcome.milliseconds,
                        rl::test_result_str(outcome.result));
            std::fflush(stdout);
        }
    }
    return 0;
}

int Main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--table") {
        return Table();
    }
    if (mode == "--deeper") {
        return Deeper();
    }
    if (mode == "--check" && argc > 2) {
        return Expect(*CheckNamed(argv[2]), "shipped", kShipped, rl::test_result_success, true) ? 0
                                                                                                : 1;
    }
    if (mode.empty() || mode == "--history") {
        return RunAll(mode == "--history");
    }
    std::fprintf(stderr, "usage: %s [--table | --history | --deeper | --check NAME]\n", argv[0]);
    return 2;
}

}  // namespace
}  // namespace listpool::rlcheck

int main(int argc, char** argv) {
    return listpool::rlcheck::Main(argc, argv);
}
