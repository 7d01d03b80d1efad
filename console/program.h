// The whole program: the shared objects, the three workers and the console,
// built and wired in one place.
#pragma once

#include "console/console.h"
#include "console/input.h"
#include "store/record_pool.h"
#include "store/tmy_list.h"
#include "streams/stream.h"
#include "workers/workers.h"

namespace listpool {

// Built in the order the objects depend on each other: the pool, the list
// over it, the workers over both, then the console that drives them all.
// Nothing is ever destroyed: background threads may use any of it until the
// process ends.
struct Program {
    // Worker periods, in seconds.
    static constexpr std::int32_t kPrintSeconds = 5;
    static constexpr std::int32_t kFindSeconds = 1;
    static constexpr std::int32_t kGarbageSeconds = 2;

    Program(InputScanner& in, OutStream& out);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    RecordPool pool;
    TmyList list;
    PrintThread print;
    FindThread find;
    GarbageThread garbage;
    Console console;
};

// The main routine's first half: makes the program on the heap, reading
// standard input and writing standard output.
Program& BuildProgram();

// The main routine's second half: runs the console until q or the end of
// input, waits in both guards for every worker inside them, flushes standard
// output and ends the process with status 0.
[[noreturn]] void RunProgram(Program& program);

}  // namespace listpool
