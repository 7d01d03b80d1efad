// Fiber switches of our own on x86-64 and AArch64: the callee-saved
// registers go on the stack being left and only its address is kept, so a
// switch is a few dozen instructions and no system call (swapcontext saves
// the signal mask with one), and a stopped fiber is wholly described by its
// stack.
#include <cstdint>
#include <cstring>

#include "platform/fiber_context.h"

extern "C" {
// Pushes the callee-saved registers, stores the stack pointer in *from,
// loads `to` and pops what it points at. A new context's stack is laid out
// as if it had been left by this function, returning into fiber_entry.
void listpool_fiber_swap(void** from, void* to);
void listpool_fiber_entry();
}

#if defined(__x86_64__)
// Frame, from the saved stack pointer up: x87 control word, MXCSR, r15, r14,
// r13, r12, rbx, rbp, return address.
asm(R"(
    .text
    .globl listpool_fiber_swap
    .type listpool_fiber_swap, @function
listpool_fiber_swap:
    endbr64
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $16, %rsp
    stmxcsr 8(%rsp)
    fnstcw (%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    fldcw (%rsp)
    ldmxcsr 8(%rsp)
    addq $16, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .size listpool_fiber_swap, .-listpool_fiber_swap

    .globl listpool_fiber_entry
    .type listpool_fiber_entry, @function
listpool_fiber_entry:
    movq %r12, %rdi
    andq $-16, %rsp
    callq *%r13
    ud2
    .size listpool_fiber_entry, .-listpool_fiber_entry
    .section .note.GNU-stack,"",@progbits
    .text
)");
#elif defined(__aarch64__)
// Frame, from the saved stack pointer up: x19..x30 in pairs, then d8..d15.
asm(R"(
    .text
    .globl listpool_fiber_swap
    .type listpool_fiber_swap, %function
listpool_fiber_swap:
    sub sp, sp, #160
    stp x19, x20, [sp, #0]
    stp x21, x22, [sp, #16]
    stp x23, x24, [sp, #32]
    stp x25, x26, [sp, #48]
    stp x27, x28, [sp, #64]
    stp x29, x30, [sp, #80]
    stp d8, d9, [sp, #96]
    stp d10, d11, [sp, #112]
    stp d12, d13, [sp, #128]
    stp d14, d15, [sp, #144]
    mov x2, sp
    str x2, [x0]
    mov sp, x1
    ldp x19, x20, [sp, #0]
    ldp x21, x22, [sp, #16]
    ldp x23, x24, [sp, #32]
    ldp x25, x26, [sp, #48]
    ldp x27, x28, [sp, #64]
    ldp x29, x30, [sp, #80]
    ldp d8, d9, [sp, #96]
    ldp d10, d11, [sp, #112]
    ldp d12, d13, [sp, #128]
    ldp d14, d15, [sp, #144]
    add sp, sp, #160
    ret
    .size listpool_fiber_swap, .-listpool_fiber_swap

    .globl listpool_fiber_entry
    .type listpool_fiber_entry, %function
listpool_fiber_entry:
    mov x0, x19
    blr x20
    brk #0
    .size listpool_fiber_entry, .-listpool_fiber_entry
    .section .note.GNU-stack,"",%progbits
    .text
)");
#else
#error "fiber_switch.cpp is for x86-64 and AArch64; other machines build fiber_ucontext.cpp"
#endif

namespace listpool::sim {

struct FiberContext {
    void* stackPointer = nullptr;
};

FiberContext* NewContext() {
    return new FiberContext;
}

FiberContext* NewContext(char* stack, std::size_t size, void (*start)(void*), void* argument) {
    auto top = reinterpret_cast<std::uintptr_t>(stack + size) & ~std::uintptr_t{15};
    const auto entry = reinterpret_cast<std::uintptr_t>(&listpool_fiber_entry);
    const auto argumentWord = reinterpret_cast<std::uintptr_t>(argument);
    const auto startWord = reinterpret_cast<std::uintptr_t>(start);
#if defined(__x86_64__)
    // x87 control word, MXCSR, r15, r14, r13 = start, r12 = argument, rbx,
    // rbp, the return into the entry, and a word for its stack alignment.
    const std::uint64_t words[] = {0x037f, 0x1f80, 0, 0, startWord, argumentWord, 0, 0, entry, 0};
    top -= sizeof words;
#else
    // x19 = argument, x20 = start, x29 = 0, x30 = the entry; d8..d15 zero.
    const std::uint64_t words[20] = {argumentWord, startWord, 0, 0, 0, 0, 0, 0, 0, 0, 0, entry};
    top -= sizeof words;
#endif
    std::memcpy(reinterpret_cast<void*>(top), words, sizeof words);
    auto* context = new FiberContext;
    context->stackPointer = reinterpret_cast<void*>(top);
    return context;
}

void DeleteContext(FiberContext* context) {
    delete context;
}

void SwapContext(FiberContext& from, FiberContext& to) {
    listpool_fiber_swap(&from.stackPointer, to.stackPointer);
}

void* StackPointerOf(const FiberContext& context) {
    return context.stackPointer;
}

std::span<const char> UnwoundCallsOf(const FiberContext&) {
    return {};
}

}  // namespace listpool::sim
