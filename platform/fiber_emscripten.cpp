// Fiber switches in WebAssembly, on emscripten's fibers. WebAssembly keeps
// its call stack out of reach, so a switch unwinds the leaving fiber's calls
// into an Asyncify buffer of its own and rewinds the other's from its buffer
// (the program is built with -sASYNCIFY); the C stack holds only the frames'
// variables whose address is taken. Both lie in linear memory, so a stopped
// fiber can be copied and put back like a native one.
#include <emscripten/fiber.h>

#include <memory>

#include "platform/fiber_context.h"

namespace listpool::sim {

struct FiberContext {
    // Room for the deepest chain of calls unwound at a switch: the
    // scheduler's and the program's frames between a thread's start and its
    // platform call, which take a few hundred bytes.
    static constexpr std::size_t kAsyncifySize = 64 << 10;
    // A thread's own context unwinds the calls from its entry point into the
    // simulator (a run's controller, or the search that resumes a run), about
    // 600 bytes. It lives in the runs' region when a run makes it, so it is
    // smaller.
    static constexpr std::size_t kOwnAsyncifySize = 16 << 10;

    emscripten_fiber_t fiber{};
    char* asyncify = nullptr;
    std::unique_ptr<char[]> own;
};

FiberContext* NewContext() {
    auto* context = new FiberContext;
    context->own = std::make_unique<char[]>(FiberContext::kOwnAsyncifySize);
    context->asyncify = context->own.get();
    emscripten_fiber_init_from_current_context(&context->fiber, context->asyncify,
                                               FiberContext::kOwnAsyncifySize);
    return context;
}

// The Asyncify buffer is the stack's lowest part: it then stays with the
// stack's slot, outside any run, like the C stack above it.
FiberContext* NewContext(char* stack, std::size_t size, void (*start)(void*), void* argument) {
    auto* context = new FiberContext;
    context->asyncify = stack;
    emscripten_fiber_init(&context->fiber, start, argument, stack + FiberContext::kAsyncifySize,
                          size - FiberContext::kAsyncifySize, context->asyncify,
                          FiberContext::kAsyncifySize);
    return context;
}

void DeleteContext(FiberContext* context) {
    delete context;
}

void SwapContext(FiberContext& from, FiberContext& to) {
    emscripten_fiber_swap(&from.fiber, &to.fiber);
}

void* StackPointerOf(const FiberContext& context) {
    return context.fiber.stack_ptr;
}

std::span<const char> UnwoundCallsOf(const FiberContext& context) {
    const auto* end = static_cast<const char*>(context.fiber.asyncify_data.stack_ptr);
    return {context.asyncify, static_cast<std::size_t>(end - context.asyncify)};
}

}  // namespace listpool::sim
