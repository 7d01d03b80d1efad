#include "sim/runs/stream_locks.h"

namespace listpool::sim {

void StreamLocks::OnDone(const Notice& notice) {
    if (notice.op == Op::kLock && !notice.stream.empty()) {
        holding_[notice.thread] = notice.object;
    } else if (notice.op == Op::kUnlock && !notice.stream.empty()) {
        holding_.erase(notice.thread);
    } else if (notice.op == Op::kWrite) {
        if (const auto held = holding_.find(notice.thread); held != holding_.end()) {
            files_.try_emplace(held->second, notice.file);
        }
    }
}

const std::string* StreamLocks::FileOf(const void* mutex) const {
    const auto found = files_.find(mutex);
    return found == files_.end() ? nullptr : &found->second;
}

}  // namespace listpool::sim
