// The guard, narrated, for the guard's explorer pages (guard_pages.cpp):
// it tells which of its sequences each thread is in, and how many times it
// began to write, and makes no call of its own, so the scene's runs and
// states are the guard's; and each thread's last call, watched.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/sim.h"
#include "platform/thread_annotations.h"
#include "sim/explore/guard_md.h"

namespace listpool::sim {

template <typename Guard>
struct Narrated : Guard {
    Narrated() { last = this; }
    void BeginRead() NO_THREAD_SAFETY_ANALYSIS {
        Around(kReaderArrives, &Guard::BeginRead, kReading);
    }
    void EndRead() NO_THREAD_SAFETY_ANALYSIS { Around(kReaderLeaves, &Guard::EndRead, kOut); }
    void BeginWrite() NO_THREAD_SAFETY_ANALYSIS {
        Around(kWriterArrives, &Guard::BeginWrite, kWriting);
    }
    void EndWrite() NO_THREAD_SAFETY_ANALYSIS { Around(kWriterLeaves, &Guard::EndWrite, kOut); }
    void Around(Sequence during, void (Guard::*sequence)(), Sequence after) {
        in[CurrentThread()] = during;
        ++entered[CurrentThread()];
        if (during == kWriterArrives) {
            ++rounds[CurrentThread()];
        }
        (this->*sequence)();
        in[CurrentThread()] = after;
    }
    std::int32_t Count() const NO_THREAD_SAFETY_ANALYSIS { return this->readerCount; }

    // Filled inside runs, whose memory is given back at their end: never
    // destroyed, so that nothing reads it at the process's exit.
    static inline Narrated* last = nullptr;
    static inline std::map<int, Sequence>& in = *new std::map<int, Sequence>;
    // How many times each thread has begun to write, counting this one,
    // and has begun any of the sequences.
    static inline std::map<int, int>& rounds = *new std::map<int, int>;
    static inline std::map<int, int>& entered = *new std::map<int, int>;
};

// Each thread's last call that took effect, as the page names calls: with
// its round, a thread's place in the scene's state.
class LastCalls final : public Observer {
  public:
    // Names the guard's objects as the page does.
    std::function<std::string(const void*)> name;
    // How many of the guard's sequences a thread has begun.
    std::function<int(int)> sequences;
    void OnNotice(const Notice& notice) override {
        if (notice.phase != Notice::kDone || notice.object == nullptr) {
            return;
        }
        const std::string object = name(notice.object);
        const char* const call = notice.op == Op::kLock || notice.op == Op::kEventLock ? "Lock()"
                                 : notice.op == Op::kUnlock                            ? "Unlock()"
                                 : notice.op == Op::kSet   ? "SetEvent()"
                                 : notice.op == Op::kReset ? "ResetEvent()"
                                                           : nullptr;
        if (call != nullptr && !object.empty()) {
            calls_[notice.thread] = {sequences(notice.thread), object + "->" + call};
        }
    }
    void Clear() { calls_.clear(); }
    // The thread's last call in the sequence it is in, or "": what it did
    // before, the state does not keep.
    std::string Of(int thread) const {
        const auto found = calls_.find(thread);
        return found == calls_.end() || found->second.first != sequences(thread)
                   ? ""
                   : found->second.second;
    }

  private:
    std::map<int, std::pair<int, std::string>> calls_;
};

}  // namespace listpool::sim
