#include "platform/sim/effects.h"

#include <algorithm>

#include "platform/io.h"
#include "platform/sim/hash.h"
#include "platform/sim/scheduler.h"

namespace listpool::sim::detail {
namespace {

std::string& FileOf(World& world, int fd) {
    static const std::string kStd[] = {"stdin", "stdout", "stderr"};
    const std::string& name = fd < 3 ? kStd[fd] : world.logNames[static_cast<std::size_t>(fd - 3)];
    return world.outcome.files[name];
}

void Unlock(World& world, SimThread& thread) {
    auto* mutex = static_cast<MutexState*>(thread.state);
    if (mutex->owner != &thread) {
        Finish(world, Ending::kFault,
               "thread " + std::to_string(thread.id) + " unlocks " + NameOf(world, thread.object) +
                   ", which it does not hold\n");
    }
    mutex->owner = nullptr;
    const auto held = std::find(world.held.begin(), world.held.end(), mutex);
    if (held != world.held.end()) {
        world.held.erase(held);
    }
}

// Hands the thread as much of the input typed by now as it asked for.
void Read(World& world, SimThread& thread) {
    thread.got = 0;
    while (thread.fd == kStdIn && thread.got < thread.size && InputLeft(world) &&
           world.input[world.inputChunk].atMs <= world.nowMs) {
        const std::string& chunk = world.input[world.inputChunk].bytes;
        const std::size_t n = std::min(thread.size - thread.got, chunk.size() - world.inputOffset);
        std::copy_n(chunk.data() + world.inputOffset, n, thread.data + thread.got);
        thread.got += n;
        world.inputOffset += n;
        if (world.inputOffset == chunk.size()) {
            ++world.inputChunk;
            world.inputOffset = 0;
        }
    }
}

}  // namespace

void Apply(World& world, SimThread& thread) {
    int newThread = -1;
    // What the thread's place remembers of the call.
    std::uint64_t call =
        Fold(Fold(Fold(0, static_cast<std::uint64_t>(thread.op)), IdOf(thread)), world.nowMs);
    switch (thread.op) {
        case Op::kLock: {
            auto* mutex = static_cast<MutexState*>(thread.state);
            mutex->owner = &thread;
            mutex->takers = Fold(mutex->takers, static_cast<std::uint64_t>(thread.id));
            world.held.push_back(mutex);
            break;
        }
        case Op::kUnlock:
            Unlock(world, thread);
            break;
        case Op::kSet:
        case Op::kReset:
            static_cast<EventState*>(thread.state)->signalled = thread.op == Op::kSet;
            break;
        case Op::kStartThread: {
            const ThreadProc proc = thread.proc;
            void* const argument = thread.argument;
            SimThread& added = AddThread(world, [proc, argument] { proc(argument); });
            added.name = thread.startName != nullptr ? thread.startName : "";
            newThread = added.id;
            thread.started = true;
            call = Fold(call, static_cast<std::uint64_t>(newThread));
            break;
        }
        case Op::kWrite: {
            const std::string_view bytes(thread.data, thread.size);
            FileOf(world, thread.fd).append(bytes);
            world.outcome.writes.push_back({world.nowMs, thread.id,
                                            std::string(FileName(world, thread.fd)),
                                            std::string(bytes)});
            call = FoldBytes(call, bytes);
            std::uint64_t& file = world.fileHashes[thread.fd];
            file = FoldBytes(Fold(file, world.nowMs), bytes);
            break;
        }
        case Op::kRead:
            Read(world, thread);
            call = FoldBytes(call, std::string_view(thread.data, thread.got));
            break;
        default:
            break;
    }
    thread.place = Fold(thread.place, call);
    thread.recent[thread.calls++ % kMostPlaceCalls] = call;
    if (Observed(world)) {
        Notice done = NoticeOf(Notice::kDone, thread);
        done.newThread = newThread;
        if (thread.op == Op::kWrite) {
            done.file = world.outcome.writes.back().file;
            done.bytes = world.outcome.writes.back().bytes;
        }
        Tell(world, done, thread);
    }
}

}  // namespace listpool::sim::detail
