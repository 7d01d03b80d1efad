// guard-pictures: how each broken guard of sim/guards/texts/ fails, drawn on
// an axis of steps from what the state search finds in the scene the guard
// search plays (guard_scene.h): the run to the first state with a writer
// beside a reader, and the weakly fair cycle in which a writer waits for
// ever.
//
//   guard-pictures FOLDER
//
// writes FOLDER/guard-without-recheck.svg and
// FOLDER/guard-without-second-reset.svg, and fails if the search no longer
// finds what breaks a guard.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "guard_recording.h"
#include "sim/drawing/svg_timeline.h"
#include "sim/drawing/timeline_style.h"
#include "sim/guards/broken_texts.h"
#include "sim/guards/guard_scene.h"
#include "sim/search/fair_cycle.h"
#include "sim/search/replay.h"
#include "sim/search/state_search.h"

namespace listpool::sim {
namespace {

// The casts GuardSearchTest searches the broken guards in: two readers and
// two writers entering twice each; and readers that come back for ever.
constexpr GuardCast kTwoRounds{2, 2, 2, 2};
constexpr GuardCast kReadersForEver{2, 2, 0, 2};

int Fail(const std::string& what) {
    std::cerr << "guard-pictures: " << what << "\n";
    return 1;
}

int Write(const std::string& path, const Timeline& timeline, const std::string& title) {
    SvgOptions look;
    look.title = title;
    std::ofstream out(path, std::ios::binary);
    out << DrawSvg(timeline, look);
    out.close();
    return out ? 0 : Fail("cannot write " + path);
}

std::string Mark(std::uint64_t step, const std::string& text) {
    return "step " + std::to_string(step) + ": " + text;
}

// The threads inside at the step but `thread`, as "reader 2".
std::string OthersInside(const RecordedScene& run, int thread, std::uint64_t step) {
    std::string others;
    for (const Section& s : run.timeline.sections) {
        if (s.thread != thread && s.begin <= step && step < s.end) {
            others += (others.empty() ? "" : " and ") +
                      std::string(s.write ? "writer " : "reader ") + std::to_string(s.thread);
        }
    }
    return others.empty() ? "nobody" : others;
}

// The guard that takes countMutex without looking at readerCount again:
// the search's run to its first state with a writer beside a reader, and a
// few steps more.
int DrawWithoutRecheck(const std::string& folder) {
    GuardScene<Watched<guards::WithoutRecheck>> scene(kTwoRounds);
    const SearchResult found = SearchStates(scene);
    if (found.failure.empty()) {
        return Fail("the search no longer finds a writer beside a reader without the re-check");
    }
    RecordedScene run = RecordGuardScene<guards::WithoutRecheck>(kTwoRounds, found.replay, 4);
    if (run.failure != found.failure) {
        return Fail("the search's run does not fail as the search said: " + run.failure);
    }
    // The call that let the last one in, and, for a writer, where it last
    // found noReadersEvent set.
    const std::uint64_t step = run.failedAt - 1;
    const Call& in = run.timeline.calls[step];
    const std::string who =
        (in.thread > kTwoRounds.readers ? "writer " : "reader ") + std::to_string(in.thread);
    for (const Call& call : run.timeline.calls) {
        if (call.thread == in.thread && call.op == Op::kEventLock &&
            call.object.is(kNoReadersEvent) && call.at < step) {
            run.timeline.marks.assign(
                1, {call.at, call.at + 1, Mark(call.at, who + " finds noReadersEvent set")});
        }
    }
    run.timeline.marks.push_back({step, step + 1,
                                  Mark(step, who + " is let in by " + CallLabel(in) + ", with " +
                                                 OthersInside(run, in.thread, step) + " inside")});
    return Write(folder + "/guard-without-recheck.svg", run.timeline,
                 "Without the writer's re-check of readerCount");
}

// The guard that does not close the gate again once it has writerMutex:
// the search's fair cycle in which a writer waits for ever, up to a few
// steps into its second lap.
int DrawWithoutSecondReset(const std::string& folder) {
    using Scene = GuardScene<Watched<guards::WithoutSecondReset>>;
    Scene scene(kReadersForEver);
    const SearchResult searched = SearchStates(scene);
    const FairCycle cycle = FindFairCycle(searched.graph, Scene::AnyWriterWaits(kReadersForEver));
    if (!searched.failure.empty() || !cycle.found) {
        return Fail("the search no longer finds a writer kept out without the second reset " +
                    searched.failure);
    }
    std::vector<int> twice = cycle.prefix;
    for (int lap = 0; lap < 2; ++lap) {
        twice.insert(twice.end(), cycle.lap.begin(), cycle.lap.end());
    }
    const Replayed replayed = Replay(scene, twice);
    const std::size_t begin = cycle.prefix.size(), end = begin + cycle.lap.size();
    if (replayed.states.size() <= end || replayed.states[begin] != replayed.states[end]) {
        return Fail("the search's lap does not come back to where it began");
    }
    const std::uint64_t lapEnd =
        RecordGuardScene<guards::WithoutSecondReset>(kReadersForEver, twice, 0).choiceSteps[end];
    RecordedScene run =
        RecordGuardScene<guards::WithoutSecondReset>(kReadersForEver, twice, 0, lapEnd + 4);
    const std::uint64_t lapBegin = run.choiceSteps[begin];
    // Where a writer got writerMutex with the gate left open.
    for (const Call& call : run.timeline.calls) {
        if (call.op != Op::kLock || !call.object.is(kWriterMutex) || !run.timeline.marks.empty()) {
            continue;
        }
        for (const ObjectSpan& gate : run.timeline.objects) {
            if (gate.object.is(kGateEvent) && gate.signalled && gate.begin <= call.at &&
                call.at < gate.end) {
                run.timeline.marks.push_back(
                    {call.at, call.at + 1,
                     Mark(call.at, "writer " + std::to_string(call.thread) +
                                       " takes writerMutex; the gate stays open")});
            }
        }
    }
    // The writer kept out: the one holding writerMutex round the lap.
    std::string writer = "a writer";
    for (const ObjectSpan& span : run.timeline.objects) {
        if (span.object.is(kWriterMutex) && span.holder >= 0 && span.begin <= lapBegin &&
            lapEnd <= span.end) {
            writer = "writer " + std::to_string(span.holder);
        }
    }
    run.timeline.marks.push_back(
        {lapBegin, lapEnd,
         "steps " + std::to_string(lapBegin) + " to " + std::to_string(lapEnd - 1) +
             " lead back to the state at step " + std::to_string(lapBegin) + " with " + writer +
             " kept out all the way: a fair cycle, taken for ever"});
    return Write(folder + "/guard-without-second-reset.svg", run.timeline,
                 "Without the second reset of the gate");
}

}  // namespace
}  // namespace listpool::sim

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: guard-pictures FOLDER\n";
        return 2;
    }
    using namespace listpool::sim;
    return DrawWithoutRecheck(argv[1]) | DrawWithoutSecondReset(argv[1]);
}
