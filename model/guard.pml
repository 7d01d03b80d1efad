/*
 * ReadWriteGuard (store/read_write_guard.cpp) over the synchronisation
 * objects of the platform layer, with NR readers and NW writers.
 * README.md beside this file maps every step to its C++ line.
 *
 * Switches (spin -DNAME=VALUE):
 *   WINDOW_FIX    1: the writer re-checks readerCount once it holds countMutex
 *                    and waits again if a reader slipped in (as built).
 *                 0: it takes countMutex and enters at once.
 *   REGATE        1: the writer resets gateEvent again once it holds
 *                    writerMutex (as built). 0: only before.
 *   READ_ROUNDS   rounds of each reader; 0: readers come back for ever.
 *   WRITE_ROUNDS  rounds of each writer; 0: writers come back for ever.
 *   KERNEL_EVENTS 0: events as platform/futex_sync.h builds them: a waiter
 *                    passes only when it sees the flag set, a reset is a
 *                    look and then a store. 1: kernel events, as
 *                    platform/win32.cpp has them: SetEvent releases every
 *                    thread waiting at that moment, a reset is one step.
 *   PROPERTY      which ltl formula to build (none: safety only).
 */

#ifndef WINDOW_FIX
#define WINDOW_FIX 1
#endif
#ifndef REGATE
#define REGATE 1
#endif
#ifndef READ_ROUNDS
#define READ_ROUNDS 1
#endif
#ifndef WRITE_ROUNDS
#define WRITE_ROUNDS 1
#endif
#ifndef KERNEL_EVENTS
#define KERNEL_EVENTS 0
#endif

#define NR 2
#define NW 2

/* A mutex holds its owner's _pid + 1, or 0 when free. */
byte countMutex = 0;
byte writerMutex = 0;

/* Events; both are created signalled. */
#define NO_READERS 0
#define GATE 1
bool signalled[2] = 1;
#if KERNEL_EVENTS
/* One bit per process blocked on the event; SetEvent clears them all. */
byte waiters[2] = 0;
#endif

byte readerCount = 0;

/* Observers only: who is inside, which readers wait at the gate, which
 * writers have begun BeginWrite and not got in yet, and how many processes
 * have run to their end. */
byte readersIn = 0;
byte writersIn = 0;
bool readerAtGate[NR] = 0;
bool writerWaiting[NW] = 0;
byte finished = 0;

/* Taking a mutex one already holds is a fault (not recursive). */
inline mutex_lock(m) {
    atomic { (m == 0 || m == _pid + 1) -> assert(m == 0); m = _pid + 1 }
}

/* Only the owner releases. */
inline mutex_unlock(m) {
    atomic { assert(m == _pid + 1); m = 0 }
}

inline event_lock(e) {
#if KERNEL_EVENTS
    atomic {
        if
        :: signalled[e]
        :: else ->
            waiters[e] = waiters[e] | (1 << _pid);
            (waiters[e] & (1 << _pid)) == 0
        fi
    }
#else
    signalled[e]
#endif
}

inline event_set(e) {
#if KERNEL_EVENTS
    atomic { signalled[e] = 1; waiters[e] = 0 }
#else
    signalled[e] = 1
#endif
}

inline event_reset(e) {
#if KERNEL_EVENTS
    signalled[e] = 0
#else
    /* futex_sync.h: store only when the look finds the event signalled. */
    if
    :: signalled[e] -> signalled[e] = 0
    :: else
    fi
#endif
}

active [NR] proctype Reader() {
    byte me = _pid;
#if READ_ROUNDS
    byte round = 0;
#endif
    do
#if READ_ROUNDS
    :: round == READ_ROUNDS -> break
    :: atomic { round < READ_ROUNDS -> round++; readerAtGate[me] = 1 }
#else
    :: readerAtGate[me] = 1
#endif
        /* BeginRead */
        event_lock(GATE);
        readerAtGate[me] = 0;
        mutex_lock(countMutex);
        readerCount++;
        event_reset(NO_READERS);
        mutex_unlock(countMutex);

        atomic { readersIn++; assert(writersIn == 0) }
        readersIn--;

        /* EndRead */
        mutex_lock(countMutex);
        readerCount--;
        if
        :: readerCount == 0 -> event_set(NO_READERS)
        :: else
        fi;
        mutex_unlock(countMutex)
    od;
    finished++
}

active [NW] proctype Writer() {
    byte me = _pid - NR;
#if WRITE_ROUNDS
    byte round = 0;
#endif
    do
#if WRITE_ROUNDS
    :: round == WRITE_ROUNDS -> break
    :: atomic { round < WRITE_ROUNDS -> round++; writerWaiting[me] = 1 }
#else
    :: writerWaiting[me] = 1
#endif
        /* BeginWrite */
        event_reset(GATE);
        mutex_lock(writerMutex);
#if REGATE
        event_reset(GATE);
#endif
#if WINDOW_FIX
        do
        :: event_lock(NO_READERS);
            mutex_lock(countMutex);
            if
            :: readerCount == 0 -> break
            :: else -> mutex_unlock(countMutex)
            fi
        od;
#else
        event_lock(NO_READERS);
        mutex_lock(countMutex);
#endif

        atomic {
            writerWaiting[me] = 0;
            writersIn++;
            assert(writersIn == 1 && readersIn == 0)
        }
        writersIn--;

        /* EndWrite */
        mutex_unlock(countMutex);
        event_set(GATE);
        mutex_unlock(writerMutex)
    od;
    finished++
}

#if PROPERTY == 1
/* Every process runs to its end (finite rounds only). */
ltl finish { <> (finished == NR + NW) }
#elif PROPERTY == 2
/* A writer that has begun BeginWrite gets in. */
ltl writers_enter { [] ((writerWaiting[0] -> <> !writerWaiting[0]) &&
                        (writerWaiting[1] -> <> !writerWaiting[1])) }
#elif PROPERTY == 3
/* A reader waiting at the gate gets past it. Holds once the writes stop.
 * With posix events a steady stream of writers can keep the gate closed
 * for a reader for good: the price of preferring writers, not a fault. */
ltl readers_pass_gate { [] ((readerAtGate[0] -> <> !readerAtGate[0]) &&
                            (readerAtGate[1] -> <> !readerAtGate[1])) }
#endif
