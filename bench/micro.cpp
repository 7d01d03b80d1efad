// Micro-benchmarks: the reader-writer guard beside the standard reader-writer
// locks and beside the two plain mutex pairs that its sequences take at the
// least (free, and with two threads on one mutex), the event operations, an
// insert into a full pool and the integer scanner.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "console/input.h"
#include "platform/sync.h"
#include "store/read_write_guard.h"
#include "store/record_pool.h"
#include "store/tmy_list.h"
#include "streams/stream.h"

namespace {

using namespace listpool;

// One object of each kind, shared by the threads of a two-thread run and
// never destroyed, as in the program.
ReadWriteGuard& SharedGuard() {
    static auto* const guard = new ReadWriteGuard;
    return *guard;
}

std::shared_mutex& SharedSharedMutex() {
    static auto* const mutex = new std::shared_mutex;
    return *mutex;
}

pthread_rwlock_t& SharedRwlock() {
    static pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
    return lock;
}

void GuardReadPair(benchmark::State& state) {
    ReadWriteGuard& guard = SharedGuard();
    for (auto _ : state) {
        guard.BeginRead();
        guard.EndRead();
    }
}
BENCHMARK(GuardReadPair)->Threads(1)->Threads(2)->UseRealTime();

void GuardWritePair(benchmark::State& state) {
    ReadWriteGuard& guard = SharedGuard();
    for (auto _ : state) {
        guard.BeginWrite();
        guard.EndWrite();
    }
}
BENCHMARK(GuardWritePair)->Threads(1)->Threads(2)->UseRealTime();

void SharedMutexReadPair(benchmark::State& state) {
    std::shared_mutex& mutex = SharedSharedMutex();
    for (auto _ : state) {
        mutex.lock_shared();
        mutex.unlock_shared();
    }
}
BENCHMARK(SharedMutexReadPair)->Threads(1)->Threads(2)->UseRealTime();

void SharedMutexWritePair(benchmark::State& state) {
    std::shared_mutex& mutex = SharedSharedMutex();
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(SharedMutexWritePair)->Threads(1)->Threads(2)->UseRealTime();

void RwlockReadPair(benchmark::State& state) {
    pthread_rwlock_t& lock = SharedRwlock();
    for (auto _ : state) {
        pthread_rwlock_rdlock(&lock);
        pthread_rwlock_unlock(&lock);
    }
}
BENCHMARK(RwlockReadPair)->Threads(1)->Threads(2)->UseRealTime();

void RwlockWritePair(benchmark::State& state) {
    pthread_rwlock_t& lock = SharedRwlock();
    for (auto _ : state) {
        pthread_rwlock_wrlock(&lock);
        pthread_rwlock_unlock(&lock);
    }
}
BENCHMARK(RwlockWritePair)->Threads(1)->Threads(2)->UseRealTime();

// The least any guard sequence pair does: countMutex twice for a read, or
// writerMutex and countMutex for a write, each free.
void FloorTwoMutexPairs(benchmark::State& state) {
    static std::mutex first;
    static std::mutex second;
    for (auto _ : state) {
        first.lock();
        first.unlock();
        second.lock();
        second.unlock();
    }
}
BENCHMARK(FloorTwoMutexPairs)->UseRealTime();

// The contended floor: two threads both take one shared std::mutex twice per
// iteration, as two readers both take countMutex twice. It is what the
// guard's sequences cost at the least when both threads want the same mutex.
void ContendedFloorTwoPairs(benchmark::State& state) {
    static auto* const mutex = new std::mutex;
    for (auto _ : state) {
        mutex->lock();
        mutex->unlock();
        mutex->lock();
        mutex->unlock();
    }
}
BENCHMARK(ContendedFloorTwoPairs)->Threads(2)->UseRealTime();

// The same on one shared CMutex: what of the guard's contended time is the
// platform's mutex, and what the rest of its sequences.
void ContendedCMutexTwoPairs(benchmark::State& state) {
    static auto* const mutex = new CMutex;
    for (auto _ : state) {
        mutex->Lock();
        mutex->Unlock();
        mutex->Lock();
        mutex->Unlock();
    }
}
BENCHMARK(ContendedCMutexTwoPairs)->Threads(2)->UseRealTime();

// The same two pairs on the platform's CMutex, which the guard is built on.
void CMutexTwoPairs(benchmark::State& state) {
    static CMutex first;
    static CMutex second;
    for (auto _ : state) {
        first.Lock();
        first.Unlock();
        second.Lock();
        second.Unlock();
    }
}
BENCHMARK(CMutexTwoPairs)->UseRealTime();

void EventLockSignalled(benchmark::State& state) {
    CEvent event;
    for (auto _ : state) {
        event.Lock();
    }
}
BENCHMARK(EventLockSignalled)->UseRealTime();

void EventResetSet(benchmark::State& state) {
    CEvent event;
    for (auto _ : state) {
        event.ResetEvent();
        event.SetEvent();
    }
}
BENCHMARK(EventResetSet)->UseRealTime();

// A pool of five records all linked, so every Insert scans, collects, scans
// again and writes the out-of-memory warning.
void InsertIntoFullPool(benchmark::State& state, int fd) {
    RecordPool pool;
    TmyList list{pool};
    OutStream out(fd, OutStream::Buffering::kUntilFlush);
    for (std::int32_t key = 1; key <= kRecordCount; ++key) {
        list.Insert(key, out);
    }
    std::int32_t key = 100000;
    for (auto _ : state) {
        list.Insert(++key, out);
    }
    benchmark::DoNotOptimize(list.head);
    if (list.opsCount != static_cast<std::int32_t>(state.iterations()) + kRecordCount) {
        state.SkipWithError("the list lost an insert");
    }
}

// The collection and the formatting, with the line dropped unwritten.
void InsertIntoFullPoolDiscarded(benchmark::State& state) {
    InsertIntoFullPool(state, -1);
}
BENCHMARK(InsertIntoFullPoolDiscarded)->UseRealTime();

// As the console does it: each warning line is one write(2).
void InsertIntoFullPoolDevNull(benchmark::State& state) {
    const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    InsertIntoFullPool(state, fd);
    close(fd);
}
BENCHMARK(InsertIntoFullPoolDevNull)->UseRealTime();

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(const std::string& text) : text_(text) {}
    std::size_t Read(char* data, std::size_t size) override {
        const std::size_t count = std::min(size, text_.size() - offset_);
        std::memcpy(data, text_.data() + offset_, count);
        offset_ += count;
        return count;
    }

  private:
    const std::string& text_;
    std::size_t offset_ = 0;
};

// The text of a bulk insert: one decimal integer a line.
void ScanIntegers(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    std::string text;
    for (std::int32_t i = 1; i <= count; ++i) {
        text += std::to_string(i);
        text += '\n';
    }
    std::int64_t sum = 0;
    for (auto _ : state) {
        MemorySource source(text);
        auto scanner = std::make_unique<InputScanner>(source);
        std::int32_t value = 0;
        while (scanner->ReadInt(value) == ReadResult::kRead) {
            sum += value;
        }
    }
    benchmark::DoNotOptimize(sum);
    const std::int64_t expected = std::int64_t{count} * (count + 1) / 2 * state.iterations();
    if (sum != expected) {
        state.SkipWithError("the scanner misread the integers");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
}
BENCHMARK(ScanIntegers)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // glibc takes a mutex without a locked instruction while a process has
    // never had a second thread; the program's workers end that, so make
    // every benchmark, the single-threaded ones included, run as it would.
    std::thread([] {}).join();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
