// The machine's part of a fiber switch: saving one set of registers and
// loading another. One back end per kind of machine (fiber_switch.cpp on
// x86-64 and AArch64, fiber_ucontext.cpp elsewhere); fiber.cpp does the
// rest, the same on all of them.
#pragma once

#include <cstddef>
#include <span>

namespace listpool::sim {

struct FiberContext;

// The running thread's own context, or one that runs start(argument) on the
// given stack from the first switch to it. start never returns.
FiberContext* NewContext();
FiberContext* NewContext(char* stack, std::size_t size, void (*start)(void*), void* argument);
void DeleteContext(FiberContext* context);

// Saves the running context in `from` and resumes `to`; returns once some
// switch resumes `from`.
void SwapContext(FiberContext& from, FiberContext& to);

// Where a context stopped: everything it needs to go on lies on its stack
// from this address up, or nullptr where the registers are kept elsewhere.
void* StackPointerOf(const FiberContext& context);

// A stopped context's calls kept off its stack (WebAssembly unwinds them into
// a buffer of their own), or nothing where the stack holds them all.
std::span<const char> UnwoundCallsOf(const FiberContext& context);

}  // namespace listpool::sim
