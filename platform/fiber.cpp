#include "platform/fiber.h"

#include "platform/sim/arena.h"

#include <sys/mman.h>

#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define LISTPOOL_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LISTPOOL_FIBER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define LISTPOOL_FIBER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LISTPOOL_FIBER_TSAN 1
#endif
#endif
#if defined(LISTPOOL_FIBER_ASAN)
#include <sanitizer/asan_interface.h>
#endif
#if defined(LISTPOOL_FIBER_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace listpool::sim {

// A fiber's stack, with an inaccessible page below it to stop an overflow.
class FiberStack {
  public:
#if defined(LISTPOOL_FIBER_ASAN) || defined(LISTPOOL_FIBER_TSAN)
    static constexpr std::size_t kSize = 4 << 20;
#else
    static constexpr std::size_t kSize = 512 << 10;
#endif
    static constexpr std::size_t kGuard = 4096;

#if defined(__EMSCRIPTEN__)
    // WebAssembly protects no page, and its emulated mapping would write
    // every page of the stack; fresh heap costs nothing until used. The C
    // stack's pointer must stay 16-byte aligned, where malloc gives 8.
    FiberStack() : base_(static_cast<char*>(std::aligned_alloc(16, kSize))) {
        if (base_ == nullptr) {
            std::abort();
        }
    }
    ~FiberStack() {
        std::free(base_);
    }
#else
    FiberStack() {
        void* mapped = mmap(nullptr, kSize + kGuard, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped == MAP_FAILED) {
            std::abort();
        }
        mprotect(mapped, kGuard, PROT_NONE);
        base_ = static_cast<char*>(mapped) + kGuard;
    }
    ~FiberStack() {
        munmap(base_ - kGuard, kSize + kGuard);
    }
#endif
    FiberStack(const FiberStack&) = delete;
    FiberStack& operator=(const FiberStack&) = delete;

    char* base() const {
        return base_;
    }

  private:
    char* base_;
};

namespace {

// Stacks by slot, made once each: mapping one costs more than a whole
// simulated run.
FiberStack& StackSlot(std::size_t slot) {
    const arena::Use system(arena::Target::kSystem);  // they outlive every run
    static auto* const stacks = new std::vector<std::unique_ptr<FiberStack>>;
    while (stacks->size() <= slot) {
        stacks->push_back(std::make_unique<FiberStack>());
    }
    return *(*stacks)[slot];
}

// The fiber that the switch under way leaves.
thread_local Fiber* tLeaving = nullptr;

}  // namespace

void Fiber::DeleteContext::operator()(FiberContext* context) const {
    sim::DeleteContext(context);
}

Fiber::Fiber() : context_(NewContext()) {
#if defined(LISTPOOL_FIBER_TSAN)
    tsanFiber_ = __tsan_get_current_fiber();
#endif
}

Fiber::Fiber(void (*entry)(void*), void* argument, std::size_t slot)
    : entry_(entry), argument_(argument), stack_(&StackSlot(slot)) {
    stackBottom_ = stack_->base();
#if defined(LISTPOOL_FIBER_ASAN)
    // A fiber dropped without unwinding leaves its frames' red zones marked.
    __asan_unpoison_memory_region(stack_->base(), FiberStack::kSize);
#endif
    stackSize_ = FiberStack::kSize;
    context_.reset(NewContext(stack_->base(), FiberStack::kSize, Start, this));
#if defined(LISTPOOL_FIBER_TSAN)
    tsanFiber_ = __tsan_create_fiber(0);
#endif
}

Fiber::~Fiber() {
    if (stack_ == nullptr) {
        return;
    }
#if defined(LISTPOOL_FIBER_TSAN)
    __tsan_destroy_fiber(tsanFiber_);
#endif
}

void Fiber::SwitchTo(Fiber& to, bool ending) {
    void* fakeStack = nullptr;
#if defined(LISTPOOL_FIBER_ASAN)
    __sanitizer_start_switch_fiber(ending ? nullptr : &fakeStack, to.stackBottom_, to.stackSize_);
#else
    (void)ending;
#endif
#if defined(LISTPOOL_FIBER_TSAN)
    // Synchronising at every switch: the fibers share the simulator's own
    // records with no lock, one at a time. It also orders every access of
    // the program's threads, so ThreadSanitizer's stage runs the native
    // tests, not the simulator's (docs/DEVELOPING.md).
    __tsan_switch_to_fiber(to.tsanFiber_, 0);
#endif
    tLeaving = this;
    SwapContext(*context_, *to.context_);
    Arrived(fakeStack);
}

const char* Fiber::StoppedAt() const {
    return static_cast<const char*>(StackPointerOf(*context_));
}

std::span<const char> Fiber::UnwoundCalls() const {
    return UnwoundCallsOf(*context_);
}

const char* Fiber::StackTop() const {
    return stack_->base() + FiberStack::kSize;
}

void Fiber::Arrived([[maybe_unused]] void* fakeStack) {
#if defined(LISTPOOL_FIBER_ASAN)
    // The thread's own stack is known only once it has been left.
    Fiber* const left = tLeaving;
    if (left != nullptr && left->stack_ == nullptr) {
        __sanitizer_finish_switch_fiber(fakeStack, &left->stackBottom_, &left->stackSize_);
    } else {
        __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
    }
#endif
}

void Fiber::Start(void* fiber) {
    Arrived(nullptr);
    auto* const self = static_cast<Fiber*>(fiber);
    self->entry_(self->argument_);
    std::abort();  // an entry leaves through an ending switch, never by returning
}

}  // namespace listpool::sim
