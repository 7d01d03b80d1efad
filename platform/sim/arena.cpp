#include "platform/sim/arena.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace listpool::sim::arena {

namespace {

bool gInstalled = false;

// Reserved, not committed: only the pages a run touches cost memory. In
// WebAssembly the reserve is part of a memory that only grows, so it is
// smaller there: a run of the ten-worker session holds about 250 KB.
#if defined(__EMSCRIPTEN__)
constexpr std::size_t kReserved = std::size_t{64} << 20;
#else
constexpr std::size_t kReserved = std::size_t{1} << 30;
#endif
constexpr std::size_t kAlign = 16;
// Classes of 16 to 1024 bytes in steps of 16, then of 4 KiB up to 128 KiB
// (a stream's buffer, the scanner's), then powers of two: a copy of the
// region copies what a block leaves unused too.
constexpr std::size_t kSmallClasses = 64;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kMiddleClasses = 32;
constexpr std::size_t kClasses = kSmallClasses + kMiddleClasses + 14;

// Kept at the region's start, so that a copy of the used part holds it.
struct Header {
    std::size_t top;
    Mode mode;
    std::array<void*, kClasses> free;
};

// Before each block: its class.
struct alignas(kAlign) BlockHead {
    std::size_t sizeClass;
};

char* gBase = nullptr;
thread_local Target tTarget = Target::kSystem;

std::size_t ClassOf(std::size_t size) {
    if (size <= kSmallClasses * kAlign) {
        return size == 0 ? 0 : (size - 1) / kAlign;
    }
    if (size <= kMiddleClasses * kPage) {
        return kSmallClasses + (size - 1) / kPage;
    }
    std::size_t sizeClass = kSmallClasses + kMiddleClasses;
    for (std::size_t capacity = 2 * kMiddleClasses * kPage; capacity < size; capacity <<= 1) {
        ++sizeClass;
    }
    return sizeClass;
}

std::size_t CapacityOf(std::size_t sizeClass) {
    if (sizeClass < kSmallClasses) {
        return (sizeClass + 1) * kAlign;
    }
    if (sizeClass < kSmallClasses + kMiddleClasses) {
        return (sizeClass - kSmallClasses + 1) * kPage;
    }
    return 2 * kMiddleClasses * kPage << (sizeClass - kSmallClasses - kMiddleClasses);
}

Header& HeaderOf() {
    if (gBase == nullptr) {
#if defined(__EMSCRIPTEN__)
        // WebAssembly's memory grows with fresh pages that cost nothing until
        // written, where its emulated mapping would fill them all at once.
        void* mapped = std::aligned_alloc(kAlign, kReserved);
        if (mapped == nullptr) {
#else
        void* mapped = mmap(nullptr, kReserved, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped == MAP_FAILED) {
#endif
            std::fputs("listpool-sim: cannot reserve the runs' memory\n", stderr);
            std::abort();
        }
        gBase = static_cast<char*>(mapped);
        auto* header = new (gBase) Header{};
        header->top = (sizeof(Header) + kAlign - 1) / kAlign * kAlign;
        header->mode = Mode::kBump;
    }
    return *reinterpret_cast<Header*>(gBase);
}

}  // namespace

bool Installed() {
    return gInstalled;
}

bool MarkInstalled() {
    gInstalled = true;
    return true;
}

Use::Use(Target target) : before_(tTarget) {
    tTarget = target;
}

Use::~Use() {
    tTarget = before_;
}

Target Current() {
    return tTarget;
}

void Reset(Mode mode) {
    Header& header = HeaderOf();
    header.top = (sizeof(Header) + kAlign - 1) / kAlign * kAlign;
    header.mode = mode;
    header.free.fill(nullptr);
}

char* Start() {
    HeaderOf();
    return gBase;
}

std::size_t Used() {
    return HeaderOf().top;
}

bool Owns(const void* pointer) {
    const auto* byte = static_cast<const char*>(pointer);
    return gBase != nullptr && byte >= gBase && byte < gBase + kReserved;
}

void* Allocate(std::size_t size) {
    if (tTarget == Target::kSystem) {
        if (void* block = std::malloc(size == 0 ? 1 : size)) {
            return block;
        }
        throw std::bad_alloc();
    }
    Header& header = HeaderOf();
    const std::size_t sizeClass = ClassOf(size);
    if (sizeClass >= kClasses) {
        throw std::bad_alloc();
    }
    if (void* block = header.free[sizeClass]) {
        header.free[sizeClass] = *static_cast<void**>(block);
        return block;
    }
    const std::size_t need = sizeof(BlockHead) + CapacityOf(sizeClass);
    if (header.top + need > kReserved) {
        std::fputs("listpool-sim: a run needs more memory than is reserved for runs\n", stderr);
        std::abort();
    }
    auto* head = new (gBase + header.top) BlockHead{sizeClass};
    header.top += need;
    return head + 1;
}

void Free(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    if (!Owns(pointer)) {
        std::free(pointer);
        return;
    }
    Header& header = HeaderOf();
    if (header.mode == Mode::kBump) {
        return;
    }
    const std::size_t sizeClass = (static_cast<BlockHead*>(pointer) - 1)->sizeClass;
    *static_cast<void**>(pointer) = header.free[sizeClass];
    header.free[sizeClass] = pointer;
}

}  // namespace listpool::sim::arena
