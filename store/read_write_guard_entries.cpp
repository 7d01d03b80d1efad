// The guard's entries, in a file of their own so that the simulator can
// link its own in their place (sim/guards/session_guard.cpp), which may run
// a learner's guard text instead of the sequences.
#include "store/read_write_guard.h"

namespace listpool {

void ReadWriteGuard::BeginRead() {
    ReaderArrives();
}

void ReadWriteGuard::EndRead() {
    ReaderLeaves();
}

void ReadWriteGuard::BeginWrite() {
    WriterArrives();
}

void ReadWriteGuard::EndWrite() {
    WriterLeaves();
}

}  // namespace listpool
