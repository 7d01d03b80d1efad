// Fibers for the simulation back end: functions that run on stacks of their
// own and are entered and left only by explicit switches, all on the thread
// that made them. A switch costs well under a microsecond and never waits
// for the kernel to wake a thread. AddressSanitizer and ThreadSanitizer are
// told of every switch, so that they follow the stacks. The registers are
// saved by the machine's back end (platform/fiber_context.h).
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "platform/fiber_context.h"

namespace listpool::sim {

class FiberStack;

class Fiber {
  public:
    // The calling thread's own context, where switching starts and ends.
    Fiber();
    // A fiber that runs entry(argument) from the first switch to it, on
    // stack number `slot`. Stacks are made once and kept: two fibers alive
    // at once need different slots, and a run's thread n always has the same
    // stack, so a copy of a run knows where each of its stacks goes back.
    // entry never returns: it leaves for good through an ending switch.
    Fiber(void (*entry)(void*), void* argument, std::size_t slot);
    ~Fiber();
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;

    // Leaves this fiber, which must be the running one, for `to`, and
    // returns once some fiber switches back to this one. `ending`: this
    // fiber is never switched back to.
    void SwitchTo(Fiber& to, bool ending = false);

    // While this fiber is switched away from: everything it needs to go on
    // lies in [StoppedAt(), StackTop()) besides its registers' home, this
    // object. nullptr where the machine's back end keeps registers elsewhere.
    const char* StoppedAt() const;
    const char* StackTop() const;
    // And what it needs besides, kept off that stack by the machine's back end.
    std::span<const char> UnwoundCalls() const;

  private:
    struct DeleteContext {
        void operator()(FiberContext* context) const;
    };

    static void Start(void* self);
    // Tells AddressSanitizer that a switch to this fiber is complete.
    static void Arrived(void* fakeStack);

    void (*entry_)(void*) = nullptr;
    void* argument_ = nullptr;
    FiberStack* stack_ = nullptr;  // none for the thread's own context
    std::unique_ptr<FiberContext, DeleteContext> context_;
    // The stack that a switch here goes to, as AddressSanitizer wants it;
    // learnt on the way out for the thread's own context.
    const void* stackBottom_ = nullptr;
    std::size_t stackSize_ = 0;
    // ThreadSanitizer's handle, in its builds only.
    [[maybe_unused]] void* tsanFiber_ = nullptr;
};

}  // namespace listpool::sim
