// Two readers and two writers on one guard: the scene the guard search
// plays, call for call, so that a schedule it finds replays here. Threads 1
// and 2 read, 3 and 4 write, each entering `entries` times; or, with
// `keepReading`, the readers overlap for as long as a writer has not
// finished. The checks inside every section say what went wrong first.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/sim.h"
#include "platform/thread.h"
#include "platform/thread_annotations.h"
#include "sim/guard_watch.h"
#include "sim/step_clock.h"
#include "sim/timeline.h"

namespace listpool::sim {

template <typename Guard>
struct Scene {
    // A reader's section lasts this long, so the other reader comes back in
    // before it leaves. A writer that readers can keep out would let them
    // go on past kMaxSections each.
    static constexpr std::uint32_t kSectionMs = 1;
    static constexpr int kMaxSections = 12;

    Guard* guard = nullptr;
    int entries = 2;
    bool keepReading = false;
    int readersInside = 0;
    int writersInside = 0;
    int writersDone = 0;
    std::string failure;
    // When set, the scene keeps its sections and the time of its failure
    // by this clock: a thread is inside from the call that let it in (the
    // time just before now) until it calls to leave.
    std::function<std::uint64_t()> now;
    std::vector<Section> sections;
    std::uint64_t failedAt = 0;
    int failedBy = -1;  // the thread that failed its check

    // Runs the scene on a new guard under the options; `made`, if given, is
    // shown the guard before any thread starts.
    Outcome Play(const Options& options, std::function<void(const Guard&)> made = {}) {
        return Run(options, {}, [this, made] {
            guard = new Guard;  // never destroyed, as in the program
            if (made) {
                made(*guard);
            }
            StartThread(Reader, this);
            StartThread(Reader, this);
            StartThread(Writer, this);
            StartThread(Writer, this);
        });
    }

    void Fail(const std::string& what) {
        if (failure.empty()) {
            failure = what + " at " + std::to_string(NowMs()) + " ms in thread " +
                      std::to_string(CurrentThread());
            failedAt = now ? now() : 0;
            failedBy = CurrentThread();
        }
    }
    void CheckReader() {
        if (writersInside != 0) {
            Fail("a reader is inside with a writer");
        }
    }
    void CheckWriter() {
        if (readersInside != 0 || writersInside != 1) {
            Fail("a writer is inside with " + std::to_string(readersInside) + " reader(s) and " +
                 std::to_string(writersInside - 1) + " other writer(s)");
        }
    }
    void Enter(bool write) {
        if (now) {
            sections.push_back({CurrentThread(), "guard", write, now() - 1, UINT64_MAX});
        }
    }
    void Leave() {
        for (Section& section : sections) {
            if (section.thread == CurrentThread() && section.endMs == UINT64_MAX) {
                section.endMs = now();
            }
        }
    }

    static void Reader(void* self) {
        auto& scene = *static_cast<Scene*>(self);
        for (int n = 0; scene.keepReading ? scene.writersDone < 2 : n < scene.entries; ++n) {
            if (n == kMaxSections) {
                scene.Fail("readers kept a writer out for " + std::to_string(n) + " sections");
                return;
            }
            scene.guard->BeginRead();
            ++scene.readersInside;
            scene.Enter(false);
            scene.CheckReader();
            // Reading takes a moment, so the others run meanwhile.
            SleepMs(kSectionMs);
            scene.CheckReader();
            --scene.readersInside;
            scene.Leave();
            scene.guard->EndRead();
        }
    }
    static void Writer(void* self) {
        auto& scene = *static_cast<Scene*>(self);
        for (int n = 0; n < scene.entries; ++n) {
            scene.guard->BeginWrite();
            ++scene.writersInside;
            scene.Enter(true);
            scene.CheckWriter();
            --scene.writersInside;
            scene.Leave();
            scene.guard->EndWrite();
        }
        ++scene.writersDone;
    }
};

// The guard's readerCount, read between steps, while every thread is stopped.
template <typename Guard>
std::int32_t ReaderCount(const Guard& guard) NO_THREAD_SAFETY_ANALYSIS {
    return guard.readerCount;
}

// Plays the scene on an axis of steps and yields its timeline: every call,
// the guard's objects by the guard watch's names, the scene's own sections,
// readerCount after each step as a value, and the threads named "main",
// "reader 1", "reader 2", "writer 3", "writer 4". `also`, if given, is told
// every event after the recorder, stamped with its step.
template <typename Guard>
Timeline RecordScene(Scene<Guard>& scene, Options options, Observer* also = nullptr) {
    struct Tee final : Observer {
        Scene<Guard>& scene;
        TimelineRecorder recorder;
        Observer* also = nullptr;
        std::vector<std::int32_t> readerCounts;  // before each step, and after the last

        explicit Tee(Scene<Guard>& s) : scene(s) {}
        void OnEvent(const Event& event) override {
            recorder.OnEvent(event);
            if (also != nullptr) {
                also->OnEvent(event);
            }
            if (event.phase == Event::kRequest || event.op == Op::kEnd) {
                // Every thread is stopped at a call until the next step.
                readerCounts.resize(event.timeMs + 1);
                readerCounts[event.timeMs] = scene.guard ? ReaderCount(*scene.guard) : 0;
            }
        }
    } tee(scene);
    tee.also = also;
    StepClock clock(tee);
    scene.now = [&clock] { return clock.now(); };
    std::map<const void*, std::string> names;
    options.observer = &clock;
    options.nameObject = [&names](const void* object) {
        const auto found = names.find(object);
        return found == names.end() ? std::string() : found->second;
    };
    Session session;
    session.outcome = scene.Play(options, [&names](const Guard& guard) {
        names = {{guard.gateEvent, "guard gate"},
                 {guard.writerMutex, "guard writer mutex"},
                 {guard.noReadersEvent, "guard no-readers event"},
                 {guard.countMutex, "guard count mutex"}};
    });
    scene.now = nullptr;
    session.guards = {"guard"};
    session.objectNames = names;
    session.sections = scene.sections;
    Timeline timeline = tee.recorder.Build(session, Axis::kSteps);
    // readerCount after each step, as the objects' states are shown.
    for (std::uint64_t step = 0; step < timeline.endMs && step + 1 < tee.readerCounts.size();
         ++step) {
        const std::string value = std::to_string(tee.readerCounts[step + 1]);
        if (timeline.values.empty() || timeline.values.back().value != value) {
            timeline.values.push_back({"readerCount", value, step, step + 1});
        }
        timeline.values.back().endMs = step + 1;
    }
    for (ThreadTrack& track : timeline.threads) {
        track.name = track.thread == 0   ? "main"
                     : track.thread <= 2 ? "reader " + std::to_string(track.thread)
                                         : "writer " + std::to_string(track.thread);
    }
    return timeline;
}

}  // namespace listpool::sim
