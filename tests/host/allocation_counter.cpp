#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool t_marked = false;
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocations{0};

void Note() noexcept {
    if (t_marked && g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

void* Allocate(std::size_t size) noexcept {
    Note();
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t align) noexcept {
    Note();
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    return std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded);
}

void* OrThrow(void* p) {
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t size) {
    return OrThrow(Allocate(size));
}
void* operator new[](std::size_t size) {
    return OrThrow(Allocate(size));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return OrThrow(AllocateAligned(size, align));
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return OrThrow(AllocateAligned(size, align));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);

void* malloc(std::size_t size) {
    Note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    Note();
    return __libc_realloc(p, size);
}
}
#endif

namespace zorvil::test {

void MarkThisThread() noexcept {
    t_marked = true;
}

CountAllocations::CountAllocations() {
    g_allocations = 0;
    g_counting = true;
}

CountAllocations::~CountAllocations() {
    g_counting = false;
}

std::size_t CountAllocations::Count() const {
    return g_allocations.load();
}

} // namespace zorvil::test
