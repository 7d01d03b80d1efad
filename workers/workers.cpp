#include "workers/workers.h"

#include "platform/thread.h"

namespace listpool {

bool PrintThread::Start() {
    return StartThread([](void* self) { Run(*static_cast<PrintThread*>(self)); }, this);
}

void PrintThread::Run(PrintThread& worker) {
    TmyList& list = *worker.list;
    OutStream& log = *worker.log;
    list.guard.BeginRead();
    worker.Pause();
    log << endl;
    log << "Printing TmyList after: " << list.opsCount << " Ops performed" << endl;
    for (std::int32_t p = list.head; p != kNone; p = list.Next(p)) {
        log << "Link(" << p << ") Has Key(" << list.Key(p) << ")" << endl;
    }
    StdErr() << "Thread: [" << worker.name << "]: Printing Done!" << endl;
    worker.Pause();
    list.guard.EndRead();
}

namespace {

struct FindRequest {
    FindThread* worker;
    std::int32_t key;
};

}  // namespace

bool FindThread::Start() {
    auto* request = new FindRequest{this, key};
    const bool started = StartThread(
        [](void* argument) {
            const FindRequest request = *static_cast<FindRequest*>(argument);
            delete static_cast<FindRequest*>(argument);
            Run(*request.worker, request.key);
        },
        request);
    if (!started) {
        delete request;
    }
    return started;
}

void FindThread::Run(FindThread& worker, std::int32_t key) {
    TmyList& list = *worker.list;
    OutStream& log = *worker.log;
    list.guard.BeginRead();
    worker.Pause();
    bool found = false;
    log << endl;
    log << "Looking for Key(" << key << ") in TmyList after: " << list.opsCount << " Ops performed"
        << endl;
    for (std::int32_t p = list.head; p != kNone && !found; p = list.Next(p)) {
        found = list.Key(p) == key;
    }
    log << (found ? "\t\t****> FOND!" : "\t\t****> NOT FOND!") << endl;
    worker.Pause();
    list.guard.EndRead();
    StdErr() << "Thread: [" << worker.name << "]: Finding Done!" << endl;
}

bool GarbageThread::Start() {
    return StartThread([](void* self) { Run(*static_cast<GarbageThread*>(self)); }, this);
}

void GarbageThread::Run(GarbageThread& worker) {
    TmyList& list = *worker.list;
    RecordPool& pool = *worker.pool;
    OutStream& log = *worker.log;
    pool.guard.BeginWrite();
    worker.Pause();
    list.guard.BeginRead();
    worker.Pause();
    log << endl;
    log << "Performing Garbage Collection for TmyList after: " << list.opsCount << " Ops performed"
        << endl;
    pool.Collect(list.head);
    worker.Pause();
    list.guard.EndRead();
    worker.Pause();
    pool.guard.EndWrite();
    StdErr() << "Thread: [" << worker.name << "]: Garbage Collection Done!" << endl;
}

}  // namespace listpool
