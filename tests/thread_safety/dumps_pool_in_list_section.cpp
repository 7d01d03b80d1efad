// A dump of the pool inside the list's read section only: the marks and the
// cursor belong to the pool's guard, which a collection may be writing.
// expect-error: calling function 'Dump' requires holding guard 'list.pool->guard'
#include "store/tmy_list.h"

namespace listpool {

void Dump(TmyList& list, OutStream& out) {
    list.guard.BeginRead();
    list.pool->Dump(out);
    list.guard.EndRead();
}

}  // namespace listpool
