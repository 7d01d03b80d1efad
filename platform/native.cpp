// Process exit and the abnormal end, the same for every native back end.
#include <cstdlib>
#include <exception>

#include "platform/io.h"
#include "platform/native.h"

namespace listpool {

void ExitProcess(int status) {
    std::_Exit(status);
}

void InstallAbnormalTermination() {
    std::set_terminate([] {
        WriteAll(kStdErr, native::kAbnormalEnd.data(), native::kAbnormalEnd.size());
        std::_Exit(3);
    });
}

}  // namespace listpool
