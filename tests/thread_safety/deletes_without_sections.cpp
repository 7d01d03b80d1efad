// The console's delete with neither write section.
// expect-error: calling function 'Delete' requires holding guard 'list.pool->guard' exclusively
// expect-error: calling function 'Delete' requires holding guard 'list.guard' exclusively
#include "store/tmy_list.h"

namespace listpool {

bool Delete(TmyList& list, std::int32_t key) {
    return list.Delete(key);
}

}  // namespace listpool
