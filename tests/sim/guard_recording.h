// A run of the guard scene (guard_scene.h) recorded on an axis of steps,
// for the guard's pictures and their tests: every call, the guard's objects
// as the guard watch knows them, who is inside, readerCount, and where the
// scene's check first failed.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/guards/guard_scene.h"
#include "platform/sim.h"
#include "platform/thread_annotations.h"
#include "sim/runs/guard_watch.h"
#include "sim/timeline/step_clock.h"
#include "sim/timeline/timeline.h"

namespace listpool::sim {

// The guard as the scene makes it, remembering the last one made, so that
// its objects can be named and its readerCount read between steps, and
// telling onMove when a thread is let in and when it calls to leave. It
// makes no call of its own: the scene's runs and states are the guard's.
template <typename Guard>
struct Watched : Guard {
    Watched() { last = this; }
    void BeginRead() NO_THREAD_SAFETY_ANALYSIS {
        Guard::BeginRead();
        Moved(false, true);
    }
    void EndRead() NO_THREAD_SAFETY_ANALYSIS {
        Moved(false, false);
        Guard::EndRead();
    }
    void BeginWrite() NO_THREAD_SAFETY_ANALYSIS {
        Guard::BeginWrite();
        Moved(true, true);
    }
    void EndWrite() NO_THREAD_SAFETY_ANALYSIS {
        Moved(true, false);
        Guard::EndWrite();
    }
    static void Moved(bool write, bool in) {
        if (onMove) {
            onMove(write, in);
        }
    }

    static inline const Watched* last = nullptr;
    static inline std::function<void(bool write, bool in)> onMove;
};

// readerCount, read between steps, while every thread is stopped.
template <typename Guard>
std::int32_t ReaderCount(const Guard& guard) NO_THREAD_SAFETY_ANALYSIS {
    return guard.readerCount;
}

struct RecordedScene {
    // Threads named "main", "reader 1", ..., "writer 3", ...; a thread is
    // inside from the call that let it in until it calls to leave.
    Timeline timeline;
    std::string failure;         // what the scene's check found first, or ""
    std::uint64_t failedAt = 0;  // the step after which it found it
    // The step taken at each point where more than one thread could go on.
    std::vector<std::uint64_t> choiceSteps;
};

// Plays the scene of the cast on the guard, choosing at the n-th point
// where more than one thread can go on the thread choices[n]; after the last
// choice, for `after` more steps, the thread that made the last step while
// it can go on, else the first that can (as the fixed schedule), or with a
// seed other than 0 any thread that can, uniformly. No more than maxSteps in all.
template <typename Guard>
RecordedScene RecordGuardScene(const GuardCast& cast, const std::vector<int>& choices,
                               std::uint64_t after, std::uint64_t maxSteps = UINT64_MAX,
                               std::uint64_t seed = 0) {
    using Scene = GuardScene<Watched<Guard>>;
    RecordedScene recorded;
    TimelineRecorder recorder;
    std::vector<std::int32_t> readerCounts;  // before each step, and after the last
    Scene scene(cast);
    struct Tee final : Observer {
        TimelineRecorder& recorder;
        std::vector<std::int32_t>& readerCounts;
        RecordedScene& recorded;
        Scene& scene;
        Tee(TimelineRecorder& r, std::vector<std::int32_t>& c, RecordedScene& d, Scene& s)
            : recorder(r), readerCounts(c), recorded(d), scene(s) {}
        void OnNotice(const Notice& notice) override {
            recorder.OnNotice(notice);
            if (notice.phase == Notice::kRequest || notice.op == Op::kEnd) {
                // Every thread is stopped at a call until the next step.
                const auto* guard = Watched<Guard>::last;
                readerCounts.resize(notice.time + 1);
                readerCounts[notice.time] = guard != nullptr ? ReaderCount(*guard) : 0;
                if (recorded.failure.empty() && !scene.Check().empty()) {
                    recorded.failure = scene.Check();
                    recorded.failedAt = notice.time;
                }
            }
        }
    } tee(recorder, readerCounts, recorded, scene);
    StepClock clock(tee);
    struct Follow final : Chooser {
        const std::vector<int>& choices;
        const StepClock& clock;
        std::vector<std::uint64_t>& steps;
        std::uint64_t left;  // steps after the choices
        std::mt19937_64 random;
        bool fixed;
        Follow(const std::vector<int>& c, const StepClock& k, std::vector<std::uint64_t>& s,
               std::uint64_t after, std::uint64_t seed)
            : choices(c), clock(k), steps(s), left(after), random(seed), fixed(seed == 0) {}
        int Choose(const std::vector<int>& enabled, int current) override {
            if (enabled.size() > 1 && steps.size() < choices.size()) {
                steps.push_back(clock.now());
                return choices[steps.size() - 1];
            }
            if (steps.size() == choices.size() && left-- == 0) {
                return -1;
            }
            if (fixed) {
                return current >= 0 ? current : enabled.front();
            }
            return enabled[random() % enabled.size()];
        }
    } follow(choices, clock, recorded.choiceSteps, after, seed);
    // Only names the guard's objects: who is inside is told by onMove,
    // which a broken guard's sequences cannot mislead.
    GuardWatch watch;
    auto watched = [&watch] {
        if (watch.GuardNames().empty() && Watched<Guard>::last != nullptr) {
            watch.Add(*Watched<Guard>::last, "guard");
        }
        return &watch;
    };
    Options options;
    options.chooser = &follow;
    options.observer = &clock;
    options.maxSteps = maxSteps;
    options.nameObject = [&watched](const void* object) { return watched()->NameOf(object); };
    Watched<Guard>::last = nullptr;
    ProgramRun run;
    Watched<Guard>::onMove = [&run, &clock](bool write, bool in) {
        if (in) {
            run.sections.push_back({CurrentThread(), "guard", write, clock.now() - 1, UINT64_MAX});
            return;
        }
        for (Section& section : run.sections) {
            if (section.thread == CurrentThread() && section.end == UINT64_MAX) {
                section.end = clock.now();
            }
        }
    };
    run.outcome = scene.Play(options);
    Watched<Guard>::onMove = nullptr;
    run.guards = watched()->GuardNames();
    run.objects = watched()->Objects();
    Timeline& t = recorded.timeline;
    t = recorder.Build(run, Axis::kSteps);
    // readerCount after each step, as the objects' states are shown.
    for (std::uint64_t step = 0; step < t.end && step + 1 < readerCounts.size(); ++step) {
        const std::string value = std::to_string(readerCounts[step + 1]);
        if (t.values.empty() || t.values.back().value != value) {
            t.values.push_back({"readerCount", value, step, step + 1});
        }
        t.values.back().end = step + 1;
    }
    for (ThreadTrack& track : t.threads) {
        track.name = track.thread == 0              ? "main"
                     : track.thread <= cast.readers ? "reader " + std::to_string(track.thread)
                                                    : "writer " + std::to_string(track.thread);
    }
    return recorded;
}

}  // namespace listpool::sim
