// relacy, and the word the memory model check runs the mutex and event
// algorithms of platform/futex_sync.h on: relacy's atomic behind the members
// of std::atomic<std::uint32_t> that the algorithms use, with a futex wait
// and wake that give what the standard promises of std::atomic's wait and
// notify, and no more (RlWord says how).
//
// Every source of the check includes relacy through this header, and only
// after the standard headers: relacy.hpp defines macros named like standard
// names (new, delete, assert, the memory orders) and like this program's
// own (SetEvent, ResetEvent); those are undone below. The program is built
// with RL_GC, so relacy frees what an iteration allocated when it ends, with
// no choice of its own made at each free.
#pragma once

#include <atomic>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/futex_sync.h"

#include <relacy/relacy.hpp>

#undef new
#undef delete
#undef assert
#undef SetEvent
#undef ResetEvent
#undef memory_order_relaxed
#undef memory_order_consume
#undef memory_order_acquire
#undef memory_order_release
#undef memory_order_acq_rel
#undef memory_order_seq_cst

// The place of the call, as a default argument: relacy's history then names
// the line of futex_sync.h that made each operation.
#define LISTPOOL_RL_CALLER rl::debug_info(__builtin_FUNCTION(), __builtin_FILE(), __builtin_LINE())

namespace listpool::rlcheck {

constexpr rl::memory_order RlOrder(std::memory_order order) {
    switch (order) {
        case std::memory_order_relaxed:
            return rl::mo_relaxed;
        case std::memory_order_consume:
            return rl::mo_consume;
        case std::memory_order_acquire:
            return rl::mo_acquire;
        case std::memory_order_release:
            return rl::mo_release;
        case std::memory_order_acq_rel:
            return rl::mo_acq_rel;
        case std::memory_order_seq_cst:
            break;
    }
    return rl::mo_seq_cst;
}

// The most threads a check runs.
constexpr rl::thread_id_t kMostThreads = 4;

// A futex word in relacy's memory model.
//
// wait(old, order) is std::atomic's: a load with the order, and while it
// gives old, a futex wait: a seq_cst fence, a relaxed look at the word and,
// with no other thread in between, sleep if it still holds old. notify_one
// and notify_all are a seq_cst fence, then waking sleepers. relacy orders
// the fences of a wake and a later wait with each other, so a wait that
// comes after a wake sees what was stored before it: the standard's rule
// that a notify unblocks every wait that saw an older value. It does not
// order its fences with seq_cst loads and stores, and a woken thread is not
// ordered after its waker: the standard promises neither, though Linux's
// futex gives both, and the algorithms must not lean on them.
class RlWord {
  public:
    explicit RlWord(std::uint32_t value) { word_.store(value, rl::mo_relaxed, LISTPOOL_RL_CALLER); }
    RlWord(const RlWord&) = delete;
    RlWord& operator=(const RlWord&) = delete;

    std::uint32_t load(std::memory_order order, rl::debug_info info = LISTPOOL_RL_CALLER) const {
        return word_.load(RlOrder(order), info);
    }
    void store(std::uint32_t value, std::memory_order order,
               rl::debug_info info = LISTPOOL_RL_CALLER) {
        word_.store(value, RlOrder(order), info);
    }
    std::uint32_t exchange(std::uint32_t value, std::memory_order order,
                           rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.exchange(value, RlOrder(order), info);
    }
    // The order on failure follows from the one given, as std::atomic has it.
    bool compare_exchange_strong(std::uint32_t& expected, std::uint32_t desired,
                                 std::memory_order order,
                                 rl::debug_info info = LISTPOOL_RL_CALLER) {
        unsigned seen = expected;
        const bool done = word_.compare_exchange_strong(seen, desired, RlOrder(order), info);
        expected = seen;
        return done;
    }
    std::uint32_t fetch_add(std::uint32_t value, std::memory_order order,
                            rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.fetch_add(value, RlOrder(order), info);
    }
    std::uint32_t fetch_sub(std::uint32_t value, std::memory_order order,
                            rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.fetch_sub(value, RlOrder(order), info);
    }

    void wait(std::uint32_t old, std::memory_order order,
              rl::debug_info info = LISTPOOL_RL_CALLER) {
        while (load(order, info) == old) {
            FutexWait(old, info);
        }
    }
    void notify_one(rl::debug_info info = LISTPOOL_RL_CALLER) { FutexWake(false, info); }
    void notify_all(rl::debug_info info = LISTPOOL_RL_CALLER) { FutexWake(true, info); }

  private:
    void FutexWait(std::uint32_t old, const rl::debug_info& info) {
        rl::context& c = rl::ctx();
        c.atomic_thread_fence_seq_cst();  // a point where other threads may run, too
        std::uint32_t now;
        {
            rl::preemption_disabler alone(c);
            now = word_.load(rl::mo_relaxed, info);
        }
        if (now == old) {
            Note(c, info, "futex wait: sleeps");
            sleepers_.park_current(c, false, false, false, info);
        }
    }
    void FutexWake(bool all, const rl::debug_info& info) {
        rl::context& c = rl::ctx();
        c.atomic_thread_fence_seq_cst();
        const bool woken = all ? sleepers_.unpark_all(c, info) != 0 : sleepers_.unpark_one(c, info);
        Note(c, info, woken ? "futex wake: wakes" : "futex wake: nobody sleeps");
    }
    // A line in the history of a failure, which relacy collects only when it
    // runs the failing iteration again.
    static void Note(rl::context& c, const rl::debug_info& info, const char* what) {
        if (c.collecting_history()) {
            c.exec_log_msg(info, what);
        }
    }

    rl::atomic<unsigned> word_;
    rl::waitset<kMostThreads> sleepers_;
};

// A contended Lock's spinning: one look at the mutex before the sleeps, and
// each hint a yield to relacy's scheduler, which then lets the other threads
// run. The algorithm is the same for any number of looks; each look more
// multiplies the interleavings to search.
struct RlSpinning {
    static constexpr std::uint32_t kLongestBackOff = 1;
    static void SpinHint(rl::debug_info info = LISTPOOL_RL_CALLER) { rl::yield(1, info); }
};

// A one-line fault in a word operation, put in by a word that forwards to
// an RlWord: the positive controls of the checks that a weakened memory
// order cannot break.
enum class WordFault {
    // An exchange to 0, which only Unlock makes, done as a look and then a
    // store.
    kFreeInTwoSteps,
    // notify_all wakes one sleeper only.
    kNotifyAllWakesOne,
    // A store of 0, which only ResetEvent makes, writes nothing.
    kResetWritesNothing,
};

template <WordFault kFault>
class FaultyWord {
  public:
    explicit FaultyWord(RlWord& word) : word_(word) {}

    std::uint32_t load(std::memory_order order, rl::debug_info info = LISTPOOL_RL_CALLER) const {
        return word_.load(order, info);
    }
    void store(std::uint32_t value, std::memory_order order,
               rl::debug_info info = LISTPOOL_RL_CALLER) {
        if (kFault == WordFault::kResetWritesNothing && value == 0) {
            return;
        }
        word_.store(value, order, info);
    }
    std::uint32_t exchange(std::uint32_t value, std::memory_order order,
                           rl::debug_info info = LISTPOOL_RL_CALLER) {
        if (kFault == WordFault::kFreeInTwoSteps && value == 0) {
            const std::uint32_t old = word_.load(std::memory_order_relaxed, info);
            word_.store(value, order, info);
            return old;
        }
        return word_.exchange(value, order, info);
    }
    bool compare_exchange_strong(std::uint32_t& expected, std::uint32_t desired,
                                 std::memory_order order,
                                 rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.compare_exchange_strong(expected, desired, order, info);
    }
    std::uint32_t fetch_add(std::uint32_t value, std::memory_order order,
                            rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.fetch_add(value, order, info);
    }
    std::uint32_t fetch_sub(std::uint32_t value, std::memory_order order,
                            rl::debug_info info = LISTPOOL_RL_CALLER) {
        return word_.fetch_sub(value, order, info);
    }
    void wait(std::uint32_t old, std::memory_order order,
              rl::debug_info info = LISTPOOL_RL_CALLER) {
        word_.wait(old, order, info);
    }
    void notify_one(rl::debug_info info = LISTPOOL_RL_CALLER) { word_.notify_one(info); }
    void notify_all(rl::debug_info info = LISTPOOL_RL_CALLER) {
        if (kFault == WordFault::kNotifyAllWakesOne) {
            word_.notify_one(info);
        } else {
            word_.notify_all(info);
        }
    }

  private:
    RlWord& word_;
};

}  // namespace listpool::rlcheck
