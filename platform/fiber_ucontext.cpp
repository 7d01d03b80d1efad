// Fiber switches on POSIX ucontext, for machines without a switch of our
// own (platform/fiber_switch.cpp). swapcontext also saves and restores the
// signal mask, a system call each time.
#include <ucontext.h>

#include <cstdint>

#include "platform/fiber_context.h"

namespace listpool::sim {

struct FiberContext {
    ucontext_t context{};
    void (*start)(void*) = nullptr;
    void* argument = nullptr;
};

namespace {

// makecontext passes ints only: the context's address goes in two halves.
void Enter(unsigned low, unsigned high) {
    auto* const context = reinterpret_cast<FiberContext*>(static_cast<std::uintptr_t>(low) |
                                                          static_cast<std::uintptr_t>(high) << 32);
    context->start(context->argument);
}

}  // namespace

FiberContext* NewContext() {
    return new FiberContext;
}

FiberContext* NewContext(char* stack, std::size_t size, void (*start)(void*), void* argument) {
    auto* context = new FiberContext;
    context->start = start;
    context->argument = argument;
    getcontext(&context->context);
    context->context.uc_stack.ss_sp = stack;
    context->context.uc_stack.ss_size = size;
    context->context.uc_link = nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(context);
    makecontext(&context->context, reinterpret_cast<void (*)()>(Enter), 2,
                static_cast<unsigned>(address), static_cast<unsigned>(address >> 32));
    return context;
}

void DeleteContext(FiberContext* context) {
    delete context;
}

void SwapContext(FiberContext& from, FiberContext& to) {
    swapcontext(&from.context, &to.context);
}

void* StackPointerOf(const FiberContext&) {
    return nullptr;
}

std::span<const char> UnwoundCallsOf(const FiberContext&) {
    return {};
}

}  // namespace listpool::sim
