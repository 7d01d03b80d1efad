// The fixed pool of five records that holds the list's nodes.
#pragma once

#include <array>
#include <cstdint>

#include "platform/thread_annotations.h"
#include "store/read_write_guard.h"
#include "streams/stream.h"

namespace listpool {

// Records are named by word offsets: record n starts at word 3 * n, so the
// offsets are 0, 3, 6, 9 and 12; -1 names no record.
inline constexpr std::int32_t kNone = -1;
inline constexpr std::int32_t kRecordCount = 5;
inline constexpr std::int32_t kWordsPerRecord = 3;

// Memory marks.
inline constexpr std::int32_t kInUse = -1;
inline constexpr std::int32_t kFree = -2;

// A record's words, in order: Key, Next (offset or -1), MM (memory mark),
// each at its place past the record's offset.
inline constexpr std::int32_t kKeyWord = 0;
inline constexpr std::int32_t kNextWord = 1;
inline constexpr std::int32_t kMarkWord = 2;

// Records are handed out by an allocation cursor and given back only by a
// mark-and-sweep collection from the list's head. Callers hold the guard;
// the operations take no lock themselves.
struct RecordPool {
    RecordPool();

    // Scans on from the cursor for a free record, marks it in use and yields
    // its offset, or -1 once the cursor has passed the last record.
    std::int32_t FindFree() REQUIRES(guard);
    // Marks every record free, then every record reachable from root (an
    // offset or -1) in use, and puts the cursor back to the first record.
    void Collect(std::int32_t root) REQUIRES(guard);
    // FindFree, and when that finds nothing, Collect(root) and FindFree again.
    // Yields an offset, or -1 when every record is reachable from root.
    std::int32_t Allocate(std::int32_t root) REQUIRES(guard);

    // Stores key in the record at offset and marks it in use. The caller
    // also holds the list's write section (see words).
    void SetKey(std::int32_t offset, std::int32_t key) REQUIRES(guard);
    // The same for Next.
    void SetNext(std::int32_t offset, std::int32_t next) REQUIRES(guard);

    // A record's words, read in the pool's read section; the list reads Key
    // and Next in its own (TmyList::Key and Next).
    std::int32_t Key(std::int32_t offset) const REQUIRES_SHARED(guard) {
        return words[offset + kKeyWord];
    }
    std::int32_t Next(std::int32_t offset) const REQUIRES_SHARED(guard) {
        return words[offset + kNextWord];
    }
    std::int32_t Mark(std::int32_t offset) const REQUIRES_SHARED(guard) {
        return words[offset + kMarkWord];
    }

    // Writes one line per record: offset, number, Key, Next and mark.
    void Dump(OutStream& out) const REQUIRES_SHARED(guard);

    ReadWriteGuard guard;
    // Number (0 to 5) of the record where the next free-record scan starts.
    std::int32_t cursor GUARDED_BY(guard) = 0;

  private:
    friend struct TmyList;

    void SetMark(std::int32_t offset, std::int32_t mark) REQUIRES(guard) {
        words[offset + kMarkWord] = mark;
    }
    using Words = std::array<std::int32_t, kRecordCount * kWordsPerRecord>;
    // Marks every record free: a new pool's, and at each collection.
    void MarkAllFree();

    // Marks belong to the pool's guard, as the cursor does. Key and Next are
    // the list's links: they change only inside both write sections, the
    // pool's and the list's, and are read inside either guard's read
    // section (the dump under the pool's, the print and find workers under
    // the list's). The analysis has no "either", and the pool does not know
    // which list's guard that is, so the array carries no GUARDED_BY: it is
    // reached only through the accessors above, each naming the pool's
    // guard, and through TmyList's Key and Next, which name the list's.
    // SetKey and SetNext require the pool's write section only; the list's
    // half is checked at their callers, TmyList::Insert and Delete, which
    // require both, and not at SetKey and SetNext themselves.
    //
    // Key and Next of a never-used record read as 0.
    Words words{};
};

}  // namespace listpool
