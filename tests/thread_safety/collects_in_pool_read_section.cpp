// A collection that enters the pool as a reader: it rewrites every mark and
// the cursor while a dump may be reading them.
// expect-error: calling function 'Collect' requires holding guard 'pool.guard' exclusively
#include "store/tmy_list.h"

namespace listpool {

void Collect(TmyList& list, RecordPool& pool) {
    pool.guard.BeginRead();
    list.guard.BeginRead();
    pool.Collect(list.head);
    list.guard.EndRead();
    pool.guard.EndRead();
}

}  // namespace listpool
