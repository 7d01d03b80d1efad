// Readers and writers on one guard, as a scene for the state search: the
// guard (the real one or a broken one) between threads that enter it a
// number of rounds each, or for ever.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/sim.h"
#include "platform/thread.h"
#include "sim/runs/guard_parts.h"
#include "sim/search/state_search.h"

namespace listpool::sim {

struct GuardCast {
    int readers = 2;
    int writers = 2;
    // Rounds each reader and each writer enters the guard; 0 for ever.
    int readRounds = 2;
    int writeRounds = 2;
    // A broken scene, for the checks that must catch it: its state leaves
    // out the rounds, which the threads go on from.
    bool forgetRounds = false;
    // Another: what it names for copies of its runs leaves out the threads,
    // whose memory it keeps from before the search.
    bool leaveThreadsOutOfCopies = false;
};

// A thread's name in a guard scene, by its id, as the choices name it:
// "main" (thread 0, which starts the others), "reader 1", "writer 3".
inline std::string GuardThreadName(const GuardCast& cast, int thread) {
    return thread == 0              ? "main"
           : thread <= cast.readers ? "reader " + std::to_string(thread)
                                    : "writer " + std::to_string(thread);
}

// A guard scene's labels: a writer that has arrived and is not inside yet,
// and a reader stopped at the gate; bit 0 and bit 16 are the first of each.
inline constexpr std::uint32_t kGuardWriterWaits = 1;
inline constexpr std::uint32_t kGuardReaderAtGate = 1u << 16;

// Thread 0 makes the guard and starts the readers (threads 1 to readers),
// then the writers. The scene says where each thread is: arrived (in
// BeginRead or BeginWrite), inside, or out; and checks in every state that
// no writer is inside beside a reader or another writer. Inside, a thread
// makes one call (a sleep of no time), so that the others can run while it
// is there.
//
// A thread's place is its phase, its round and the last call it made: in
// each of the guard's four sequences no two points are reached by the same
// last call and stopped at the same next one, and the sequences keep nothing
// in local variables, so that is all a thread carries. The writer's loop
// round noReadersEvent comes back to the same place, which is what lets a
// writer that is kept out for ever show as a cycle. A guard that runs a text
// (guard_code.h) marks each place itself, with the instruction a thread is
// stopped at; its counters and its first misuse are part of the state, and
// the misuse is what Check reports when no writer came in beside another.
template <typename Guard>
class GuardScene final : public SearchScene {
  public:
    static constexpr std::uint32_t kWriterWaits = kGuardWriterWaits;
    static constexpr std::uint32_t kReaderAtGate = kGuardReaderAtGate;

    // `make` makes the guard inside each run: by default `new Guard`.
    explicit GuardScene(GuardCast cast, std::function<Guard*()> make = {})
        : cast_(cast), make_(std::move(make)) {}

    static std::uint32_t AnyWriterWaits(const GuardCast& cast) {
        return ((1u << cast.writers) - 1) * kWriterWaits;
    }
    static std::uint32_t AnyReaderAtGate(const GuardCast& cast) {
        return ((1u << cast.readers) - 1) * kReaderAtGate;
    }

    Outcome Play(const Options& given) override {
        Options options = given;
        options.placeCalls = 1;
        options.unwindAbandoned = false;  // the threads' stacks own nothing
        options.ownMemory = true;
        failure_.clear();
        threads_.assign(static_cast<std::size_t>(1 + cast_.readers + cast_.writers), {});
        return Run(options, {}, [this] {
            // Never destroyed, as in the program.
            if constexpr (std::is_default_constructible_v<Guard>) {
                guard_ = make_ ? make_() : new Guard;
            } else {
                guard_ = make_();
            }
            for (std::size_t n = 1; n < threads_.size(); ++n) {
                threads_[n].scene = this;
                threads_[n].reader = static_cast<int>(n) <= cast_.readers;
                StartThread(Body, &threads_[n], threads_[n].reader ? "reader" : "writer");
            }
        });
    }

    std::uint64_t State() override {
        std::uint64_t state = 0;
        if constexpr (requires { guard_->MemoryHash(); }) {
            state = guard_->MemoryHash();
        } else {
            state = static_cast<std::uint64_t>(*ReaderCountOf(*guard_)) << 32;
        }
        for (const Thread& thread : threads_) {
            state = state * 1'000'003 + static_cast<std::uint64_t>(thread.phase) * 101 +
                    static_cast<std::uint64_t>(cast_.forgetRounds ? 0 : thread.round);
        }
        return state + failure_.size();
    }

    std::string Check() override {
        if constexpr (requires { guard_->problem(); }) {
            if (failure_.empty()) {
                return guard_->problem();
            }
        }
        return failure_;
    }

    std::optional<std::vector<Region>> RunState() override {
        if (cast_.leaveThreadsOutOfCopies) {
            threads_.resize(1 + static_cast<std::size_t>(cast_.readers + cast_.writers));
            MakeAnew(failure_);
            return std::vector<Region>{{&guard_, sizeof guard_}, {&failure_, sizeof failure_}};
        }
        MakeAnew(threads_);
        MakeAnew(failure_);
        return std::vector<Region>{
            {&guard_, sizeof guard_}, {&threads_, sizeof threads_}, {&failure_, sizeof failure_}};
    }

    std::uint32_t Labels() override {
        std::uint32_t labels = 0;
        for (int n = 1; n < static_cast<int>(threads_.size()); ++n) {
            const Thread& thread = threads_[static_cast<std::size_t>(n)];
            const void* object = nullptr;
            if (thread.reader && PendingOp(n, &object) == Op::kEventLock &&
                object == guard_->gateEvent) {
                labels |= kReaderAtGate << (n - 1);
            } else if (!thread.reader && thread.phase == Phase::kArrived) {
                labels |= kWriterWaits << (n - 1 - cast_.readers);
            }
        }
        return labels;
    }

    // For a page that shows the scene's states, read inside a run: the
    // guard, and whether thread n is inside it.
    Guard* guard() const { return guard_; }
    bool IsInside(int n) const {
        return threads_.at(static_cast<std::size_t>(n)).phase == Phase::kInside;
    }

  private:
    enum class Phase { kOut, kArrived, kInside };

    struct Thread {
        GuardScene* scene = nullptr;
        bool reader = false;
        Phase phase = Phase::kOut;
        int round = 0;  // counted only while rounds are
    };

    // Everything a thread carries between its calls is in its Thread, so
    // each change of it marks the thread's place afresh.
    static void Move(Thread& self, Phase phase) {
        self.phase = phase;
        MarkPlace(0);
    }

    void Inside(const Thread& self) {
        int readers = 0, writers = 0;
        for (const Thread& thread : threads_) {
            if (thread.phase == Phase::kInside) {
                ++(thread.reader ? readers : writers);
            }
        }
        if (failure_.empty() && (writers > 1 || (writers == 1 && readers > 0))) {
            const SimulatorMemory simulator;  // read after the run
            failure_ = std::string(self.reader ? "a reader" : "a writer") +
                       " came in; inside are " + std::to_string(readers) + " reader(s) and " +
                       std::to_string(writers) + " writer(s)";
        }
    }

    static void Body(void* argument) {
        Thread& self = *static_cast<Thread*>(argument);
        GuardScene& scene = *self.scene;
        const int rounds = self.reader ? scene.cast_.readRounds : scene.cast_.writeRounds;
        for (int n = 0; rounds == 0 || n < rounds; ++n) {
            self.round = rounds == 0 ? 0 : n;
            Move(self, Phase::kArrived);
            self.reader ? scene.guard_->BeginRead() : scene.guard_->BeginWrite();
            Move(self, Phase::kInside);
            scene.Inside(self);
            SleepMs(0);
            Move(self, Phase::kOut);
            self.reader ? scene.guard_->EndRead() : scene.guard_->EndWrite();
        }
        self.round = rounds;
        Move(self, Phase::kOut);
    }

    GuardCast cast_;
    std::function<Guard*()> make_;
    Guard* guard_ = nullptr;
    std::vector<Thread> threads_;
    std::string failure_;
};

}  // namespace listpool::sim
