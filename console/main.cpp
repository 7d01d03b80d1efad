#include "console/console.h"
#include "console/input.h"
#include "platform/io.h"
#include "platform/stream.h"

int main() {
    using namespace listpool;
    InstallAbnormalTermination();
    // Everything is made on the heap and never destroyed: worker threads may
    // still be running when the process ends.
    auto* source = new FdSource(kStdIn);
    auto* in = new InputScanner(*source, &StdOut());
    auto* console = new Console(*in, StdOut());
    console->Run();
    console->TakeForExit();
    StdOut().Flush();
    ExitProcess(0);
}
