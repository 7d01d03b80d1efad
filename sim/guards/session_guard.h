// A guard text in the program's guards' place: while one is in use, every
// ReadWriteGuard of a simulated run (the pool's and the list's) runs the
// text's four sequences instead of its compiled ones, on its own four
// objects and readerCount and on the text's further ones, so that a session
// shows what the text breaks in the program. The native builds link the
// compiled entries alone (store/read_write_guard_entries.cpp); the
// simulator links these, which run the compiled sequences while no text is
// in use.
#pragma once

#include "sim/guards/guard_code.h"

namespace listpool::sim::guards {

// While it lives, the program's guards run `code` (nullptr: the compiled
// guard). One at a time; made and dropped outside runs.
class TextInSessions {
  public:
    explicit TextInSessions(const GuardCode* code);
    ~TextInSessions();
    TextInSessions(const TextInSessions&) = delete;
    TextInSessions& operator=(const TextInSessions&) = delete;
};

// The text in use, or nullptr. What a session's scene asks of the guards
// that run it is in sim/runs/text_guards.h.
const GuardCode* TextInUse();

}  // namespace listpool::sim::guards

namespace listpool {
struct ReadWriteGuard;
}  // namespace listpool

namespace listpool::sim::guards {

// Inside a run: the line of the text in use at which the thread is stopped
// in `guard`, or 0 when it is not in one of its sequences there.
int TextGuardLine(const ReadWriteGuard& guard, int thread);

}  // namespace listpool::sim::guards
