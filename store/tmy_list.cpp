#include "store/tmy_list.h"

namespace listpool {
namespace {

// The count wraps, as a 32-bit counter does, instead of overflowing.
std::int32_t Incremented(std::int32_t count) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(count) + 1U);
}

}  // namespace

void TmyList::Insert(std::int32_t key, OutStream& out) {
    opsCount = Incremented(opsCount);
    const std::int32_t offset = pool->Allocate(head);
    if (offset == kNone) {
        // One insertion: a bulk insert writes this line for every key.
        out << (Line() << "**** WARNING ****: Out of memory: List insertion of " << key
                       << " failed!!");
        return;
    }
    pool->SetKey(offset, key);
    pool->SetNext(offset, head);
    head = offset;
}

bool TmyList::Delete(std::int32_t key) {
    opsCount = Incremented(opsCount);
    std::int32_t previous = head;
    for (std::int32_t current = head; current != kNone; current = pool->Next(current)) {
        if (pool->Key(current) == key) {
            if (current == head) {
                head = pool->Next(current);
            } else {
                pool->SetNext(previous, pool->Next(current));
            }
            return true;
        }
        previous = current;
    }
    return false;
}

}  // namespace listpool
