// guard-pictures: how each broken guard of broken_guards.h fails, drawn on
// an axis of steps from the schedule the guard search finds for it,
// replayed on the scene the search plays (guard_scene.h).
//
//   guard-pictures FOLDER
//
// writes FOLDER/guard-without-recheck.svg and
// FOLDER/guard-without-second-reset.svg, and fails if a schedule no longer
// breaks its guard.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "broken_guards.h"
#include "guard_scene.h"
#include "sim/svg_timeline.h"
#include "sim/timeline.h"

namespace listpool::sim {
namespace {

enum class Fault { kWithoutRecheck, kWithoutSecondReset };

// The schedule that breaks the guard: the thread chosen at each point where
// more than one could go on. These are the schedules the guard search
// reports for the broken guards (GuardSearchTest.Finds*, at its bound 2).
std::vector<int> FailingSchedule(Fault fault) {
    if (fault == Fault::kWithoutRecheck) {
        return {0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 1, 1, 1,
                2, 3, 3, 3, 3, 1, 1, 1, 1, 4, 4, 1, 4, 2, 2, 4, 4, 4, 4};
    }
    std::vector<int> schedule = {0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3,
                                 3, 3, 1, 1, 1, 2, 3, 3, 3, 3, 1, 1, 1, 1};
    for (int round = 0; round < 5; ++round) {
        schedule.insert(schedule.end(), {2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2});
    }
    schedule.insert(schedule.end(), {1, 1, 1, 2});
    return schedule;
}

// The scene's state before each step, as far as what comes next depends on
// it: each thread's last call and the call it is stopped at (with what its
// pause has left), who holds each mutex, which events are signalled, the
// guard's readerCount, who is inside, and the thread that asked last. Told
// the events stamped with steps.
template <typename Guard>
class Trail final : public Observer {
  public:
    explicit Trail(const Scene<Guard>& scene) : scene_(scene) {}

    void OnEvent(const Event& event) override {
        PerThread& self = threads_[event.thread];
        if (event.phase == Event::kRequest) {
            self.at = {event.op, event.object};
            self.askedMs = NowMs();
        } else if (event.op == Op::kEnd) {
            self.at = {Op::kEnd, nullptr};
        } else {
            self.last = {event.op, event.object};
            if (event.op == Op::kLock || event.op == Op::kUnlock) {
                owners_[event.object] = event.op == Op::kLock ? event.thread : -1;
            } else if (event.op == Op::kSet || event.op == Op::kReset) {
                signalled_[event.object] = event.op == Op::kSet;
            }
        }
        if (event.phase == Event::kRequest || event.op == Op::kEnd) {
            // Every thread is stopped at a call: the state before the next step.
            states_.resize(event.timeMs + 1);
            states_[event.timeMs] = State(event.thread);
            writersStuck_.resize(event.timeMs + 1);
            writersStuck_[event.timeMs] = !Enabled(3) && !Enabled(4);
        }
    }

    const std::vector<std::string>& states() const { return states_; }
    // Per state: whether no writer could take a step in it.
    const std::vector<bool>& writersStuck() const { return writersStuck_; }

  private:
    struct PerThread {
        std::pair<Op, const void*> last{Op::kBegin, nullptr};
        std::pair<Op, const void*> at{Op::kBegin, nullptr};
        std::uint64_t askedMs = 0;
    };

    // Whether the thread could take a step now.
    bool Enabled(int thread) const {
        const auto found = threads_.find(thread);
        if (found == threads_.end()) {
            return true;  // not started yet
        }
        const auto [op, object] = found->second.at;
        const auto owner = owners_.find(object);
        const auto signalled = signalled_.find(object);
        return op == Op::kLock   ? owner == owners_.end() || owner->second < 0
               : op == Op::kWait ? signalled == signalled_.end() || signalled->second
                                 : op != Op::kEnd;
    }

    std::string State(int current) const {
        char text[64];
        std::string state = "current " + std::to_string(current);
        for (const auto& [thread, t] : threads_) {
            const std::uint64_t left =
                t.at.first == Op::kSleep ? t.askedMs + Scene<Guard>::kSectionMs - NowMs() : 0;
            std::snprintf(text, sizeof text, "|%d %d %p %d %p %llu", thread,
                          static_cast<int>(t.last.first), t.last.second,
                          static_cast<int>(t.at.first), t.at.second,
                          static_cast<unsigned long long>(left));
            state += text;
        }
        for (const auto& [object, owner] : owners_) {
            std::snprintf(text, sizeof text, "|%p=%d", object, owner);
            state += text;
        }
        for (const auto& [object, on] : signalled_) {
            std::snprintf(text, sizeof text, "|%p=%d", object, on ? 1 : 0);
            state += text;
        }
        state += "|" + std::to_string(scene_.guard != nullptr ? ReaderCount(*scene_.guard) : 0);
        for (const Section& s : scene_.sections) {
            state += s.endMs == UINT64_MAX ? "|in " + std::to_string(s.thread) : "";
        }
        return state + "|" + std::to_string(scene_.writersDone);
    }

    const Scene<Guard>& scene_;
    std::map<int, PerThread> threads_;
    std::map<const void*, int> owners_;
    std::map<const void*, bool> signalled_;
    std::vector<std::string> states_;
    std::vector<bool> writersStuck_;
};

struct Drawn {
    Timeline timeline;
    std::string failure;
    std::uint64_t failedAt;
    int failedBy;
    std::vector<std::string> states;  // before each step
    std::vector<bool> writersStuck;   // in each state
};

// Plays the scene on the schedule, for at most maxSteps steps.
template <typename Guard>
Drawn Play(const std::vector<int>& schedule, bool keepReading, std::uint64_t maxSteps) {
    Scene<Guard> scene;
    scene.keepReading = keepReading;
    Trail<Guard> trail(scene);
    Options options;
    options.replay = schedule;
    options.maxSteps = maxSteps;
    Timeline timeline = RecordScene(scene, options, &trail);
    return {std::move(timeline), scene.failure,  scene.failedAt,
            scene.failedBy,      trail.states(), trail.writersStuck()};
}

// The first stretch of steps [begin, begin + length) that leads from a
// state back to the same state and is then taken once more, all the way,
// with no writer able to take a step; {0, 0} when there is none.
std::pair<std::uint64_t, std::uint64_t> Cycle(const Drawn& run) {
    const std::vector<std::string>& s = run.states;
    for (std::size_t begin = 0; begin < s.size(); ++begin) {
        for (std::size_t length = 1; begin + 2 * length < s.size(); ++length) {
            bool repeats = s[begin] == s[begin + length];
            for (std::size_t n = begin; repeats && n <= begin + 2 * length; ++n) {
                repeats = run.writersStuck[n] && (n < begin + length || s[n] == s[n - length]);
            }
            if (repeats) {
                return {begin, length};
            }
        }
    }
    return {0, 0};
}

int Fail(const std::string& what) {
    std::cerr << "guard-pictures: " << what << "\n";
    return 1;
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

// The guard that takes countMutex without looking at readerCount again:
// drawn up to a few steps past the one where its writer is inside with a reader.
int DrawWithoutRecheck(const std::string& folder) {
    const std::vector<int> schedule = FailingSchedule(Fault::kWithoutRecheck);
    const Drawn whole = Play<broken::WithoutRecheck>(schedule, false, UINT64_MAX);
    if (whole.failure.find("a writer is inside with 1 reader") == std::string::npos) {
        return Fail("the schedule no longer lets a writer in beside a reader: " + whole.failure);
    }
    Drawn run = Play<broken::WithoutRecheck>(schedule, false, whole.failedAt + 4);
    const std::uint64_t step = run.failedAt - 1;
    const std::string writer = "writer " + std::to_string(run.failedBy);
    std::string reader = "a reader";
    for (const Section& s : run.timeline.sections) {
        if (!s.write && s.beginMs <= step && s.endMs > step) {
            reader = "reader " + std::to_string(s.thread);
        }
    }
    // Where the writer last found no reader inside, before it took countMutex.
    for (const Call& call : run.timeline.calls) {
        if (call.thread == run.failedBy && call.op == Op::kWait &&
            call.object == "guard no-readers event" && call.atMs < step) {
            run.timeline.marks.resize(1);
            run.timeline.marks[0] = {
                call.atMs, call.atMs + 1,
                "step " + std::to_string(call.atMs) + ": " + writer + " finds noReadersEvent set"};
        }
    }
    run.timeline.marks.push_back({step, step + 1,
                                  "step " + std::to_string(step) + ": " + writer +
                                      " takes countMutex with " + reader + " inside"});
    SvgOptions look;
    look.title = "Without the writer's re-check of readerCount";
    return Write(folder + "/guard-without-recheck.svg", DrawSvg(run.timeline, look))
               ? 0
               : Fail("cannot write into " + folder);
}

// The guard that does not close the gate again once it has writerMutex:
// drawn up to the end of the cycle's second round.
int DrawWithoutSecondReset(const std::string& folder) {
    const std::vector<int> schedule = FailingSchedule(Fault::kWithoutSecondReset);
    const Drawn whole = Play<broken::WithoutSecondReset>(schedule, true, UINT64_MAX);
    if (whole.failure.find("readers kept a writer out") == std::string::npos) {
        return Fail("the schedule no longer keeps the writers out: " + whole.failure);
    }
    const auto [begin, length] = Cycle(whole);
    if (length == 0) {
        return Fail("no cycle that keeps the writers out in: " + whole.failure);
    }
    Drawn run = Play<broken::WithoutSecondReset>(schedule, true, begin + length + 4);
    // Where a writer got writerMutex with the gate left open.
    for (const Call& call : run.timeline.calls) {
        if (call.op != Op::kLock || call.object != "guard writer mutex" ||
            !run.timeline.marks.empty()) {
            continue;
        }
        for (const ObjectSpan& gate : run.timeline.objects) {
            if (gate.object == "guard gate" && gate.signalled && gate.beginMs <= call.atMs &&
                gate.endMs > call.atMs) {
                run.timeline.marks.push_back({call.atMs, call.atMs + 1,
                                              "step " + std::to_string(call.atMs) + ": writer " +
                                                  std::to_string(call.thread) +
                                                  " takes writerMutex; the gate stays open"});
            }
        }
    }
    run.timeline.marks.push_back({begin, begin + length,
                                  "steps " + std::to_string(begin) + " to " +
                                      std::to_string(begin + length - 1) +
                                      " lead back to the state of step " + std::to_string(begin) +
                                      ", and no writer can go on: they repeat for ever"});
    SvgOptions look;
    look.title = "Without the second reset of the gate";
    return Write(folder + "/guard-without-second-reset.svg", DrawSvg(run.timeline, look))
               ? 0
               : Fail("cannot write into " + folder);
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
