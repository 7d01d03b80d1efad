// The timeline recorder: what each thread did, the guards' states, the
// commands and lines, in exact virtual time under the fixed schedule, and
// its invariants under random schedules, in virtual time and in steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <type_traits>

#include "guard_recording.h"
#include "sim/guards/broken_texts.h"
#include "sim/runs/schedule.h"
#include "sim/runs/session.h"
#include "sim/timeline/guard_states.h"
#include "sim/timeline/timeline.h"

namespace listpool::sim {
namespace {

std::vector<Band> BandsOf(const Timeline& t, int thread, bool withRunning = true) {
    std::vector<Band> bands;
    for (const Band& band : t.bands) {
        if (band.thread == thread && (withRunning || band.activity != Activity::kRunning)) {
            bands.push_back(band);
        }
    }
    return bands;
}

std::vector<GuardSpan> SpansOf(const Timeline& t, const std::string& guard) {
    std::vector<GuardSpan> spans;
    for (const GuardSpan& span : t.guards) {
        if (span.guard == guard) {
            spans.push_back(span);
        }
    }
    return spans;
}

void ExpectBand(const Band& band, Activity activity, const std::string& on, std::uint64_t begin,
                std::uint64_t end) {
    EXPECT_EQ(ActivityName(band.activity), std::string(ActivityName(activity)));
    EXPECT_EQ(band.on, on);
    EXPECT_EQ(band.begin, begin) << ActivityName(band.activity);
    EXPECT_EQ(band.end, end) << ActivityName(band.activity);
}

void ExpectSpan(const GuardSpan& span, GuardState state, int readers, int writer,
                std::uint64_t begin, std::uint64_t end) {
    EXPECT_EQ(GuardStateName(span.state), std::string(GuardStateName(state)));
    EXPECT_EQ(span.readers, readers) << GuardStateName(span.state) << " at " << span.begin;
    EXPECT_EQ(span.writer, writer) << GuardStateName(span.state) << " at " << span.begin;
    EXPECT_EQ(span.begin, begin) << GuardStateName(span.state);
    EXPECT_EQ(span.end, end) << GuardStateName(span.state);
}

TEST(TimelineRecordTest, ADeleteWaitsAtTheListUntilThePrintLeaves) {
    const Recorded run = RecordListpool({}, "i 7 9 -1\np\nd 7\nq\n");
    ASSERT_TRUE(run.result.ok()) << Transcript(run.result.outcome);
    const Timeline& t = run.timeline;
    EXPECT_EQ(t.end, 10600u);
    ASSERT_EQ(t.threads.size(), 2u);
    EXPECT_EQ(t.threads[1].name, "print 1");
    EXPECT_EQ(t.threads[1].begin, 200u);
    EXPECT_EQ(t.threads[1].end, 10200u);

    // The print pauses twice inside the list, and runs between.
    const std::vector<Band> print = BandsOf(t, 1);
    ASSERT_EQ(print.size(), 5u);
    ExpectBand(print[0], Activity::kRunning, "", 200, 200);
    ExpectBand(print[1], Activity::kPausing, "", 200, 5200);
    ExpectBand(print[2], Activity::kRunning, "", 5200, 5200);
    ExpectBand(print[3], Activity::kPausing, "", 5200, 10200);
    ExpectBand(print[4], Activity::kRunning, "", 10200, 10200);

    // The console holds the pool, closes the list's gate and waits for the
    // print to leave; then it deletes, pauses, and takes both guards to quit.
    const std::vector<Band> console = BandsOf(t, 0, false);
    ASSERT_EQ(console.size(), 5u);
    ExpectBand(console[0], Activity::kPausing, "", 0, 200);
    ExpectBand(console[1], Activity::kPausing, "", 200, 400);
    ExpectBand(console[2], Activity::kReadersLeave, "list", 400, 10200);
    ExpectBand(console[3], Activity::kPausing, "", 10200, 10400);
    ExpectBand(console[4], Activity::kPausing, "", 10400, 10600);

    const std::vector<GuardSpan> list = SpansOf(t, "list");
    ASSERT_EQ(list.size(), 4u);
    ExpectSpan(list[0], GuardState::kIdle, 0, -1, 0, 200);
    ExpectSpan(list[1], GuardState::kReadHeld, 1, -1, 200, 400);
    ExpectSpan(list[2], GuardState::kEntering, 1, 0, 400, 10200);
    ExpectSpan(list[3], GuardState::kIdle, 0, -1, 10200, 10600);
    const std::vector<GuardSpan> pool = SpansOf(t, "pool");
    ASSERT_EQ(pool.size(), 3u);
    ExpectSpan(pool[0], GuardState::kIdle, 0, -1, 0, 400);
    ExpectSpan(pool[1], GuardState::kWriteHeld, 0, 0, 400, 10200);
    ExpectSpan(pool[2], GuardState::kIdle, 0, -1, 10200, 10600);
}

TEST(TimelineRecordTest, CommandsAreTakenAtThePromptOrWhenTheirInputComes) {
    const Recorded run = RecordListpool({}, "i 7 -1\n@1500 p\nF 7\nx\nd 7\n");
    ASSERT_TRUE(run.result.ok()) << Transcript(run.result.outcome);
    const Timeline& t = run.timeline;
    ASSERT_EQ(t.commands.size(), 6u);
    // The delete waits for the print (1.5 s to 11.5 s); then the console
    // pauses and finds the input at its end.
    const std::pair<std::uint64_t, const char*> expected[] = {
        {0, "i"}, {1500, "p"}, {1700, "F 7"}, {1900, "?"}, {2100, "d 7"}, {11700, "quit"}};
    for (std::size_t n = 0; n < 6; ++n) {
        EXPECT_EQ(t.commands[n].time, expected[n].first) << n;
        EXPECT_EQ(t.commands[n].label, expected[n].second) << n;
    }
    EXPECT_EQ(t.commands[2].answer, "Please enter the key to find: Going to find: 7");
    // Between its prompt and the p, the console waits for the input.
    const std::vector<Band> console = BandsOf(t, 0, false);
    ASSERT_GE(console.size(), 2u);
    ExpectBand(console[1], Activity::kInput, "", 200, 1500);
}

TEST(TimelineRecordTest, LinesAreEachWriteSplitAtItsNewlines) {
    const Recorded run = RecordListpool({}, "g\nq\n");
    ASSERT_TRUE(run.result.ok()) << Transcript(run.result.outcome);
    std::vector<Line> stdoutLines;
    for (const Line& line : run.timeline.lines) {
        EXPECT_FALSE(line.text.empty());
        EXPECT_EQ(line.text.find('\n'), std::string::npos);
        if (line.file == "stdout") {
            stdoutLines.push_back(line);
        }
    }
    // "Forcing a garbage collection!\n" waits in the buffer for the prompt.
    ASSERT_EQ(stdoutLines.size(), 3u);
    EXPECT_EQ(stdoutLines[1].text, "Forcing a garbage collection!");
    EXPECT_EQ(stdoutLines[1].time, 200u);
    EXPECT_EQ(stdoutLines[2].text, "Your Command [i d p f F g s]? ");
    EXPECT_EQ(stdoutLines[2].time, 200u);
    const auto done = std::find_if(run.timeline.lines.begin(), run.timeline.lines.end(),
                                   [](const Line& l) { return l.file == "stderr"; });
    ASSERT_NE(done, run.timeline.lines.end());
    EXPECT_EQ(done->text, "Thread: [GarbageThread.0]: Garbage Collection Done!");
    EXPECT_EQ(done->thread, 1);
    EXPECT_EQ(done->time, 8000u);
}

TEST(TimelineRecordTest, AWaitForAStreamIsNamedByItsFile) {
    // The fixed schedule never makes a thread wait for a stream: play the
    // calls of one such wait to the recorder.
    const int streamMutex = 0;
    TimelineRecorder recorder;
    auto tell = [&](Notice::Phase phase, std::uint64_t ms, int thread, Op op, bool waits = false) {
        Notice notice{};
        notice.phase = phase;
        notice.time = ms;
        notice.thread = thread;
        notice.op = op;
        notice.blocked = waits;
        if (op == Op::kLock || op == Op::kUnlock) {
            notice.object = &streamMutex;
            notice.stream = "stderr";
        }
        if (op == Op::kStartThread) {
            notice.newThread = 1;
        }
        if (op == Op::kWrite) {
            notice.file = "stderr";
            notice.bytes = "done\n";
        }
        recorder.OnNotice(notice);
    };
    tell(Notice::kDone, 0, 0, Op::kBegin);
    tell(Notice::kDone, 0, 0, Op::kStartThread);
    tell(Notice::kDone, 0, 1, Op::kBegin);
    tell(Notice::kDone, 0, 1, Op::kLock);
    tell(Notice::kDone, 0, 1, Op::kWrite);
    tell(Notice::kRequest, 0, 0, Op::kLock, true);
    tell(Notice::kRequest, 0, 1, Op::kSleep, true);
    tell(Notice::kDone, 100, 1, Op::kSleep);
    tell(Notice::kDone, 100, 1, Op::kUnlock);
    tell(Notice::kDone, 100, 0, Op::kLock);
    tell(Notice::kDone, 100, 1, Op::kEnd);
    tell(Notice::kDone, 100, 0, Op::kEnd);
    ProgramRun run;
    run.outcome.threads = 2;
    run.outcome.endTimeMs = 100;
    const Timeline t = recorder.Build(run);
    const std::vector<Band> console = BandsOf(t, 0, false);
    ASSERT_EQ(console.size(), 1u);
    ExpectBand(console[0], Activity::kStream, "stderr", 0, 100);
    ASSERT_EQ(t.threads.size(), 2u);
    EXPECT_EQ(t.threads[1].name, "thread 1");
}

// Whatever the schedule: each thread's bands follow each other without a
// gap from its start to its end, running between the others; every wait
// is named; the guard waits are the guard watch's; each guard's states
// follow each other from 0 to the end, and a write-held span is a write
// section.
void ExpectConsistent(const Recorded& run, const std::string& where) {
    const Timeline& t = run.timeline;
    for (const ThreadTrack& track : t.threads) {
        const std::vector<Band> bands = BandsOf(t, track.thread);
        ASSERT_FALSE(bands.empty()) << where;
        std::uint64_t at = track.begin;
        for (std::size_t n = 0; n < bands.size(); ++n) {
            EXPECT_EQ(bands[n].begin, at) << where << " " << track.name << " band " << n;
            EXPECT_LE(bands[n].begin, bands[n].end) << where;
            EXPECT_EQ(bands[n].activity == Activity::kRunning, n % 2 == 0) << where;
            EXPECT_NE(ActivityName(bands[n].activity), std::string("other")) << where;
            at = bands[n].end;
        }
        EXPECT_EQ(at, track.end) << where << " " << track.name;
    }
    // A wait as (thread, begin, end, guard, activity).
    using Key = std::tuple<int, std::uint64_t, std::uint64_t, std::string, std::string>;
    std::vector<Key> drawn;
    for (const Band& band : t.bands) {
        if (!band.on.empty() && band.activity != Activity::kStream) {
            drawn.emplace_back(band.thread, band.begin, band.end, band.on,
                               ActivityName(band.activity));
        }
    }
    std::vector<Key> watched;
    for (const Wait& wait : run.result.waits) {
        watched.emplace_back(wait.thread, wait.begin, std::min(wait.end, t.end),
                             t.guardNames.at(static_cast<std::size_t>(wait.object.guard)),
                             ActivityName(ActivityOf(wait.object)));
    }
    auto order = [](const Key& a, const Key& b) { return a < b; };
    std::sort(drawn.begin(), drawn.end(), order);
    std::sort(watched.begin(), watched.end(), order);
    ASSERT_EQ(drawn.size(), watched.size()) << where;
    for (std::size_t n = 0; n < drawn.size(); ++n) {
        EXPECT_TRUE(drawn[n] == watched[n]) << where << " wait " << n;
    }
    for (const char* guard : {"pool", "list"}) {
        std::uint64_t at = 0;
        for (const GuardSpan& span : SpansOf(t, guard)) {
            EXPECT_EQ(span.begin, at) << where << " " << guard;
            at = span.end;
            if (span.state != GuardState::kWriteHeld) {
                continue;
            }
            const bool isSection =
                std::any_of(t.sections.begin(), t.sections.end(), [&](const Section& s) {
                    return s.guard == guard && s.write && s.thread == span.writer &&
                           s.begin <= span.begin && s.end >= span.end;
                });
            EXPECT_TRUE(isSection) << where << " " << guard << " at " << span.begin;
        }
        EXPECT_EQ(at, t.end) << where << " " << guard;
    }
}

// The state of a guard object, or a value, at a step.
template <typename Span, typename Name>
const Span* At(const std::vector<Span>& spans, const Name& name, std::uint64_t step) {
    for (const Span& span : spans) {
        if constexpr (std::is_same_v<Span, ObjectSpan>) {
            if (span.object == name && span.begin <= step && step < span.end) {
                return &span;
            }
        } else if (span.name == name && span.begin <= step && step < span.end) {
            return &span;
        }
    }
    return nullptr;
}

// What is wrong with a timeline of the guard scene on an axis of steps:
// every step must be one call, taken where its thread runs; a thread gets a
// mutex or passes an event only when it was free, and a wait lasts while
// its object is taken (a mutex held, an event reset) and ends when it is
// free; a writer inside holds both mutexes with the gate closed and
// readerCount 0, and a reader inside sees noReadersEvent reset. The
// objects' states and the values at a step are those after it.
std::vector<std::string> StepProblems(const Timeline& t) {
    std::vector<std::string> problems;
    auto problem = [&](std::uint64_t step, const std::string& what) {
        problems.push_back("step " + std::to_string(step) + ": " + what);
    };
    for (std::size_t n = 0; n < t.calls.size(); ++n) {
        const Call& call = t.calls[n];
        if (call.at != n) {
            problem(call.at, "call " + std::to_string(n));
        }
        const bool running = std::any_of(t.bands.begin(), t.bands.end(), [&](const Band& b) {
            return b.thread == call.thread && b.activity == Activity::kRunning &&
                   b.begin <= call.at && call.at < b.end;
        });
        if (!running) {
            problem(call.at, "a call outside its thread's running");
        }
    }
    if (t.calls.size() != t.end) {
        problem(t.end, "the steps are not the calls");
    }
    auto taken = [&](GuardObject object, std::uint64_t step) {
        const ObjectSpan* span = At(t.objects, object, step);
        return span != nullptr && (span->mutex ? span->holder >= 0 : !span->signalled);
    };
    for (const Call& call : t.calls) {
        if ((call.op == Op::kLock || call.op == Op::kEventLock) && call.at > 0 &&
            taken(call.object, call.at - 1)) {
            problem(call.at, "a thread gets " + ObjectName(t, call.object) + ", which is taken");
        }
    }
    for (const Band& band : t.bands) {
        // The object the band waits at, by the activity it shows.
        GuardObject object;
        for (int part = 0; part < kPartCount; ++part) {
            object = ActivityOf({0, part}) == band.activity ? GuardObject{0, part} : object;
        }
        if (!object.known()) {
            continue;
        }
        const std::string name = ObjectName(t, object);
        for (std::uint64_t step = std::max<std::uint64_t>(band.begin, 1); step < band.end; ++step) {
            if (!taken(object, step - 1)) {
                problem(step, "a wait for " + name + ", which is free");
            }
        }
        if (band.end < t.end && taken(object, band.end - 1)) {
            problem(band.end, "a wait for " + name + " ends, and it is taken");
        }
    }
    for (const Section& s : t.sections) {
        for (std::uint64_t step = s.begin; step < s.end; ++step) {
            const ObjectSpan* writer = At(t.objects, GuardObject{0, kWriterMutex}, step);
            const ObjectSpan* count = At(t.objects, GuardObject{0, kCountMutex}, step);
            const ValueSpan* readers = At(t.values, std::string("readerCount"), step);
            if (s.write && (writer->holder != s.thread || count->holder != s.thread ||
                            !taken({0, kGateEvent}, step) || readers->value != "0")) {
                problem(step, "writer " + std::to_string(s.thread) + " inside beside readers");
            } else if (!s.write && !taken({0, kNoReadersEvent}, step)) {
                problem(step, "reader " + std::to_string(s.thread) + " inside, unseen");
            }
        }
    }
    return problems;
}

TEST(TimelineRecordTest, OnAnAxisOfStepsEveryCallIsAStepAndWaitsLastWhileTheirObjectIsTaken) {
    constexpr GuardCast kCast{2, 2, 2, 2};
    bool brokenSeen = false;
    for (std::uint64_t seed = 0; seed < 30; ++seed) {
        // Seed 0 is the fixed schedule.
        const RecordedScene run =
            RecordGuardScene<ReadWriteGuard>(kCast, {}, UINT64_MAX, UINT64_MAX, seed);
        const Timeline& t = run.timeline;
        const std::string where = "seed " + std::to_string(seed);
        ASSERT_EQ(run.failure, "") << where;
        ASSERT_EQ(t.axis, Axis::kSteps);
        ASSERT_EQ(t.threads.size(), 5u);
        EXPECT_EQ(t.threads[4].name, "writer 4");
        EXPECT_EQ(t.sections.size(), 8u) << where;
        const std::vector<std::string> problems = StepProblems(t);
        EXPECT_TRUE(problems.empty()) << where << ": " << problems.front();
        // The same checks see a writer let in beside a reader.
        brokenSeen = brokenSeen || !StepProblems(RecordGuardScene<guards::WithoutRecheck>(
                                                     kCast, {}, UINT64_MAX, UINT64_MAX, seed)
                                                     .timeline)
                                        .empty();
    }
    EXPECT_TRUE(brokenSeen);
}

TEST(TimelineRecordTest, BandsAndStatesTileTheSessionUnderAnySchedule) {
    const char* const sessions[] = {
        "i 7 9 -1\np\n@1200 i 5 -1\nf\nq\n",
        "i 1 2 -1\nd 1\ng\nF 2\nf\nF 1\nq\n",
        "i 7 9 -1\np\np\nF 9\ng\nd 7\nf\nq\n",
    };
    for (const char* session : sessions) {
        for (std::uint64_t seed = 0; seed < 20; ++seed) {
            Schedule schedule;
            schedule.kind = seed == 0 ? Schedule::Kind::kFixed : Schedule::Kind::kRandom;
            schedule.seed = seed;
            ScheduleChooser chooser(schedule);
            Options options;
            options.chooser = &chooser;
            const Recorded run = RecordListpool(options, session);
            ASSERT_TRUE(run.result.ok()) << Transcript(run.result.outcome);
            ExpectConsistent(run, ListpoolSimCommand(schedule, session, LISTPOOL_SIM_PROGRAM));
        }
    }
}

}  // namespace
}  // namespace listpool::sim
