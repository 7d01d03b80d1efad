#include "sim/lab/lab_engine.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "console/program.h"
#include "platform/sim/strategies.h"
#include "platform/thread_annotations.h"
#include "sim/drawing/svg_timeline.h"
#include "sim/explore/guard_places.h"
#include "sim/explore/session_page.h"
#include "sim/json/json_writer.h"
#include "sim/runs/session.h"
#include "sim/runs/session_search.h"
#include "sim/search/choice_text.h"
#include "sim/search/shortest_path.h"
#include "sim/timeline/timeline.h"

namespace listpool::sim {
namespace {

// The commands the lab shows replay its runs with listpool-sim, run from a
// checkout where the default build puts it.
const char* const kListpoolSim = "build/sim/listpool-sim";

// The pool and the list as they stand, read while every simulated thread is
// stopped at a platform call.
std::vector<std::string> Memory(const Program* program) NO_THREAD_SAFETY_ANALYSIS {
    if (program == nullptr) {
        return {"not made yet", ""};
    }
    return {
        PoolText(*program) + "; readerCount " + std::to_string(program->pool.guard.readerCount),
        ListText(*program) + "; readerCount " + std::to_string(program->list.guard.readerCount)};
}

// Reads the memory at every step up to the bound, and each thread's next
// call on a guard whenever one asks for its next, so the last readings are
// the state at the bound; or nothing, for a run that is not `read`.
class StateReader final : public Observer {
  public:
    StateReader(const Program* const& program, std::uint64_t boundMs, bool read)
        : program_(program), boundMs_(boundMs), read_(read), places_([this] { return program_; }) {}
    void OnRunStart() override { places_.OnRunStart(); }
    void OnNotice(const Notice& notice) override {
        if (!read_) {
            return;
        }
        places_.OnNotice(notice);
        if (notice.time > boundMs_) {
            return;
        }
        if (notice.phase == Notice::kDone) {
            memory_ = Memory(program_);
        } else {  // a thread has asked for its next call: where each one is
            next_.clear();
            for (int t = 0; t < ThreadsStarted(); ++t) {
                next_.push_back(places_.Next(t));
            }
        }
    }
    const std::vector<std::string>& memory() const { return memory_; }
    // Each thread's next call at the bound, by thread.
    const std::vector<GuardCall>& next() const { return next_; }

  private:
    const Program* const& program_;
    std::uint64_t boundMs_;
    bool read_;
    GuardPlaces places_;
    std::vector<std::string> memory_ = Memory(nullptr);
    std::vector<GuardCall> next_;
};

// The threads stopped in one of the guards' sequences, with the call they
// are stopped at: [[thread, sequence, guard, call, holdsWriterMutex,
// line]...], the line that of a guard text in use (else 0).
void CodeMarks(JsonWriter& json, const std::vector<GuardCall>& next) {
    json.Array();
    for (std::size_t t = 0; t < next.size(); ++t) {
        const GuardCall& c = next[t];
        if (*kSequenceNames[c.in] != '\0' || c.line > 0) {
            json.Array().Int(t).String(kSequenceNames[c.in]).String(c.guard).String(c.call);
            json.Bool(c.holdsWriterMutex).Int(c.line).End();
        }
    }
    json.End();
}

// Runs the session as SimulateListpool does, with the timeline recorded,
// and the state at the bound read when `read`.
struct BoundedRun {
    BoundedRun(std::string_view session, std::uint64_t boundMs, bool read)
        : reader(program, boundMs, read), both(recorder, reader) {
        Options options;
        options.maxTimeMs = boundMs;
        // A last line "@<ms>" alone keeps input open until then.
        const std::string text = std::string(session) +
                                 (session.empty() || session.back() == '\n' ? "" : "\n") + "@" +
                                 std::to_string(boundMs + 1) + "\n";
        run = SimulateListpool(options, text, &both, &program);
    }
    struct Both final : public Observer {
        Both(Observer& a, Observer& b) : a(a), b(b) {}
        void OnNotice(const Notice& notice) override {
            a.OnNotice(notice);
            b.OnNotice(notice);
        }
        void OnRunStart() override {
            a.OnRunStart();
            b.OnRunStart();
        }
        Observer& a;
        Observer& b;
    };
    const Program* program = nullptr;
    TimelineRecorder recorder;
    StateReader reader;
    Both both;
    ProgramRun run;
};

// A shortest schedule (in steps) to each distinct outcome: the graph's
// ends, nearest first, each replayed to learn its outcome, until every
// outcome has one or `maxRuns` were replayed. JSON [[ending, steps,
// choices]...].
void ShortestOutcomes(JsonWriter& json, SessionScene& scene, const SearchResult& result,
                      std::size_t maxRuns) {
    const StateGraph& graph = result.graph;
    const Distances distances = DistancesFrom0(graph);
    std::vector<std::tuple<std::uint32_t, std::uint32_t, int>> ends;  // steps, node, thread
    for (std::uint32_t node = 0; node < graph.nodes.size(); ++node) {
        for (const StateGraph::Step& step : graph.nodes[node].steps) {
            if (step.to == StateGraph::kEnd && distances.steps[node] != Distances::kUnreached) {
                ends.emplace_back(distances.steps[node] + 1, node, step.thread);
            }
        }
    }
    std::sort(ends.begin(), ends.end());
    std::set<std::string> found;
    json.Array();
    for (std::size_t n = 0; n < ends.size() && n < maxRuns && found.size() < result.outcomes.size();
         ++n) {
        const auto [steps, node, thread] = ends[n];
        std::vector<int> choices = ChoicesTo(graph, distances, node);
        if (graph.nodes[node].enabled.Count() > 1) {
            choices.push_back(thread);
        }
        FixedChooser fixed;
        ReplayChooser replay(choices, fixed);
        Options options;
        options.chooser = &replay;
        const Outcome outcome = scene.Play(options);
        const std::string key = scene.OutcomeKey(outcome);
        if (key.empty() || !found.insert(key).second) {
            continue;
        }
        json.Array().String(EndingText(outcome)).Int(steps).String(ChoiceText(choices)).End();
    }
    json.End();
}

}  // namespace

std::string LabRun(std::string_view session, std::uint64_t boundMs, bool drawn) {
    const BoundedRun bounded(session, boundMs, drawn);
    const Outcome& outcome = bounded.run.outcome;
    const bool ended = outcome.ending != Ending::kTimeLimit;
    // Each write with its line of the transcript, which quotes its bytes on
    // one line.
    const std::string transcript = Transcript(outcome);
    JsonWriter json;
    json.Object().Key("bound").Int(boundMs).Key("threads").Strings(ThreadNames(outcome));
    json.Key("writes").Array();
    std::size_t line = 0;
    for (const Write& write : outcome.writes) {
        const std::size_t end = transcript.find('\n', line);
        if (&write != &outcome.writes.front()) {
            json.Break();
        }
        json.Array().Int(write.timeMs).Int(write.thread).String(write.file).String(write.bytes);
        json.String(transcript.substr(line, end - line + 1)).End();
        line = end + 1;
    }
    json.End().Key("ended").Bool(ended).Key("ending").String(ended ? EndingText(outcome) : "");
    json.Key("endMs").Int(outcome.endTimeMs).Key("memory").Strings(bounded.reader.memory());
    CodeMarks(json.Key("code"), bounded.reader.next());
    json.Key("inside").Array();
    for (const Section& s : bounded.run.sections) {
        if (s.end == UINT64_MAX) {
            json.Array().Int(s.thread).String((s.write ? "writes the " : "reads the ") + s.guard);
            json.End();
        }
    }
    json.End().Key("waits").Array();
    for (const Wait& w : bounded.run.waits) {
        if (w.end == UINT64_MAX) {
            json.Array().Int(w.thread);
            json.String("waits at the " + ObjectLabel(bounded.run.guards, w.object) + " since " +
                        std::to_string(w.begin) + " ms");
            json.End();
        }
    }
    std::string svg;
    if (drawn) {
        SvgOptions look;
        look.title = "the session so far";
        svg = DrawSvg(bounded.recorder.Build(bounded.run), look);
    }
    return json.End().Key("svg").String(svg).End().Take();
}

std::string LabEverySchedule(std::string_view session, std::uint64_t maxStates,
                             const std::function<void(std::uint64_t steps)>& progress) {
    // The session's scene, counting the steps the search looks at.
    class Counted final : public SearchScene {
      public:
        Counted(std::string_view session, const std::function<void(std::uint64_t)>& progress)
            : scene(session), progress_(progress) {}
        Outcome Play(const Options& options) override { return scene.Play(options); }
        std::uint64_t State() override {
            if (++steps_ % 4096 == 0) {
                progress_(steps_);
            }
            return scene.State();
        }
        std::string Failure(const Outcome& outcome, bool stopped) override {
            return scene.Failure(outcome, stopped);
        }
        std::string OutcomeKey(const Outcome& outcome) override {
            return scene.OutcomeKey(outcome);
        }
        std::optional<std::vector<Region>> RunState() override { return scene.RunState(); }
        SessionScene scene;

      private:
        const std::function<void(std::uint64_t)>& progress_;
        std::uint64_t steps_ = 0;
    };
    Counted counted(session, progress);
    SearchOptions options;
    options.maxStates = maxStates;
    EverySchedule every;
    every.result = SearchStates(counted, options);
    every.outcomes = counted.scene.outcomes();
    JsonWriter json;
    json.Object().Key("report").String(EveryScheduleReport(every, session, kListpoolSim));
    json.Key("complete").Bool(every.result.complete).Key("failure").String(every.result.failure);
    json.Key("states").Int(every.result.states).Key("transitions").Int(every.result.transitions);
    ShortestOutcomes(json.Key("shortest"), counted.scene, every.result, 2000);
    return json.End().Take();
}

std::string LabGuardCode() {
    return SessionCode();
}

std::string LabExplorePage(std::string_view session, std::string_view guardText) {
    return SessionPage(session, "the lab's session", kListpoolSim, guardText);
}

}  // namespace listpool::sim
