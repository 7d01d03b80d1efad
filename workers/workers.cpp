#include "workers/workers.h"

namespace listpool {

bool PrintThread::Start() {
    return StartProcedure([this] { Run(*this); });
}

void PrintThread::Run(PrintThread& worker) {
    TmyList& list = *worker.list;
    OutStream& log = *worker.log;
    list.guard.BeginRead();
    worker.Pause();
    log << Line();
    log << (Line() << "Printing TmyList after: " << list.opsCount << " Ops performed");
    for (std::int32_t p = list.head; p != kNone; p = list.Next(p)) {
        log << (Line() << "Link(" << p << ") Has Key(" << list.Key(p) << ")");
    }
    StdErr() << (Line() << "Thread: [" << worker.name << "]: Printing Done!");
    worker.Pause();
    list.guard.EndRead();
}

bool FindThread::Start() {
    return StartProcedure([this, key = key] { Run(*this, key); });
}

void FindThread::Run(FindThread& worker, std::int32_t key) {
    TmyList& list = *worker.list;
    OutStream& log = *worker.log;
    list.guard.BeginRead();
    worker.Pause();
    bool found = false;
    log << Line();
    log << (Line() << "Looking for Key(" << key << ") in TmyList after: " << list.opsCount
                   << " Ops performed");
    for (std::int32_t p = list.head; p != kNone && !found; p = list.Next(p)) {
        found = list.Key(p) == key;
    }
    log << (Line() << (found ? "\t\t****> FOND!" : "\t\t****> NOT FOND!"));
    worker.Pause();
    list.guard.EndRead();
    StdErr() << (Line() << "Thread: [" << worker.name << "]: Finding Done!");
}

bool GarbageThread::Start() {
    return StartProcedure([this] { Run(*this); });
}

void GarbageThread::Run(GarbageThread& worker) {
    TmyList& list = *worker.list;
    RecordPool& pool = *worker.pool;
    OutStream& log = *worker.log;
    pool.guard.BeginWrite();
    worker.Pause();
    list.guard.BeginRead();
    worker.Pause();
    log << Line();
    log << (Line() << "Performing Garbage Collection for TmyList after: " << list.opsCount
                   << " Ops performed");
    pool.Collect(list.head);
    worker.Pause();
    list.guard.EndRead();
    worker.Pause();
    pool.guard.EndWrite();
    StdErr() << (Line() << "Thread: [" << worker.name << "]: Garbage Collection Done!");
}

}  // namespace listpool
