// The word-level algorithms of the POSIX back end's mutex and manual-reset
// event: what CMutex and CEvent do to their futex words, written once over
// any word with std::atomic's members (load, store, exchange,
// compare_exchange_strong, fetch_add, fetch_sub, wait, notify_one,
// notify_all). posix.cpp runs them on std::atomic<std::uint32_t>; the memory
// model check (tests/relacy) runs the same text on relacy's atomics, with
// every memory order below taken from a struct it can weaken one field at a
// time. docs/MEMORY-ORDERS.md says why each order is what it is.
//
// Env supplies the spinning: Env::SpinHint(), called while a contended Lock
// waits between two looks at the mutex, and Env::kLongestBackOff, the longest
// pause in hints between two looks.
#pragma once

#include <atomic>
#include <cstdint>

namespace listpool::futex {

// The orders of the mutex's operations, in the order they come in the code.
struct MutexOrders {
    // Lock's first try, 0 to 1: taking the mutex acquires the last owner's
    // section.
    std::memory_order take_at_once = std::memory_order_acquire;
    // The spinning look for 0: only says when to try again.
    std::memory_order look = std::memory_order_relaxed;
    // The try after a look that saw 0, 0 to 1: acquires, as the first try.
    std::memory_order take_after_look = std::memory_order_acquire;
    // The exchange to 2 before each sleep: it takes the mutex when it finds
    // 0, so it acquires too.
    std::memory_order mark = std::memory_order_acquire;
    // The sleep while the word is 2: the exchange after it is what takes the
    // mutex, so the wait only needs to see the word change.
    std::memory_order sleep = std::memory_order_relaxed;
    // Unlock's exchange to 0: releases the section to the next owner.
    std::memory_order give_back = std::memory_order_release;
};

// The orders of the event's operations. Lock's count_in and second_look and
// SetEvent's signal and look_for_waiters are the one place that needs
// sequential consistency: each side writes one word and then reads the
// other's, and one of the two must see the other's write, or SetEvent skips
// the wake-up of a Lock that goes to sleep.
struct EventOrders {
    // Lock's first look: a 1 read here lets the caller through, so it
    // acquires what was written before the SetEvent that stored it. A 0 only
    // sends Lock the slow way, which looks again after counting itself.
    std::memory_order first_look = std::memory_order_acquire;
    // Counting the waiter in, before the look that decides to sleep.
    std::memory_order count_in = std::memory_order_seq_cst;
    // The look after counting in: its 0 puts the caller to sleep.
    std::memory_order second_look = std::memory_order_seq_cst;
    // The sleep while the flag is 0: second_look, which the loop comes back
    // to after every wake-up, is the look that counts, so this one only
    // needs to see the flag change.
    std::memory_order sleep = std::memory_order_relaxed;
    // Counting the waiter out. Nothing is read through the count but itself,
    // and a read-modify-write always sees the newest count; a SetEvent that
    // reads the count before a decrement only makes a needless wake-up call.
    std::memory_order count_out = std::memory_order_relaxed;
    // SetEvent's store of 1: releases what came before to the threads it
    // lets through, and is ordered before the look for waiters.
    std::memory_order signal = std::memory_order_seq_cst;
    // SetEvent's look for waiters, after the store.
    std::memory_order look_for_waiters = std::memory_order_seq_cst;
    // ResetEvent's look: a 0 skips the store. A ResetEvent that comes after
    // a SetEvent sees its 1 whatever the order (coherence), and one that
    // comes at the same time may be taken as the earlier of the two.
    std::memory_order reset_look = std::memory_order_relaxed;
    // ResetEvent's store of 0: nobody takes anything through a 0 (a Lock
    // that reads it sleeps, and passes later only on a 1 from SetEvent), so
    // the store orders nothing.
    std::memory_order reset = std::memory_order_relaxed;
};

// The mutex's word: 0 free, 1 taken, 2 taken and perhaps waited for. A free
// mutex is taken and given back with one read-modify-write each; only a
// mutex that somebody waits for makes its Unlock wake a waiter.
template <class Word, class Env, MutexOrders kOrders = MutexOrders{}>
struct Mutex {
    static void Lock(Word& state) {
        std::uint32_t expected = 0;
        if (state.compare_exchange_strong(expected, 1, kOrders.take_at_once)) {
            return;
        }
        // Taken. Most sections under a CMutex are a few instructions long,
        // so back off before sleeping, looking at the mutex less and less
        // often: between looks the owner keeps the cache lines of its
        // section and runs on, often through its next sections too, and
        // needs no wake-up call for us. Two threads that both want the mutex
        // all the time otherwise hand the lines, or a system call, to each
        // other on almost every section.
        for (std::uint32_t hints = 1; hints <= Env::kLongestBackOff; hints *= 2) {
            for (std::uint32_t i = 0; i < hints; ++i) {
                Env::SpinHint();
            }
            if (state.load(kOrders.look) == 0) {
                expected = 0;
                if (state.compare_exchange_strong(expected, 1, kOrders.take_after_look)) {
                    return;
                }
            }
        }
        // Still taken: mark it waited for before each sleep, so that the
        // owner's Unlock wakes us. A thread that gets it this way keeps the
        // mark, which at worst costs one needless wake-up call later.
        while (state.exchange(2, kOrders.mark) != 0) {
            state.wait(2, kOrders.sleep);
        }
    }

    // One exchange both frees the word and says whether it was marked: a
    // look first and a store after would miss a mark made between them,
    // and with it the wake-up.
    static void Unlock(Word& state) {
        if (state.exchange(0, kOrders.give_back) == 2) {
            state.notify_one();
        }
    }
};

// The event's words: signalled (1 set, 0 reset), and the number of waiters,
// counted so that SetEvent makes a wake-up call only when somebody sleeps.
template <class Word, EventOrders kOrders = EventOrders{}>
struct Event {
    static void Lock(Word& signalled, Word& waiters) {
        if (signalled.load(kOrders.first_look) != 0) {
            return;
        }
        // Counting ourselves before the second look pairs with SetEvent's
        // store before its look at the count: one of the two always sees
        // the other.
        waiters.fetch_add(1, kOrders.count_in);
        while (signalled.load(kOrders.second_look) == 0) {
            signalled.wait(0, kOrders.sleep);
        }
        waiters.fetch_sub(1, kOrders.count_out);
    }

    static void Set(Word& signalled, Word& waiters) {
        signalled.store(1, kOrders.signal);
        if (waiters.load(kOrders.look_for_waiters) != 0) {
            signalled.notify_all();
        }
    }

    // Resetting a reset event changes nothing, so skip the write and keep
    // the cache line shared among the readers that reset it on every entry.
    static void Reset(Word& signalled) {
        if (signalled.load(kOrders.reset_look) != 0) {
            signalled.store(0, kOrders.reset);
        }
    }
};

}  // namespace listpool::futex
