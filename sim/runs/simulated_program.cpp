#include "sim/runs/simulated_program.h"

#include "console/program.h"
#include "platform/io.h"
#include "sim/runs/guard_watch.h"
#include "sim/runs/session.h"
#include "streams/stream.h"

namespace listpool::sim {
namespace {

class Both final : public Observer {
  public:
    Both(Observer& first, Observer* second) : first_(first), second_(second) {}
    void OnNotice(const Notice& notice) override {
        first_.OnNotice(notice);
        if (second_ != nullptr) {
            second_->OnNotice(notice);
        }
    }
    void OnRunStart() override {
        first_.OnRunStart();
        if (second_ != nullptr) {
            second_->OnRunStart();
        }
    }

  private:
    Observer& first_;
    Observer* second_;
};

}  // namespace

ProgramRun SimulateListpool(Options options, std::string_view session, Observer* extra,
                            const Program** built, const GuardWatch** watching) {
    // Standard output's buffer outlives runs, as the stream does. What a
    // run left in it when it was stopped or abandoned went with that run,
    // as a process that ends unflushed writes none of it: flushed outside a
    // run, it is dropped.
    StdOut().Flush();
    // The streams are made once, outside any run, since runs give back
    // their memory.
    StdErr();
    GuardWatch watch;
    if (watching != nullptr) {
        *watching = &watch;
    }
    Both observers(watch, extra);
    options.observer = &observers;
    options.nameObject = [&watch](const void* object) { return watch.NameOf(object); };
    options.ownMemory = true;
    ProgramRun result;
    result.outcome = Run(options, ParseSession(session), [&watch, built] {
        // The main routine, with a look at the guards between its halves.
        InstallAbnormalTermination();
        Program& program = BuildProgram();
        if (built != nullptr) {
            *built = &program;
        }
        const SimulatorMemory simulator;
        watch.Add(program.pool.guard, "pool");
        watch.Add(program.list.guard, "list");
        RunProgram(program);
    });
    result.violation = watch.violation();
    result.sections = watch.sections();
    result.waits = watch.waits();
    result.guards = watch.GuardNames();
    result.objects = watch.Objects();
    if (watching != nullptr) {
        *watching = nullptr;
    }
    return result;
}

std::string PoolText(const Program& program) NO_THREAD_SAFETY_ANALYSIS {
    const RecordPool& pool = program.pool;
    std::string records;
    for (std::int32_t offset = 0; offset < kRecordCount * kWordsPerRecord;
         offset += kWordsPerRecord) {
        records += "[" + std::to_string(offset) + "] key " + std::to_string(pool.Key(offset)) +
                   ", next " + std::to_string(pool.Next(offset)) +
                   (pool.Mark(offset) == kInUse ? ", in use\n" : ", free\n");
    }
    return records + "cursor " + std::to_string(pool.cursor);
}

std::string ListText(const Program& program) NO_THREAD_SAFETY_ANALYSIS {
    const RecordPool& pool = program.pool;
    std::string list = "head";
    std::int32_t at = program.list.head;
    for (int n = 0; at >= 0 && n <= kRecordCount; ++n, at = pool.Next(at)) {
        list += " -> [" + std::to_string(at) + "] " + std::to_string(pool.Key(at));
    }
    return list + "; " + std::to_string(program.list.opsCount) + " ops";
}

}  // namespace listpool::sim
