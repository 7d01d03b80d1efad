// The control: each access of the program, inside the sections it needs and
// with the pool's guard taken first. The analysis must accept it, so that the
// rejections beside it come from the faults they name and not from the
// headers.
#include "store/tmy_list.h"

namespace listpool {

void Print(TmyList& list, OutStream& log) {
    list.guard.BeginRead();
    log << "Printing TmyList after: " << list.opsCount << " Ops performed" << endl;
    for (std::int32_t p = list.head; p != kNone; p = list.Next(p)) {
        log << "Link(" << p << ") Has Key(" << list.Key(p) << ")" << endl;
    }
    list.guard.EndRead();
}

void Collect(TmyList& list, RecordPool& pool) {
    pool.guard.BeginWrite();
    list.guard.BeginRead();
    pool.Collect(list.head);
    list.guard.EndRead();
    pool.guard.EndWrite();
}

void InsertAndDelete(TmyList& list, std::int32_t key, OutStream& out) {
    list.pool->guard.BeginWrite();
    list.guard.BeginWrite();
    list.Insert(key, out);
    list.Delete(key);
    list.guard.EndWrite();
    list.pool->guard.EndWrite();
}

void Dump(RecordPool& pool, OutStream& out) {
    pool.guard.BeginRead();
    pool.Dump(out);
    pool.guard.EndRead();
}

}  // namespace listpool
