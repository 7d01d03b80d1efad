// Records a simulated session's timeline (sim/timeline/record.h) from the
// calls the simulator tells of.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim.h"
#include "sim/runs/simulated_program.h"
#include "sim/runs/stream_locks.h"
#include "sim/timeline/record.h"

namespace listpool::sim {

// Records the calls of one run; Build then makes its timeline once the run
// is over. Give it to SimulateListpool as its extra observer.
class TimelineRecorder final : public Observer {
  public:
    void OnNotice(const Notice& notice) override;

    // The timeline of the run, with the guard watch's record of it. On an
    // axis of steps (the recorder told through a StepClock) the timeline
    // ends at the last step rather than at the outcome's end.
    Timeline Build(const ProgramRun& run, Axis axis = Axis::kMilliseconds) const;

  private:
    // A call that could not take effect at once: a pause or a wait.
    struct Blocked {
        int thread;
        Op op;
        const void* object;
        std::uint64_t begin;
        std::uint64_t end;
    };
    // A call that took effect.
    struct Done {
        int thread;
        Op op;
        const void* object;
        std::uint64_t time;
    };
    struct PerThread {
        std::uint64_t begin = 0;
        std::uint64_t end = UINT64_MAX;
        std::size_t open = SIZE_MAX;  // its Blocked not yet done
    };

    void OnConsole(const Notice& notice);

    std::map<int, PerThread> threads_;
    std::vector<Blocked> blocked_;
    std::vector<Done> done_;
    std::uint64_t last_ = 0;
    StreamLocks streams_;
    std::vector<std::uint64_t> commandTimes_;
    enum class Prompt {
        kNone,     // no prompt waits for its command
        kWritten,  // the console's next call tells when it takes the word
        kReading,  // it takes the word once its read of input is done
    };
    Prompt prompt_ = Prompt::kNone;
};

// A session run under the recorder, and its timeline.
struct Recorded {
    ProgramRun result;
    Timeline timeline;
};
Recorded RecordListpool(const Options& options, std::string_view sessionText);

}  // namespace listpool::sim
