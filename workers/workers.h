// The three background workers: print, find and garbage collection.
#pragma once

#include <cstdint>

#include "store/record_pool.h"
#include "workers/worker_thread.h"

namespace listpool {

// Writes the list to its log while holding the list's read section for two
// periods; announces completion before its last pause.
class PrintThread final : public WorkerThread {
  public:
    using WorkerThread::WorkerThread;
    bool Start() override;
    static void Run(PrintThread& worker);
};

// Looks for one key in the list while holding its read section for two
// periods; announces completion after leaving it.
class FindThread final : public WorkerThread {
  public:
    using WorkerThread::WorkerThread;
    // Each thread looks for the key held when its Start was called, so a key
    // set for a later command never changes what an earlier thread finds.
    bool Start() override;
    static void Run(FindThread& worker, std::int32_t key);

    // The key the next Start looks for; set by the console.
    std::int32_t key = 0;
};

// Collects the pool from the list's head while holding the pool's write
// section for four periods and, within it, the list's read section for two;
// announces completion after leaving both.
class GarbageThread final : public WorkerThread {
  public:
    GarbageThread(const char* nameText, std::int32_t id, std::int32_t seconds, TmyList& list,
                  RecordPool& pool)
        : WorkerThread(nameText, id, seconds, list), pool(&pool) {}
    bool Start() override;
    static void Run(GarbageThread& worker);

    // The pool to collect; not owned.
    RecordPool* const pool;
};

}  // namespace listpool
