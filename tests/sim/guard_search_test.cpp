// Every reachable state of readers and writers on one real ReadWriteGuard,
// at the grain of platform calls, with no bound: exclusion in every state,
// no deadlock, every run ending; and, over the graph of those states, the
// weakly fair runs in which a writer or a reader waits for ever. The same
// search must catch each broken guard by the property it breaks. And the
// guard watch's tracker of the guard's sequences, against the guard's own
// account of where each thread is.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "guard_page_scene.h"
#include "platform/sim/strategies.h"
#include "sim/guards/broken_texts.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/guard_scene.h"
#include "sim/guards/guard_text.h"
#include "sim/runs/guard_watch.h"
#include "sim/search/choice_text.h"
#include "sim/search/fair_cycle.h"
#include "sim/search/replay.h"
#include "sim/search/state_search.h"
#include "sim_helpers.h"
#include "store/read_write_guard.h"

namespace listpool::sim {
namespace {

std::string TestName() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(test->test_suite_name()) + "." + test->name();
}

// The one command that replays `choices` in this test, and what it shows.
std::string GuardReplayCommand(const std::vector<int>& choices) {
    return "LISTPOOL_GUARD_REPLAY='" + ChoiceText(choices) +
           "' build/tests/sim/listpool_sim_tests --gtest_filter=" + TestName();
}

// With LISTPOOL_GUARD_REPLAY set, a test plays that schedule of its scene
// instead of searching, prints the states it passes and what went wrong,
// and is skipped.
template <typename Guard>
bool Replaying(const GuardCast& cast) {
    const char* text = std::getenv("LISTPOOL_GUARD_REPLAY");
    if (text == nullptr) {
        return false;
    }
    std::vector<int> choices;
    if (!ParseChoices(text, choices)) {
        ADD_FAILURE() << "LISTPOOL_GUARD_REPLAY holds more than choices: " << text;
        return true;
    }
    GuardScene<Guard> scene(cast);
    const Replayed replayed = Replay(scene, choices);
    for (std::size_t k = 0; k < replayed.states.size(); ++k) {
        std::printf("choice %zu: state %016llx%s\n", k,
                    static_cast<unsigned long long>(replayed.states[k]),
                    k < choices.size() ? (" -> thread " + std::to_string(choices[k])).c_str() : "");
    }
    std::printf("%s\n",
                replayed.failure.empty() ? "nothing wrong on the way" : replayed.failure.c_str());
    return true;
}

// LISTPOOL_GUARD_ROUNDS caps every counted number of rounds: the sanitizer
// and arm64 presets, many times slower, search smaller casts.
GuardCast Capped(GuardCast cast) {
    if (const char* cap = std::getenv("LISTPOOL_GUARD_ROUNDS")) {
        const int most = std::atoi(cap);
        for (int* rounds : {&cast.readRounds, &cast.writeRounds}) {
            *rounds = *rounds == 0 ? 0 : std::min(*rounds, most);
        }
    }
    return cast;
}

// Every search of a guard scene runs twice where runs can be copied:
// restoring copies must find what replaying from a run's start finds.
template <typename Guard>
SearchResult Search(const GuardCast& cast) {
    GuardScene<Guard> scene(cast);
    auto start = std::chrono::steady_clock::now();
    auto seconds = [&start] {
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        start = std::chrono::steady_clock::now();
        return taken.count();
    };
    SearchResult result = SearchStates(scene);
    std::printf("%s: %s in %.2f s\n", TestName().c_str(), Figures(result).c_str(), seconds());
    if (RewindableRun::Possible()) {
        SearchOptions replaying;
        replaying.restore = false;
        const SearchResult replayed = SearchStates(scene, replaying);
        EXPECT_TRUE(MetInTheSameOrder(result.graph, replayed.graph));
        EXPECT_EQ(result.failure, replayed.failure);
        EXPECT_EQ(result.replay, replayed.replay);
        EXPECT_EQ(result.graph.failures.size(), replayed.graph.failures.size());
        std::printf("replaying: %s in %.2f s\n", Figures(replayed).c_str(), seconds());
    }
    return result;
}

// A fair cycle in which `label` holds for ever, checked by replaying it:
// one lap leads back to the state it began in, and the label holds all the
// way round.
template <typename Guard>
FairCycle FairCycleOf(const GuardCast& cast, const SearchResult& result, std::uint32_t label) {
    const FairCycle cycle = FindFairCycle(result.graph, label);
    if (!cycle.found) {
        return cycle;
    }
    std::vector<int> twice = cycle.prefix;
    twice.insert(twice.end(), cycle.lap.begin(), cycle.lap.end());
    GuardScene<Guard> scene(cast);
    const Replayed replayed = Replay(scene, twice);
    const std::size_t start = cycle.prefix.size(), end = twice.size();
    EXPECT_EQ(replayed.states.size(), end + 1);
    if (replayed.states.size() == end + 1) {
        EXPECT_EQ(replayed.states[start], replayed.states[end]) << "the lap is no cycle";
        std::uint32_t all = ~0u;
        for (std::size_t k = start; k < end; ++k) {
            all &= replayed.labels[k];
        }
        EXPECT_NE(all & label, 0u) << "the label does not hold all the way round";
    }
    std::printf("fair cycle: prefix of %zu choices, lap of %zu; replay: %s\n", start,
                cycle.lap.size(), GuardReplayCommand(twice).c_str());
    return cycle;
}

// Each writer's or reader's own label, one at a time: the property is that
// no one of them waits for ever.
std::vector<std::uint32_t> EachBit(std::uint32_t labels) {
    std::vector<std::uint32_t> bits;
    for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
        if ((labels & bit) != 0) {
            bits.push_back(bit);
        }
    }
    return bits;
}

const GuardCast kTwoRounds = Capped({2, 2, 2, 2});
// Readers come back for ever and overlap; writers queue three rounds each,
// so one resets the gate while the other is inside.
const GuardCast kReadersForEver = Capped({2, 2, 0, 3});
const GuardCast kAllForEver{2, 2, 0, 0};

TEST(GuardSearchTest, EveryStateKeepsWritersAloneAndEveryRunEnds) {
    if (Replaying<ReadWriteGuard>(kTwoRounds)) {
        GTEST_SKIP();
    }
    const SearchResult result = Search<ReadWriteGuard>(kTwoRounds);
    ASSERT_EQ(result.failure, "") << GuardReplayCommand(result.replay);
    EXPECT_TRUE(result.complete);
    EXPECT_FALSE(result.graph.HasCycle()) << "some run of finite rounds goes on for ever";
    std::printf("schedules: %.4g\n", result.graph.Schedules());
    RecordProperty("states", std::to_string(result.states));
}

// While readers keep overlapping, a writer that has arrived gets in, and a
// reader at the gate gets past it. But, as the guard's model finds, not
// while writers keep coming too: the gate is open only from one writer's
// SetEvent to the next writer's ResetEvent, and a reader that does not look
// then waits on.
// Three rounds each: about four times the states; CI only.
TEST(GuardSearchLargeTest, EveryStateKeepsWritersAloneAndEveryRunEndsInThreeRoundsEach) {
    constexpr GuardCast kCast{2, 2, 3, 3};
    if (Replaying<ReadWriteGuard>(kCast)) {
        GTEST_SKIP();
    }
    const SearchResult result = Search<ReadWriteGuard>(kCast);
    ASSERT_EQ(result.failure, "") << GuardReplayCommand(result.replay);
    EXPECT_TRUE(result.complete);
    EXPECT_FALSE(result.graph.HasCycle()) << "some run of finite rounds goes on for ever";
}

TEST(GuardSearchTest, WritersGetInPastOverlappingReadersWhoPassTheGateUnlessWritesNeverEnd) {
    if (Replaying<ReadWriteGuard>(kAllForEver)) {
        GTEST_SKIP();
    }
    using Scene = GuardScene<ReadWriteGuard>;
    const SearchResult finite = Search<ReadWriteGuard>(kReadersForEver);
    ASSERT_EQ(finite.failure, "") << GuardReplayCommand(finite.replay);
    for (const std::uint32_t label : EachBit(Scene::AnyWriterWaits(kReadersForEver) |
                                             Scene::AnyReaderAtGate(kReadersForEver))) {
        EXPECT_FALSE((FairCycleOf<ReadWriteGuard>(kReadersForEver, finite, label).found)) << label;
    }
    const SearchResult endless = Search<ReadWriteGuard>(kAllForEver);
    ASSERT_EQ(endless.failure, "") << GuardReplayCommand(endless.replay);
    EXPECT_TRUE((FairCycleOf<ReadWriteGuard>(kAllForEver, endless, Scene::kReaderAtGate).found));
}

TEST(GuardSearchTest, FindsTheReaderInsideAGuardWithoutTheRecheck) {
    if (Replaying<guards::WithoutRecheck>(kTwoRounds)) {
        GTEST_SKIP();
    }
    const SearchResult result = Search<guards::WithoutRecheck>(kTwoRounds);
    EXPECT_NE(result.failure.find("came in; inside are"), std::string::npos) << result.failure;
    // The shortest schedule the search reports does reach that state.
    GuardScene<guards::WithoutRecheck> scene(kTwoRounds);
    EXPECT_EQ(Replay(scene, result.replay).failure, result.failure);
    std::printf("found: %s\nreplay: %s\n", result.failure.c_str(),
                GuardReplayCommand(result.replay).c_str());
}

TEST(GuardSearchTest, FindsTheWriterKeptOutWithoutTheSecondGateReset) {
    // Two rounds of writes are enough to have one writer queue behind the
    // other.
    const GuardCast kCast = Capped({2, 2, 0, 2});
    if (Replaying<guards::WithoutSecondReset>(kCast)) {
        GTEST_SKIP();
    }
    const SearchResult result = Search<guards::WithoutSecondReset>(kCast);
    ASSERT_EQ(result.failure, "") << "this fault is one of liveness only";
    EXPECT_TRUE((FairCycleOf<guards::WithoutSecondReset>(
                     kCast, result, GuardScene<guards::WithoutSecondReset>::AnyWriterWaits(kCast))
                     .found));
}

// Remembering states loses no behaviour: on a cast small enough to run
// every schedule to its end, the search meets exactly the states that plain
// enumeration meets.
TEST(GuardSearchTest, MeetsEveryStateThatPlainEnumerationMeets) {
    for (const GuardCast cast : {Capped({1, 1, 2, 1}), Capped({1, 1, 1, 2})}) {
        GuardScene<ReadWriteGuard> scene(cast);
        const SearchResult searched = SearchStates(scene);
        SearchOptions plain;
        plain.remember = false;
        const SearchResult enumerated = SearchStates(scene, plain);
        ASSERT_EQ(searched.failure, "");
        ASSERT_EQ(enumerated.failure, "");
        EXPECT_EQ(searched.hashes, enumerated.hashes);
        EXPECT_EQ(searched.graph.Schedules(), static_cast<double>(enumerated.runs));
        std::printf("%d readers, %d writers: %s; plain: %s\n", cast.readers, cast.writers,
                    Figures(searched).c_str(), Figures(enumerated).c_str());
    }
}

// A scene whose state leaves out what its threads go on from (here, the
// rounds) merges states that go on differently. The search sees it the
// second time it meets such a state, and the plain enumeration meets states
// the search never does.
TEST(GuardSearchTest, CatchesAStateThatLeavesOutWhatThreadsGoOnFrom) {
    GuardCast cast{1, 1, 2, 1};
    cast.forgetRounds = true;
    GuardScene<ReadWriteGuard> scene(cast);
    const SearchResult searched = SearchStates(scene);
    EXPECT_NE(searched.failure.find("two visits to one state"), std::string::npos)
        << searched.failure;
    SearchOptions plain;
    plain.remember = false;
    EXPECT_NE(SearchStates(scene, plain).hashes, searched.hashes);
}

// A scene that leaves out of its copies some memory its runs change (here,
// the threads' phases and rounds) is put back in a state it was not copied
// at. The search checks every run it puts back, and says so at the first.
TEST(GuardSearchTest, CatchesARunPutBackWithoutAllItsMemory) {
    if (!RewindableRun::Possible()) {
        GTEST_SKIP() << "runs cannot be copied in this build";
    }
    GuardCast cast{1, 1, 2, 1};
    cast.leaveThreadsOutOfCopies = true;
    GuardScene<ReadWriteGuard> scene(cast);
    const SearchResult searched = SearchStates(scene);
    EXPECT_NE(searched.failure.find("put back from its copy"), std::string::npos)
        << searched.failure;
}

// Under random schedules, at every step: a thread stopped at a call on one
// of the guard's objects is in the sequence the tracker says that call is
// in, and a thread stopped inside (at its sleep) is where the tracker says,
// as the narrated guard knows from its own sequences' starts and ends.
TEST(GuardSequencesTest, TheTrackerPlacesEveryThreadWhereTheGuardSaysItIs) {
    using Shown = Narrated<ReadWriteGuard>;
    struct Checker final : Observer {
        GuardWatch watch;
        int checked = 0;
        void OnNotice(const Notice& notice) override {
            if (watch.GuardNames().empty() && Shown::last != nullptr) {
                watch.Add(*Shown::last, "guard");
            }
            watch.OnNotice(notice);
            if (notice.phase != Notice::kRequest || watch.GuardNames().empty()) {
                return;
            }
            for (int thread = 1; thread < ThreadsStarted(); ++thread) {
                const void* object = nullptr;
                const Op op = PendingOp(thread, &object);
                const GuardObject on = watch.ObjectOf(object);
                if (!on.known() && op != Op::kSleep) {
                    continue;
                }
                const Sequence tracked = on.known()
                                             ? watch.Sequences(0).Entering(thread, op, on.part)
                                             : watch.Sequences(0).At(thread);
                const auto in = Shown::in.find(thread);
                EXPECT_EQ(tracked, in == Shown::in.end() ? kOut : in->second)
                    << "thread " << thread << " at " << OpName(op) << " " << watch.NameOf(object);
                ++checked;
            }
        }
    };
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        FreshScene<ReadWriteGuard> scene;
        RandomChooser chooser(seed);
        Checker checker;
        Options options;
        options.chooser = &chooser;
        options.observer = &checker;
        options.maxSteps = 3000;
        scene.Play(options);
        EXPECT_GT(checker.checked, 1000) << "seed " << seed;
        EXPECT_FALSE(checker.watch.sections().empty()) << "seed " << seed;
    }
}

}  // namespace
}  // namespace listpool::sim

namespace listpool::sim {
namespace {

// A broken guard's text gives its compiled copy's graph, state for state
// and step for step, on the explorer's scene and on two rounds each.
}  // namespace
}  // namespace listpool::sim

namespace listpool::sim {
namespace {

// A broken guard's text gives its compiled copy's graph, state for state
// and step for step, on the explorer's scene and on two rounds each.
template <typename Compiled>
void SameGraphAsText(const char* name) {
    const guards::BrokenGuard* broken = guards::FindBrokenGuard(name);
    ASSERT_NE(broken, nullptr);
    auto read = guards::ReadGuardText(guards::BrokenGuardText(*broken));
    ASSERT_TRUE(std::holds_alternative<guards::GuardText>(read)) << name;
    const guards::GuardCode code(std::get<guards::GuardText>(std::move(read)));
    for (const GuardCast& cast : {GuardCast{2, 2, 0, 2}, GuardCast{2, 2, 2, 2}}) {
        GuardScene<Compiled> compiled(cast);
        GuardScene<guards::TextGuard> text(cast, [&code] { return new guards::TextGuard(code); });
        const SearchResult c = SearchStates(compiled), t = SearchStates(text);
        std::printf("%s, %d rounds: compiled %s; text %s\n", name, cast.writeRounds,
                    Figures(c).c_str(), Figures(t).c_str());
        EXPECT_EQ(c.states, t.states) << name;
        EXPECT_EQ(c.transitions, t.transitions) << name;
        EXPECT_EQ(c.failure.empty(), t.failure.empty()) << name;
        EXPECT_EQ(c.replay.size(), t.replay.size()) << name;
    }
}

TEST(GuardSearchTest, WithoutRecheckTextGivesTheCompiledGraph) {
    SameGraphAsText<guards::WithoutRecheck>("without-recheck");
    SameGraphAsText<guards::WithoutSecondReset>("without-second-reset");
}

}  // namespace
}  // namespace listpool::sim
