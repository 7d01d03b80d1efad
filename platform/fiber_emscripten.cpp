// Fiber switches in WebAssembly, on emscripten's fibers. WebAssembly keeps
// its call stack out of reach, so a switch unwinds the leaving fiber's calls
// into an Asyncify buffer of its own and rewinds the other's from its buffer
// (the program is built with -sASYNCIFY); the C stack that fiber.cpp gives
// holds only the frames' variables whose address is taken.
#include <emscripten/fiber.h>

#include <memory>

#include "platform/fiber_context.h"

namespace listpool::sim {

struct FiberContext {
    // The deepest chain of calls unwound at a switch: the scheduler's and the
    // program's frames between a thread's start and its platform call.
    static constexpr std::size_t kAsyncifySize = 64 << 10;

    emscripten_fiber_t fiber{};
    std::unique_ptr<char[]> asyncify = std::make_unique<char[]>(kAsyncifySize);
};

FiberContext* NewContext() {
    auto* context = new FiberContext;
    emscripten_fiber_init_from_current_context(&context->fiber, context->asyncify.get(),
                                               FiberContext::kAsyncifySize);
    return context;
}

FiberContext* NewContext(char* stack, std::size_t size, void (*start)(void*), void* argument) {
    auto* context = new FiberContext;
    emscripten_fiber_init(&context->fiber, start, argument, stack, size, context->asyncify.get(),
                          FiberContext::kAsyncifySize);
    return context;
}

void DeleteContext(FiberContext* context) {
    delete context;
}

void SwapContext(FiberContext& from, FiberContext& to) {
    emscripten_fiber_swap(&from.fiber, &to.fiber);
}

void* StackPointerOf(const FiberContext&) {
    return nullptr;
}

}  // namespace listpool::sim
