#include "workers/worker_thread.h"

#include <cstdio>

#include "platform/io.h"
#include "platform/thread.h"

namespace listpool {

WorkerThread::WorkerThread(const char* nameText, std::int32_t id, std::int32_t seconds,
                           TmyList& list)
    : name{}, id(id), log(nullptr), sleepMs(seconds * 1000), list(&list) {
    // A name too long for the field is cut short rather than overrun it.
    std::snprintf(name, sizeof name, "%s.%d", nameText, static_cast<int>(id));
    log = new OutStream(OpenLogFile(name), OutStream::Buffering::kUntilFlush);
    *log << (Line() << "Thread: [" << name << "] Initialization Completed");
}

bool WorkerThread::StartProcedure(std::function<void()> procedure) const {
    auto* started = new std::function<void()>(std::move(procedure));
    const bool ok = StartThread(
        [](void* argument) {
            const std::function<void()> run =
                std::move(*static_cast<std::function<void()>*>(argument));
            delete static_cast<std::function<void()>*>(argument);
            run();
        },
        started, name);
    if (!ok) {
        delete started;
    }
    return ok;
}

bool WorkerThread::Start() {
    return StartProcedure([this] { Run(*this); });
}

void WorkerThread::Pause() const {
    SleepMs(static_cast<std::uint32_t>(sleepMs));
}

void WorkerThread::Run(WorkerThread& worker) {
    for (std::int32_t i = 0; i < 5; ++i) {
        *worker.log << (Line() << "Thread: [" << worker.name << "]: Working on (" << Padded{i, 3}
                               << ")");
        worker.Pause();
    }
    StdErr() << (Line() << "Thread: [" << worker.name << "]: Done!");
}

}  // namespace listpool
