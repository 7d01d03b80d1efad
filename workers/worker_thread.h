// The common base of the background workers.
#pragma once

#include <cstdint>
#include <functional>

#include "store/tmy_list.h"
#include "streams/stream.h"

namespace listpool {

// A named worker with its own log file and a period for its pauses. Each
// Start runs the worker's procedure once more on a new detached thread; any
// number of threads may run on one object at once, sharing its log.
class WorkerThread {
  public:
    // Names the worker "<nameText>.<id>", creates or empties the log file of
    // that name in the current folder and writes its initialisation line. A
    // log that cannot be opened drops every write; the worker still runs.
    WorkerThread(const char* nameText, std::int32_t id, std::int32_t seconds, TmyList& list);
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts a thread running this class's procedure on this object. Yields
    // false, reporting nothing, when the thread cannot be started.
    virtual bool Start();

    // Sleeps for one period.
    void Pause() const;

    // The plain worker's procedure: five counted log lines, one period apart,
    // then a completion line on standard error.
    static void Run(WorkerThread& worker);

    char name[20];
    std::int32_t id;
    // Owned and never closed; every line is flushed as it ends.
    OutStream* log;
    std::int32_t sleepMs;
    // The list the worker reads; not owned.
    TmyList* const list;

  protected:
    // Runs procedure once on a new detached thread, started under the
    // worker's name. Yields false, having run nothing, when the thread
    // cannot be started.
    bool StartProcedure(std::function<void()> procedure) const;
};

}  // namespace listpool
