// Guard texts run: the real guard's text, read from its file, gives the
// compiled guard's graph state for state and edge for edge, with the same
// verdicts; what a text can get wrong (a race, a loop that never waits, a
// lock of a mutex it holds) is found and said at its line; a place in a
// text tells apart points that go on differently; and the program runs on
// a text in its guards' place.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <variant>

#include "sim/explore/guard_source.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/session_guard.h"
#include "sim/guards/verdicts.h"
#include "sim/runs/session_search.h"
#include "store/read_write_guard.h"

namespace listpool::sim::guards {
namespace {

GuardCode Code(const std::string& text) {
    auto read = ReadGuardText(text);
    if (const auto* error = std::get_if<TextError>(&read)) {
        ADD_FAILURE() << Describe(*error);
        return GuardCode(GuardText{});
    }
    return GuardCode(std::move(std::get<GuardText>(read)));
}

const GuardCode& RealCode() {
    static const GuardCode code = Code(GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR)));
    return code;
}

// The real guard's text with one line of it replaced.
std::string RealWith(const std::string& line, const std::string& instead) {
    std::string text = GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    const auto at = text.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    return at == std::string::npos ? text : text.replace(at, line.size(), instead);
}

template <typename Guard>
SearchResult Search(const GuardCast& cast, std::function<Guard*()> make = {}) {
    GuardScene<Guard> scene(cast, std::move(make));
    return SearchStates(scene);
}

SearchResult SearchText(const GuardCode& code, const GuardCast& cast) {
    return Search<TextGuard>(cast, [&code] { return new TextGuard(code); });
}

// Whether the two graphs are one: walked together from their first states,
// each step by a thread leads to states that match, with the same threads
// able to go on, the same labels and the same steps.
::testing::AssertionResult SameGraph(const StateGraph& a, const StateGraph& b) {
    if (a.nodes.size() != b.nodes.size()) {
        return ::testing::AssertionFailure()
               << a.nodes.size() << " states against " << b.nodes.size();
    }
    std::vector<std::uint32_t> to(a.nodes.size(), StateGraph::kEnd);
    std::deque<std::uint32_t> queue{0};
    to[0] = 0;
    while (!queue.empty()) {
        const std::uint32_t n = queue.front();
        queue.pop_front();
        const auto& x = a.nodes[n];
        const auto& y = b.nodes[to[n]];
        if (!(x.enabled == y.enabled) || x.labels != y.labels || x.steps.size() != y.steps.size()) {
            return ::testing::AssertionFailure() << "state " << n << " differs";
        }
        for (std::size_t s = 0; s < x.steps.size(); ++s) {
            const auto& p = x.steps[s];
            const auto& q = y.steps[s];
            if (p.thread != q.thread || (p.to == StateGraph::kEnd) != (q.to == StateGraph::kEnd)) {
                return ::testing::AssertionFailure() << "a step from state " << n << " differs";
            }
            if (p.to == StateGraph::kEnd) {
                continue;
            }
            if (to[p.to] == StateGraph::kEnd) {
                to[p.to] = q.to;
                queue.push_back(p.to);
            } else if (to[p.to] != q.to) {
                return ::testing::AssertionFailure() << "state " << p.to << " is two states";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

void ExpectSameVerdicts(const GuardCheck& a, const GuardCheck& b) {
    ASSERT_EQ(a.verdicts.size(), b.verdicts.size());
    for (std::size_t v = 0; v < a.verdicts.size(); ++v) {
        EXPECT_EQ(a.verdicts[v].holds, b.verdicts[v].holds) << a.verdicts[v].name;
        EXPECT_EQ(a.verdicts[v].schedule, b.verdicts[v].schedule) << a.verdicts[v].name;
        EXPECT_EQ(a.verdicts[v].lap, b.verdicts[v].lap) << a.verdicts[v].name;
    }
}

void ExpectTheCompiledGuardsGraph(const GuardCast& cast, std::uint64_t states) {
    const SearchResult compiled = Search<ReadWriteGuard>(cast);
    const SearchResult text = SearchText(RealCode(), cast);
    EXPECT_EQ(text.states, states) << SceneName(cast);
    EXPECT_EQ(text.transitions, compiled.transitions) << SceneName(cast);
    EXPECT_TRUE(SameGraph(compiled.graph, text.graph)) << SceneName(cast);
    ExpectSameVerdicts(Verdicts(cast, compiled), Verdicts(cast, text));
}

// The two default scenes, and the fair cycles' (writers of three rounds
// beside readers for ever; everyone for ever, where a reader can be kept
// at the gate).
TEST(GuardCodeTest, TheRealGuardsTextGivesTheCompiledGuardsGraph) {
    ExpectTheCompiledGuardsGraph({2, 2, 2, 2}, 56'718);
    ExpectTheCompiledGuardsGraph({2, 2, 0, 2}, 14'185);
    ExpectTheCompiledGuardsGraph({2, 2, 0, 3}, Search<ReadWriteGuard>({2, 2, 0, 3}).states);
    ExpectTheCompiledGuardsGraph({2, 2, 0, 0}, Search<ReadWriteGuard>({2, 2, 0, 0}).states);
}

TEST(GuardCodeLargeTest, TheRealGuardsTextGivesTheCompiledGuardsGraphInThreeRoundsEach) {
    ExpectTheCompiledGuardsGraph({2, 2, 3, 3}, 223'719);
}

const Verdict& Named(const GuardCheck& check, const std::string& name) {
    for (const Verdict& v : check.verdicts) {
        if (v.name == name) {
            return v;
        }
    }
    throw std::runtime_error("no verdict " + name);
}

// Each misuse is a failure of "no misuse", said at its line, never a crash.
TEST(GuardCodeTest, MisusesAreFoundAndSaidAtTheirLine) {
    struct Case {
        std::string line, instead, said;
    };
    const Case cases[] = {
        {"    countMutex->Lock();\n    ++readerCount;",
         "    ++readerCount;\n    countMutex->Lock();",
         "readerCount is read without countMutex, which guards it (a race)"},
        {"    noReadersEvent->ResetEvent();\n",
         "    noReadersEvent->ResetEvent();\n"
         "    countMutex->Lock();\n",
         "locks"},
        {"    noReadersEvent->ResetEvent();\n", "    while (readerCount > 0) {\n    }\n",
         "the loop goes round without waiting"},
        {"    gateEvent->SetEvent();\n    writerMutex->Unlock();",
         "    gateEvent->SetEvent();\n    writerMutex->Unlock();\n    writerMutex->Unlock();",
         "which it does not hold"},
    };
    for (const Case& c : cases) {
        const GuardCode code = Code(RealWith(c.line, c.instead));
        const Verdict misuse = Named(CheckText(code, {2, 2, 2, 2}), "no misuse");
        EXPECT_FALSE(misuse.holds) << c.instead;
        EXPECT_NE(misuse.why.find(c.said), std::string::npos) << misuse.why;
    }
    // The race and the loop name their lines, the file's.
    const Verdict race = Named(
        CheckText(Code(RealWith(cases[0].line, cases[0].instead)), {2, 2, 2, 2}), "no misuse");
    EXPECT_EQ(race.why.rfind("line 13: ", 0), 0u) << race.why;
}

// A race's read and write are steps of their own: two readers that count
// themselves in unguarded can leave the count at one.
TEST(GuardCodeTest, AnUnguardedIncrementCanLoseAnUpdate) {
    const GuardCode code = Code(
        "void ReaderArrives() { ++readerCount; }\n"
        "void ReaderLeaves() {}\nvoid WriterArrives() {}\nvoid WriterLeaves() {}\n");
    struct Lost final : SearchScene {
        explicit Lost(const GuardCode& code)
            : scene({2, 0, 1, 1}, [this, &code] { return guard = new TextGuard(code); }) {}
        Outcome Play(const Options& options) override { return scene.Play(options); }
        std::uint64_t State() override { return scene.State(); }
        // The race is not reported here: what it lets happen is looked at.
        // Both readers inside (asleep there) or gone: the count they left.
        std::uint32_t Labels() override {
            const auto past = [](int thread) {
                return PendingOp(thread) == Op::kSleep || PendingOp(thread) == Op::kEnd;
            };
            return ThreadsStarted() == 3 && past(1) && past(2) ? 1u << guard->Counters()[0] : 0;
        }
        GuardScene<TextGuard> scene;
        TextGuard* guard = nullptr;
    } lost(code);
    std::uint32_t counts = 0;
    for (const auto& node : SearchStates(lost).graph.nodes) {
        counts |= node.labels;
    }
    EXPECT_EQ(counts, (1u << 1) | (1u << 2)) << "the readers leave the count at 1 or 2";
}

// Two points with the same last and next call that go on differently: a
// place that were only those would merge them, and the search, which
// checks that a state met again goes on as before, would find it.
TEST(GuardCodeTest, APlaceTellsApartPointsWithTheSameLastAndNextCall) {
    const GuardCode code = Code(RealWith(
        "    countMutex->Unlock();\n    gateEvent->SetEvent();\n    writerMutex->Unlock();",
        "    countMutex->Unlock();\n    gateEvent->SetEvent();\n    countMutex->Lock();\n"
        "    countMutex->Unlock();\n    gateEvent->SetEvent();\n    writerMutex->Unlock();"));
    const GuardCheck check = CheckText(code, {2, 2, 2, 2});
    EXPECT_TRUE(check.Holds()) << check.verdicts[0].why;
    EXPECT_GT(check.states, 56'718u);
}

// The program on a text: the real guard's text gives the compiled guard's
// every schedule, and a text without the writer's re-check lets the
// session's writer in beside a reader.
TEST(GuardCodeTest, TheProgramRunsOnAText) {
    // Ten workers, some of whom meet at the guards at one instant.
    const std::string session = "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n";
    const EverySchedule compiled = SearchEverySchedule(session);
    EverySchedule text;
    {
        const TextInSessions use(&RealCode());
        text = SearchEverySchedule(session);
    }
    EXPECT_EQ(text.result.states, compiled.result.states);
    EXPECT_EQ(text.result.transitions, compiled.result.transitions);
    EXPECT_EQ(text.outcomes.size(), compiled.outcomes.size());
    EXPECT_EQ(text.result.failure, "");

    const GuardCode broken = Code(
        RealWith("    for (;;) {\n        noReadersEvent->Lock();\n        countMutex->Lock();",
                 "    for (;;) {\n        noReadersEvent->Lock();\n        countMutex->Lock();\n"
                 "        return;"));
    const TextInSessions use(&broken);
    const EverySchedule found = SearchEverySchedule(session);
    EXPECT_NE(found.result.failure.find("writer"), std::string::npos) << found.result.failure;
}

}  // namespace
}  // namespace listpool::sim::guards
