// A collection that enters the list's read section before the pool's write
// section: with the console taking the pool first, the two can deadlock.
// expect-error: mutex 'guard' must be acquired before 'guard'
#include "store/tmy_list.h"

namespace listpool {

void Collect(TmyList& list, RecordPool& pool) {
    list.guard.BeginRead();
    pool.guard.BeginWrite();
    pool.Collect(list.head);
    pool.guard.EndWrite();
    list.guard.EndRead();
}

}  // namespace listpool
