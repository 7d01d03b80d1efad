// The checks: relacy test suites on the platform layer's objects as the
// check's back end builds them (backend.h). The data of every section is a
// relacy variable, so an access that the mutex, the event or the guard fails
// to order after another thread's is a data race; a thread that waits for
// ever is a deadlock, once every other thread has finished or waits too.
#pragma once

#include "tests/relacy/backend.h"

#include "platform/sync.h"
#include "store/read_write_guard.h"

namespace listpool::rlcheck {

// Each of kThreads threads takes the mutex kRounds times and adds one to a
// count inside: the sections must not overlap and each must see the last
// one's count, and no thread may sleep for ever in Lock.
template <rl::thread_id_t kThreads, int kRounds>
struct MutexCheck : rl::test_suite<MutexCheck<kThreads, kRounds>, kThreads> {
    IterationStart start;
    CMutex mutex;
    rl::var<int> count;

    void before() { count(RL_INFO) = 0; }
    void thread(unsigned) {
        for (int round = 0; round < kRounds; ++round) {
            mutex.Lock();
            count(RL_INFO) = count(RL_INFO) + 1;
            mutex.Unlock();
        }
    }
    void after() { RL_ASSERT(count(RL_INFO) == static_cast<int>(kThreads) * kRounds); }
};

// On a reset event, thread 0 writes the data, signals, and then passes a
// Lock of its own; each of kWaiters threads waits and then reads the data.
// Every waiter must be let through, whether it came before the SetEvent or
// after it, and see what was written before it.
template <rl::thread_id_t kWaiters>
struct EventCheck : rl::test_suite<EventCheck<kWaiters>, kWaiters + 1> {
    IterationStart start;
    CEvent event;
    rl::var<int> data;

    void before() {
        event.ResetEvent();
        data(RL_INFO) = 0;
    }
    void thread(unsigned index) {
        if (index == 0) {
            data(RL_INFO) = 1;
            event.SetEvent();
            event.Lock();
        } else {
            event.Lock();
            RL_ASSERT(data(RL_INFO) == 1);
        }
    }
};

// On an event created signalled, each of kWaiters threads resets it, says
// so on a relacy semaphore, and then waits on it; thread 0 waits on the
// semaphore until every waiter has reset the event, then writes the data and
// signals. A Lock after the caller's ResetEvent must wait for that SetEvent,
// and then see the data.
template <rl::thread_id_t kWaiters>
struct ResetCheck : rl::test_suite<ResetCheck<kWaiters>, kWaiters + 1> {
    IterationStart start;
    CEvent event;
    rl::semaphore<void> resets;
    rl::var<int> data;

    void before() {
        resets.init(false, 0, kWaiters, RL_INFO);
        data(RL_INFO) = 0;
    }
    void thread(unsigned index) {
        if (index == 0) {
            for (rl::thread_id_t i = 0; i < kWaiters; ++i) {
                resets.wait(false, false, RL_INFO);
            }
            data(RL_INFO) = 1;
            event.SetEvent();
        } else {
            event.ResetEvent();
            unsigned count;
            resets.post(1, count, RL_INFO);
            event.Lock();
            RL_ASSERT(data(RL_INFO) == 1);
        }
    }
    void after() { resets.deinit(RL_INFO); }
};

// Two threads hand a turn to and fro kRounds times over two reset events,
// each resetting its own event after passing it, as the guard's readers and
// writers do: thread 1 sets go and waits on done, thread 0 waits on go and
// sets done. Each turn writes the data the other reads.
template <int kRounds>
struct HandOverCheck : rl::test_suite<HandOverCheck<kRounds>, 2> {
    IterationStart start;
    CEvent go;
    CEvent done;
    rl::var<int> data;

    void before() {
        go.ResetEvent();
        done.ResetEvent();
        data(RL_INFO) = 0;
    }
    void thread(unsigned index) {
        for (int round = 0; round < kRounds; ++round) {
            if (index == 1) {
                data(RL_INFO) = 2 * round + 1;
                go.SetEvent();
                done.Lock();
                done.ResetEvent();
                RL_ASSERT(data(RL_INFO) == 2 * round + 2);
            } else {
                go.Lock();
                go.ResetEvent();
                RL_ASSERT(data(RL_INFO) == 2 * round + 1);
                data(RL_INFO) = 2 * round + 2;
                done.SetEvent();
            }
        }
    }
};

// kReaders readers and kWriters writers, one section each, on a guard of
// type Guard (ReadWriteGuard, built from store/read_write_guard.cpp): a
// writer's section changes the value, a reader's reads it. No section may
// overlap a writer's, and nobody may wait for ever.
template <class Guard, rl::thread_id_t kReaders, rl::thread_id_t kWriters>
struct GuardCheck : rl::test_suite<GuardCheck<Guard, kReaders, kWriters>, kReaders + kWriters> {
    IterationStart start;
    Guard guard;
    rl::var<int> value;

    void before() { value(RL_INFO) = 0; }
    void thread(unsigned index) {
        if (index < kWriters) {
            guard.BeginWrite();
            value(RL_INFO) = value(RL_INFO) + 1;
            guard.EndWrite();
        } else {
            guard.BeginRead();
            const int seen = value(RL_INFO);
            RL_ASSERT(seen >= 0 && seen <= static_cast<int>(kWriters));
            guard.EndRead();
        }
    }
    void after() { RL_ASSERT(value(RL_INFO) == static_cast<int>(kWriters)); }
};

}  // namespace listpool::rlcheck
