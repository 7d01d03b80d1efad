// An insert inside both guards, but as a reader of each: Key, Next, the head
// and the marks would change under the print, the find and the dump.
// expect-error: calling function 'Insert' requires holding guard 'list.pool->guard' exclusively
// expect-error: calling function 'Insert' requires holding guard 'list.guard' exclusively
#include "store/tmy_list.h"

namespace listpool {

void Insert(TmyList& list, std::int32_t key, OutStream& out) {
    list.pool->guard.BeginRead();
    list.guard.BeginRead();
    list.Insert(key, out);
    list.guard.EndRead();
    list.pool->guard.EndRead();
}

}  // namespace listpool
