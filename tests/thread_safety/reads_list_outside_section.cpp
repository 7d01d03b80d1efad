// A print that walks the list without entering the list's read section.
// expect-error: reading variable 'opsCount' requires holding guard 'list.guard'
// expect-error: reading variable 'head' requires holding guard 'list.guard'
// expect-error: calling function 'Key' requires holding guard 'list.guard'
// expect-error: calling function 'Next' requires holding guard 'list.guard'
#include "store/tmy_list.h"

namespace listpool {

void Print(TmyList& list, OutStream& log) {
    log << "Printing TmyList after: " << list.opsCount << " Ops performed" << endl;
    for (std::int32_t p = list.head; p != kNone; p = list.Next(p)) {
        log << "Link(" << p << ") Has Key(" << list.Key(p) << ")" << endl;
    }
}

}  // namespace listpool
