// Every mutant of the real guard checked twice, compiled (the C++ that
// guard-mutants wrote, built into this program) and interpreted (its
// text, run by the guard code), on the default scenes: the verdicts must
// be the same. Prints each mutant's verdicts and how many mutants each
// verdict catches; exits 1 when the two disagree anywhere.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "guard_mutants.h"
#include "limited_check.h"
#include "sim/explore/guard_source.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/mutants.h"
#include "store/read_write_guard.h"

namespace listpool::sim::guards {
namespace {

constexpr int kVerdicts = std::size(kVerdictNames);
constexpr int kScenes = std::size(kDefaultScenes);

// "+" holds, "x" fails; compiled then interpreted, "!" between when they
// differ, "~" when a search stopped at its bound and they are not compared.
std::string Marks(const GuardCheck& compiled, const GuardCheck& interpreted, int verdict,
                  bool compare, bool& agree) {
    const bool c = compiled.verdicts.at(verdict).holds;
    const bool i = interpreted.verdicts.at(verdict).holds;
    agree = agree && (!compare || c == i);
    return std::string(c ? "+" : "x") + (!compare ? "~" : c == i ? "/" : "!") + (i ? "+" : "x");
}

// One row: the scenes' verdicts, then what it is. Returns whether they
// agree; counts the mutant as caught by each verdict that fails, and as
// unbounded when a search stopped.
bool Row(const std::string& name, const std::function<GuardCheck(const GuardCast&)>& compiled,
         const GuardText& text, std::vector<int>& caught, int& unbounded) {
    const GuardCode code(text);
    bool agree = true;
    bool stopped = false;
    std::vector<bool> fails(kVerdicts, false);
    std::string row;
    std::string whys;  // of each verdict the two give differently
    for (const GuardCast& cast : kDefaultScenes) {
        const GuardCheck c = compiled(cast);
        const GuardCheck i = LimitedCheck<TextGuard>(cast, [&code] { return new TextGuard(code); });
        const bool compare = c.complete && i.complete;
        stopped = stopped || !compare;
        for (int v = 0; v < kVerdicts; ++v) {
            row += Marks(c, i, v, compare, agree) + " ";
            if (compare && c.verdicts[v].holds != i.verdicts[v].holds) {
                whys += "    " + SceneName(cast) + ", " + kVerdictNames[v] + ": compiled " +
                        (c.verdicts[v].holds ? "holds" : "fails: " + c.verdicts[v].why) +
                        "; interpreted " +
                        (i.verdicts[v].holds ? "holds" : "fails: " + i.verdicts[v].why) + "\n";
            }
            fails[v] = fails[v] || !c.verdicts[v].holds || !i.verdicts[v].holds;
        }
        row += "| ";
    }
    std::printf("%s%s%s %s\n", row.c_str(), agree ? "" : "DISAGREE ", stopped ? "UNBOUNDED" : "",
                name.c_str());
    std::printf("%s", whys.c_str());
    std::fflush(stdout);
    for (int v = 0; v < kVerdicts; ++v) {
        caught[v] += fails[v] ? 1 : 0;
    }
    unbounded += stopped ? 1 : 0;
    caught[kVerdicts] += std::find(fails.begin(), fails.end(), true) != fails.end() ? 1 : 0;
    return agree;
}

int Check(const std::vector<std::size_t>& only) {
    const auto read = ReadGuardText(GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR)));
    if (const auto* error = std::get_if<TextError>(&read)) {
        std::printf("the real guard does not read: %s\n", Describe(*error).c_str());
        return 1;
    }
    const GuardText& guard = std::get<GuardText>(read);
    const std::vector<Mutant> mutants = Mutants(guard);
    if (mutants.size() != std::size(mutants::kCompiled)) {
        std::printf("the compiled mutants are not the guard's: rebuild guard-mutants-check\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::printf(
        "verdicts, compiled/interpreted (+ holds, x fails, ! between when they differ), "
        "on %s | %s:\n",
        SceneName(kDefaultScenes[0]).c_str(), SceneName(kDefaultScenes[1]).c_str());
    for (int v = 0; v < kVerdicts; ++v) {
        std::printf("  %d. %s\n", v + 1, kVerdictNames[v]);
    }
    std::vector<int> caught(kVerdicts + 1, 0);
    std::vector<int> real(kVerdicts + 1, 0);
    int disagreements = 0;
    int unbounded = 0;
    int realUnbounded = 0;
    disagreements += Row(
                         "the real guard",
                         [](const GuardCast& cast) { return LimitedCheck<ReadWriteGuard>(cast); },
                         guard, real, realUnbounded)
                         ? 0
                         : 1;
    for (std::size_t n = 0; n < mutants.size(); ++n) {
        if (mutants[n].description != mutants::kCompiled[n].description) {
            std::printf("mutant %zu is not the one compiled: rebuild guard-mutants-check\n", n);
            return 1;
        }
        if (!only.empty() && std::find(only.begin(), only.end(), n) == only.end()) {
            continue;
        }
        const std::string name = "mutant " + std::to_string(n) + ": " + mutants[n].description;
        disagreements +=
            Row(name, mutants::kCompiled[n].check, mutants[n].text, caught, unbounded) ? 0 : 1;
    }
    std::printf("\n%zu mutants; caught by\n", mutants.size());
    for (int v = 0; v < kVerdicts; ++v) {
        std::printf("  %-40s %d\n", kVerdictNames[v], caught[v]);
    }
    std::printf("  %-40s %d\n", "any verdict", caught[kVerdicts]);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%d mutant(s) whose search stopped at its bound (%llu | %llu states), not "
        "compared\n",
        unbounded, static_cast<unsigned long long>(MutantStates(kDefaultScenes[0])),
        static_cast<unsigned long long>(MutantStates(kDefaultScenes[1])));
    std::printf("%d disagreement(s), the real guard %s, in %.1f s\n", disagreements,
                real[kVerdicts] == 0 && realUnbounded == 0 ? "passes every check" : "FAILS",
                seconds);
    return disagreements == 0 && real[kVerdicts] == 0 && realUnbounded == 0 ? 0 : 1;
}

}  // namespace
}  // namespace listpool::sim::guards

// guard-mutants-check [N...]: every mutant, or only those numbered.
int main(int argc, char** argv) {
    std::vector<std::size_t> only;
    for (int n = 1; n < argc; ++n) {
        only.push_back(std::stoul(argv[n]));
    }
    return listpool::sim::guards::Check(only);
}
