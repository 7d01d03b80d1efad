#include "sim/runs/stream_locks.h"

namespace listpool::sim {

void StreamLocks::OnDone(const Notice& notice) {
    if (notice.op == Op::kLock) {
        lastTaken_[notice.thread] = notice.object;
    } else if (notice.op == Op::kUnlock) {
        const auto taken = lastTaken_.find(notice.thread);
        if (taken != lastTaken_.end() && taken->second == notice.object) {
            lastTaken_.erase(taken);
        }
    } else if (notice.op == Op::kWrite) {
        if (const auto taken = lastTaken_.find(notice.thread); taken != lastTaken_.end()) {
            files_.try_emplace(taken->second, notice.file);
        }
    }
}

const std::string* StreamLocks::FileOf(const void* mutex) const {
    const auto found = files_.find(mutex);
    return found == files_.end() ? nullptr : &found->second;
}

}  // namespace listpool::sim
