#include "console/program.h"

#include "platform/io.h"

namespace listpool {

Program::Program(InputScanner& in, OutStream& out)
    : list(pool),
      print("PrintThread", 0, kPrintSeconds, list),
      find("FindThread", 0, kFindSeconds, list),
      garbage("GarbageThread", 0, kGarbageSeconds, list, pool),
      console(in, out, list, {print, find, garbage}) {}

Program& BuildProgram() {
    auto* source = new FdSource(kStdIn);
    auto* in = new InputScanner(*source, &StdOut());
    return *new Program(*in, StdOut());
}

void RunProgram(Program& program) {
    program.console.Run();
    program.console.TakeForExit();
    StdOut().Flush();
    ExitProcess(0);
}

}  // namespace listpool
