// The command console: the prompt, the command loop and the list and pool
// commands, over the shared objects it is given.
#pragma once

#include <cstdint>

#include "console/input.h"
#include "platform/thread_annotations.h"
#include "store/record_pool.h"
#include "store/tmy_list.h"
#include "streams/stream.h"
#include "workers/workers.h"

namespace listpool {

// The three background workers the p, F and g commands start.
struct Workers {
    PrintThread& print;
    FindThread& find;
    GarbageThread& garbage;
};

// Reads commands from `in` and writes to `out`; works on the list and the
// pool it lives in inside their guards and hands p, F and g to the workers.
// The pool is reached through the list only, so that the thread-safety
// analysis sees the guard the console takes as the one the list's
// operations require (it cannot tell that two references name one pool).
class Console {
  public:
    Console(InputScanner& in, OutStream& out, TmyList& list, Workers workers);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Prompts for and runs commands until q, a failed integer read or the
    // end of input, each followed by the console's pause.
    void Run();

    // Enters both write sections, which waits for every worker inside them,
    // and keeps them for good.
    void TakeForExit() ACQUIRE(list_.pool->guard, list_.guard);

  private:
    void Insert();
    void Delete();
    void DumpPool();
    void Find();

    InputScanner& in_;
    OutStream& out_;
    TmyList& list_;
    Workers workers_;
    // The one number the i, d and F commands read into.
    std::int32_t number_ = 0;
};

}  // namespace listpool
