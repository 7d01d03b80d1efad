#include "console/program.h"
#include "platform/io.h"

int main() {
    using namespace listpool;
    InstallAbnormalTermination();
    RunProgram(BuildProgram());
}
