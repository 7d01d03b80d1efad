// The singly linked list of integers whose nodes live in a RecordPool.
#pragma once

#include <cstdint>

#include "platform/thread_annotations.h"
#include "store/read_write_guard.h"
#include "store/record_pool.h"
#include "streams/stream.h"

namespace listpool {

// Callers write both guards, the pool's first, around Insert and Delete.
struct TmyList {
    explicit TmyList(RecordPool& pool) : pool(&pool) {}
    TmyList(const TmyList&) = delete;
    TmyList& operator=(const TmyList&) = delete;

    // Inserts key at the front. When the pool has no record to spare, writes
    // the out-of-memory warning to out and leaves the list as it was.
    void Insert(std::int32_t key, OutStream& out) REQUIRES(pool->guard, guard);
    // Unlinks the first record from head holding key, without freeing it.
    // Yields whether one was found.
    bool Delete(std::int32_t key) REQUIRES(pool->guard, guard);

    // Key and Next of the record at offset p, read in the list's read
    // section; the pool's own accessors need the pool's instead.
    std::int32_t Key(std::int32_t p) const REQUIRES_SHARED(guard) {
        return pool->words[p + kKeyWord];
    }
    std::int32_t Next(std::int32_t p) const REQUIRES_SHARED(guard) {
        return pool->words[p + kNextWord];
    }

    // Taken after the pool's guard whenever a thread holds both.
    ReadWriteGuard guard ACQUIRED_AFTER(pool->guard);
    // Where the nodes live; not owned.
    RecordPool* const pool;
    // Offset of the first record, or -1 when the list is empty.
    std::int32_t head GUARDED_BY(guard) = kNone;
    // Insert and Delete calls so far, successful or not.
    std::int32_t opsCount GUARDED_BY(guard) = 0;
};

}  // namespace listpool
