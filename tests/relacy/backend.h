// The memory model check's back end of the platform layer: CMutex and CEvent
// (platform/sync.h) on RlWords, through the futex_sync.h algorithms that one
// variant instantiated. The checks use the objects as the program does, and
// the guard's own source (store/read_write_guard.cpp) runs on them unchanged.
#pragma once

#include <type_traits>

#include "tests/relacy/word.h"

namespace listpool::rlcheck {

// The words behind one CMutex or CEvent handle.
struct MutexWords {
    RlWord state{0};
};
struct EventWords {
    RlWord signalled{1};
    RlWord waiters{0};
};

// What CMutex and CEvent run: one instantiation of the algorithms.
struct Primitives {
    void (*mutex_lock)(MutexWords&);
    void (*mutex_unlock)(MutexWords&);
    void (*event_lock)(EventWords&);
    void (*event_set)(EventWords&);
    void (*event_reset)(EventWords&);
};

// The word an algorithm instantiated on Word works on: the RlWord itself, or
// a FaultyWord in front of it.
template <class Word>
decltype(auto) WordOf(RlWord& word) {
    if constexpr (std::is_same_v<Word, RlWord>) {
        return (word);
    } else {
        return Word(word);
    }
}

// The algorithms with the given orders, on RlWords as they are (Word is
// RlWord) or through one FaultyWord.
template <futex::MutexOrders kMutex, futex::EventOrders kEvent, class Word = RlWord>
constexpr Primitives MakePrimitives() {
    using Mutex = futex::Mutex<Word, RlSpinning, kMutex>;
    using Event = futex::Event<Word, kEvent>;
    return Primitives{
        [](MutexWords& m) {
            auto&& state = WordOf<Word>(m.state);
            Mutex::Lock(state);
        },
        [](MutexWords& m) {
            auto&& state = WordOf<Word>(m.state);
            Mutex::Unlock(state);
        },
        [](EventWords& e) {
            auto&& signalled = WordOf<Word>(e.signalled);
            auto&& waiters = WordOf<Word>(e.waiters);
            Event::Lock(signalled, waiters);
        },
        [](EventWords& e) {
            auto&& signalled = WordOf<Word>(e.signalled);
            auto&& waiters = WordOf<Word>(e.waiters);
            Event::Set(signalled, waiters);
        },
        [](EventWords& e) {
            auto&& signalled = WordOf<Word>(e.signalled);
            Event::Reset(signalled);
        },
    };
}

// Makes the CMutex and CEvent objects built from now on run these.
void UsePrimitives(const Primitives& primitives);

// Starts an iteration of a check: the words of the objects built from now
// on take the places of the last iteration's, whose state relacy reclaimed
// when that iteration ended. A check calls it before it builds its objects.
void BeginIteration();

// Calls BeginIteration when built: the first member of a check, built before
// the objects that follow it.
struct IterationStart {
    IterationStart() { BeginIteration(); }
};

}  // namespace listpool::rlcheck
