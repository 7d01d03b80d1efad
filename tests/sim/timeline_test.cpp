// The program's timeline in virtual time, exactly: when each worker holds
// which guard, who waits for it, and when each line appears. The scheduler
// is the fixed one, so where two threads can go on at the same instant the
// lower-numbered goes first: the console is thread 0, workers are numbered
// in the order they were started.
#include <gtest/gtest.h>

#include "sim_helpers.h"

namespace listpool::sim {
namespace {

constexpr std::uint64_t kOpen = UINT64_MAX;

void ExpectSections(const Played& run, int thread, const std::string& guard,
                    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans, bool write) {
    const std::vector<Section> sections = run.SectionsOf(thread, guard);
    ASSERT_EQ(sections.size(), spans.size()) << "thread " << thread << " on " << guard << "\n"
                                             << run.Explain();
    for (std::size_t n = 0; n < spans.size(); ++n) {
        EXPECT_EQ(sections[n].write, write) << run.Explain();
        EXPECT_EQ(sections[n].begin, spans[n].first) << guard << " section " << n;
        EXPECT_EQ(sections[n].end, spans[n].second) << guard << " section " << n;
    }
}

TEST(TimelineTest, PrintHoldsTheListForTwoPeriodsAndAnInsertWaitsForIt) {
    const Played run = Play("i 7 9 -1\np\n@1200 i 5 -1\nf\nq\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    EXPECT_EQ(run.TimeOf("stderr", kPrintDone), 5200u) << "one period after p";
    ExpectSections(run, 1, "list", {{200, 10200}}, false);
    EXPECT_EQ(run.TimeOf("stdout", kInsert, 2), 1200u) << "the insert is typed at 1.2 s";
    ExpectSections(run, 0, "list", {{0, 0}, {10200, 10200}, {10800, kOpen}}, true);
    EXPECT_EQ(run.TimeOf("stdout", "Your Command", 4), 10400u) << "insert done, then the pause";
    EXPECT_EQ(run.outcome().endTimeMs, 10800u);
    EXPECT_EQ(run.file("stdout"), kPrompt + kInsert + kPrompt + "Requesting for print:\n" +
                                      kPrompt + kInsert + kPrompt +
                                      Dump({{7, -1, true}, {9, 0, true}, {5, 3, true}}) + kPrompt);
    EXPECT_EQ(run.file("stderr"), kPrintDone);
    EXPECT_EQ(run.file("PrintThread.0"),
              Log("PrintThread.0",
                  "\nPrinting TmyList after: 2 Ops performed\nLink(3) Has Key(9)\nLink(0) Has "
                  "Key(7)\n"));
}

TEST(TimelineTest, TwoPrintsAreTwoReadersAndQuitWaitsForBoth) {
    const Played run = Play("i 7 9 -1\np\np\nq\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    ExpectSections(run, 1, "list", {{200, 10200}}, false);
    ExpectSections(run, 2, "list", {{400, 10400}}, false);
    EXPECT_EQ(run.TimeOf("stderr", kPrintDone, 1), 5200u);
    EXPECT_EQ(run.TimeOf("stderr", kPrintDone, 2), 5400u);
    EXPECT_EQ(run.outcome().endTimeMs, 10400u) << "q ends once the second print has left";
    const std::string report =
        "\nPrinting TmyList after: 2 Ops performed\nLink(3) Has Key(9)\nLink(0) Has Key(7)\n";
    EXPECT_EQ(run.file("PrintThread.0"), Log("PrintThread.0", report + report));
    EXPECT_EQ(run.file("stdout"), kPrompt + kInsert + kPrompt + "Requesting for print:\n" +
                                      kPrompt + "Requesting for print:\n" + kPrompt);
}

TEST(TimelineTest, QuitDuringAPrintEndsWhenThePrintLeaves) {
    const Played run = Play("i 7 -1\np\nq\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    EXPECT_EQ(run.TimeOf("stderr", kPrintDone), 5200u);
    EXPECT_EQ(run.outcome().endTimeMs, 10200u);
    ExpectSections(run, 0, "list", {{0, 0}, {10200, kOpen}}, true);
}

TEST(TimelineTest, EachFindLooksForItsOwnKeyForTwoPeriods) {
    const Played run = Play("F 3\n@2000 i 7 -1\nF 7\nF 8\n@5000 q\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    ExpectSections(run, 1, "list", {{0, 2000}}, false);
    ExpectSections(run, 2, "list", {{2200, 4200}}, false);
    ExpectSections(run, 3, "list", {{2400, 4400}}, false);
    EXPECT_EQ(run.TimeOf("stderr", kFindDone, 1), 2000u);
    EXPECT_EQ(run.TimeOf("stderr", kFindDone, 2), 4200u);
    EXPECT_EQ(run.TimeOf("stderr", kFindDone, 3), 4400u);
    EXPECT_EQ(run.TimeOf("FindThread.0", "Key(7)"), 3200u) << "one period in";
    EXPECT_EQ(run.file("FindThread.0"),
              Log("FindThread.0",
                  "\nLooking for Key(3) in TmyList after: 0 Ops performed\n\t\t****> NOT FOND!\n"
                  "\nLooking for Key(7) in TmyList after: 1 Ops performed\n\t\t****> FOND!\n"
                  "\nLooking for Key(8) in TmyList after: 1 Ops performed\n\t\t****> NOT FOND!\n"));
    EXPECT_EQ(run.outcome().endTimeMs, 5200u);
}

TEST(TimelineTest, CollectionHoldsThePoolFourPeriodsAndTheListTwoWithin) {
    const Played run = Play("i 1 2 -1\nd 1\ng\n@1400 f\ni 3 -1\nf\ng\nq\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    ExpectSections(run, 1, "pool", {{400, 8400}}, true);
    ExpectSections(run, 1, "list", {{2400, 6400}}, false);
    EXPECT_EQ(run.TimeOf("stdout", "Here is the Record Pool"), 1400u);
    EXPECT_EQ(run.TimeOf("stdout", "Record Memory Pool Content"), 8400u) << "the dump waited";
    EXPECT_EQ(run.TimeOf("stderr", kGarbageDone, 1), 8400u);
    ExpectSections(run, 2, "pool", {{9000, 17000}}, true);
    EXPECT_EQ(run.outcome().endTimeMs, 17000u) << "q waits for the second collection";
    EXPECT_EQ(run.file("stdout"),
              kPrompt + kInsert + kPrompt +
                  "Please enter the key to delete: going to delete: 1\nDeleted Key(1)\n" + kPrompt +
                  "Forcing a garbage collection!\n" + kPrompt +
                  Dump({{1, -1, false}, {2, -1, true}}) + kPrompt + kInsert + kPrompt +
                  Dump({{3, 3, true}, {2, -1, true}}) + kPrompt +
                  "Forcing a garbage collection!\n" + kPrompt);
    EXPECT_EQ(run.file("GarbageThread.0"),
              Log("GarbageThread.0",
                  "\nPerforming Garbage Collection for TmyList after: 3 Ops performed\n"
                  "\nPerforming Garbage Collection for TmyList after: 4 Ops performed\n"));
}

TEST(TimelineTest, TenWorkersOfMixedKindsQueueOnlyWhereTheyWrite) {
    // Collections write the pool, so they go one after the other; prints and
    // finds only read the list, beside the collections' reads of it.
    const Played run = Play("i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\n@30000 q\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    ASSERT_EQ(run.outcome().threads, 11);
    ExpectSections(run, 1, "pool", {{200, 8200}}, true);
    ExpectSections(run, 2, "pool", {{8200, 16200}}, true);
    ExpectSections(run, 5, "pool", {{16200, 24200}}, true);
    ExpectSections(run, 8, "pool", {{24200, 32200}}, true);
    ExpectSections(run, 2, "list", {{10200, 14200}}, false);
    ExpectSections(run, 3, "list", {{600, 10600}}, false);
    ExpectSections(run, 6, "list", {{1200, 11200}}, false);
    ExpectSections(run, 9, "list", {{1800, 11800}}, false);
    ExpectSections(run, 4, "list", {{800, 2800}}, false);
    ExpectSections(run, 7, "list", {{1400, 3400}}, false);
    ExpectSections(run, 10, "list", {{2000, 4000}}, false);
    EXPECT_EQ(run.outcome().endTimeMs, 32200u) << "q waits for the last collection";
    EXPECT_EQ(run.file("FindThread.0"),
              Log("FindThread.0",
                  "\nLooking for Key(2) in TmyList after: 2 Ops performed\n\t\t****> FOND!\n"
                  "\nLooking for Key(9) in TmyList after: 2 Ops performed\n\t\t****> NOT FOND!\n"
                  "\nLooking for Key(1) in TmyList after: 2 Ops performed\n\t\t****> FOND!\n"));
    EXPECT_EQ(run.file("stderr"), kFindDone + kFindDone + kFindDone + kPrintDone + kPrintDone +
                                      kPrintDone + kGarbageDone + kGarbageDone + kGarbageDone +
                                      kGarbageDone);
}

TEST(TimelineTest, LogsThatCannotOpenAreSilentAndTheWorkersStillRun) {
    Options options;
    options.unopenable = {"PrintThread.0", "FindThread.0"};
    const Played run = Play("i 7 -1\np\nF 7\ng\n@11000 q\n", {}, options);
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    EXPECT_EQ(run.file("PrintThread.0"), "");
    EXPECT_EQ(run.file("FindThread.0"), "");
    EXPECT_EQ(run.file("stderr"), kFindDone + kPrintDone + kGarbageDone);
    EXPECT_EQ(run.file("GarbageThread.0"),
              Log("GarbageThread.0",
                  "\nPerforming Garbage Collection for TmyList after: 1 Ops performed\n"));
}

TEST(TimelineTest, AFailedReadRunsItsFindOnceThenQuitsAfterIt) {
    const Played run = Play("i 0 -1\nF +\nF 5\nf\n");
    ASSERT_TRUE(run.result.ok()) << run.Explain();
    EXPECT_EQ(run.file("stdout"),
              kPrompt + kInsert + kPrompt + "Please enter the key to find: Going to find: 0\n");
    ExpectSections(run, 1, "list", {{200, 2200}}, false);
    EXPECT_EQ(run.outcome().endTimeMs, 2200u);
    EXPECT_EQ(run.TimeOf("FindThread.0", "FOND!"), 1200u);
}

}  // namespace
}  // namespace listpool::sim
