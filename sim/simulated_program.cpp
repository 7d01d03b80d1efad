#include "sim/simulated_program.h"

#include "console/program.h"
#include "platform/io.h"
#include "sim/guard_watch.h"
#include "sim/session.h"
#include "sim/state_search.h"
#include "streams/stream.h"

namespace listpool::sim {
namespace {

class Both final : public Observer {
  public:
    Both(Observer& first, Observer* second) : first_(first), second_(second) {}
    void OnEvent(const Event& event) override {
        first_.OnEvent(event);
        if (second_ != nullptr) {
            second_->OnEvent(event);
        }
    }

  private:
    Observer& first_;
    Observer* second_;
};

}  // namespace

Session SimulateListpool(Options options, std::string_view session, Observer* extra,
                         const Program** built) {
    // Standard output's buffer outlives runs, as the stream does. What a
    // run left in it when it was stopped or abandoned went with that run,
    // as a process that ends unflushed writes none of it: flushed outside a
    // run, it is dropped.
    StdOut().Flush();
    GuardWatch watch;
    Both observers(watch, extra);
    options.observer = &observers;
    options.nameObject = [&watch](const void* object) { return watch.NameOf(object); };
    Session result;
    result.outcome = Run(options, ParseSession(session), [&watch, built] {
        // The main routine, with a look at the guards between its halves.
        InstallAbnormalTermination();
        Program& program = BuildProgram();
        if (built != nullptr) {
            *built = &program;
        }
        watch.Add(program.pool.guard, "pool");
        watch.Add(program.list.guard, "list");
        RunProgram(program);
    });
    result.violation = watch.violation();
    result.sections = watch.sections();
    result.waits = watch.waits();
    result.guards = watch.GuardNames();
    result.objectNames = watch.Names();
    return result;
}

std::string ReplayCommand(const Options& options, std::string_view session) {
    // $'...' keeps the session's bytes, newlines included, on one line.
    std::string quoted = Quoted(session);
    std::string command = "printf %s $'";
    for (std::size_t n = 1; n + 1 < quoted.size(); ++n) {
        command += quoted[n] == '\'' ? "\\'" : std::string(1, quoted[n]);
    }
    command += "' | build/sim/listpool-sim";
    if (!options.replay.empty()) {
        command += " --replay '" + ChoiceText(options.replay) + "'";
    } else if (options.strategy != Strategy::kFixed) {
        command += options.strategy == Strategy::kRandom ? " --random " : " --pct ";
        command += std::to_string(options.seed);
    }
    return command;
}

}  // namespace listpool::sim
