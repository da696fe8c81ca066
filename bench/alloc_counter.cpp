// A counting global operator new for the benchmark binary. Every form of
// new goes through CountedAllocate; every form of delete through free, so
// that the pair stays consistent whatever the standard library calls.

#include "bench/alloc_counter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace skyfault::bench {
namespace {

thread_local std::uint64_t tAllocations = 0;
thread_local int tPaused = 0;

void* CountedAllocate(std::size_t size, std::size_t alignment) {
    if (tPaused == 0) {
        ++tAllocations;
    }
    if (size == 0) {
        size = 1;
    }
    void* block = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        block = std::malloc(size);
    } else {
        // aligned_alloc wants a size that is a multiple of the alignment.
        const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
        block = std::aligned_alloc(alignment, rounded);
    }
    return block;
}

void* CountedAllocateOrThrow(std::size_t size, std::size_t alignment) {
    void* block = CountedAllocate(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

std::uint64_t AllocationCount() {
    return tAllocations;
}

UncountedScope::UncountedScope() {
    ++tPaused;
}

UncountedScope::~UncountedScope() {
    --tPaused;
}

}  // namespace skyfault::bench

using skyfault::bench::CountedAllocate;  // NOLINT: replacement functions below
using skyfault::bench::CountedAllocateOrThrow;

void* operator new(std::size_t size) {
    return CountedAllocateOrThrow(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size) {
    return CountedAllocateOrThrow(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocate(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocate(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return CountedAllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return CountedAllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAllocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAllocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
