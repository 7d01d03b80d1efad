// operator new and delete from platform/sim/arena.h, in the builds that
// have it (not the sanitizer builds).
#include <cstddef>
#include <cstdlib>
#include <new>

#include "platform/sim/arena.h"

namespace arena = listpool::sim::arena;

namespace {
const bool kInstalled = arena::MarkInstalled();
}  // namespace

void* operator new(std::size_t size) {
    return arena::Allocate(size);
}
void* operator new[](std::size_t size) {
    return arena::Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return arena::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept {
    return operator new(size, nothrow);
}
void operator delete(void* pointer) noexcept {
    arena::Free(pointer);
}
void operator delete[](void* pointer) noexcept {
    arena::Free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    arena::Free(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    arena::Free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    arena::Free(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    arena::Free(pointer);
}
