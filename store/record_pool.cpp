#include "store/record_pool.h"

namespace listpool {

RecordPool::RecordPool() {
    MarkAllFree();
}

void RecordPool::MarkAllFree() {
    for (std::int32_t n = 0; n < kRecordCount; ++n) {
        words[static_cast<std::size_t>(n * kWordsPerRecord + kMarkWord)] = kFree;
    }
}

std::int32_t RecordPool::FindFree() {
    std::int32_t result = kNone;
    while (cursor < kRecordCount && result == kNone) {
        const std::int32_t offset = cursor * kWordsPerRecord;
        if (Mark(offset) == kFree) {
            SetMark(offset, kInUse);
            result = offset;
        }
        ++cursor;
    }
    return result;
}

void RecordPool::Collect(std::int32_t root) {
    MarkAllFree();
    for (std::int32_t offset = root; offset != kNone; offset = Next(offset)) {
        SetMark(offset, kInUse);
    }
    cursor = 0;
}

std::int32_t RecordPool::Allocate(std::int32_t root) {
    const std::int32_t offset = FindFree();
    if (offset != kNone) {
        return offset;
    }
    Collect(root);
    return FindFree();
}

void RecordPool::SetKey(std::int32_t offset, std::int32_t key) {
    words[offset + kKeyWord] = key;
    SetMark(offset, kInUse);
}

void RecordPool::SetNext(std::int32_t offset, std::int32_t next) {
    words[offset + kNextWord] = next;
}

void RecordPool::Dump(OutStream& out) const {
    out << (Line() << "Record Memory Pool Content: ");
    for (std::int32_t n = 0; n < kRecordCount; ++n) {
        const std::int32_t offset = n * kWordsPerRecord;
        out << (Line() << "Memory: [" << Padded{offset, 2} << "]: Record(" << Padded{n, 2}
                       << "): Key=" << Padded{Key(offset), 5}
                       << "  Next=" << Padded{Next(offset), 5}
                       << "  MM=" << (Mark(offset) == kInUse ? "InUse" : "Free"));
    }
}

}  // namespace listpool
