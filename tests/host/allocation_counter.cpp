#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool t_marked = false;
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocations{0};
std::atomic<std::size_t> g_bytes{0};

void Note() noexcept {
    if (t_marked && g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

// Bytes are counted for operator new only (malloc below would count them twice).
void NoteBytes(std::size_t size) noexcept {
    if (t_marked && g_counting.load(std::memory_order_relaxed))
        g_bytes.fetch_add(size, std::memory_order_relaxed);
}

void* Allocate(std::size_t size) noexcept {
    Note();
    NoteBytes(size);
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t align) noexcept {
    Note();
    NoteBytes(size);
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    return std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded);
}

void* OrThrow(void* p) {
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

} // namespace

// Every form is replaced, so that a sanitizer's own forms never free what malloc gave.
#define ZORVIL_NEW(signature, allocation)                                                          \
    void* operator signature {                                                                     \
        return allocation;                                                                         \
    }
#define ZORVIL_DELETE(...)                                                                         \
    void operator delete(__VA_ARGS__) noexcept {                                                   \
        std::free(p);                                                                              \
    }                                                                                              \
    void operator delete[](__VA_ARGS__) noexcept {                                                 \
        std::free(p);                                                                              \
    }
ZORVIL_NEW(new (std::size_t size), OrThrow(Allocate(size)))
ZORVIL_NEW(new[](std::size_t size), OrThrow(Allocate(size)))
ZORVIL_NEW(new (std::size_t size, const std::nothrow_t&) noexcept, Allocate(size))
ZORVIL_NEW(new[](std::size_t size, const std::nothrow_t&) noexcept, Allocate(size))
ZORVIL_NEW(new (std::size_t size, std::align_val_t a), OrThrow(AllocateAligned(size, a)))
ZORVIL_NEW(new[](std::size_t size, std::align_val_t a), OrThrow(AllocateAligned(size, a)))
ZORVIL_DELETE(void* p)
ZORVIL_DELETE(void* p, std::size_t)
ZORVIL_DELETE(void* p, const std::nothrow_t&)
ZORVIL_DELETE(void* p, std::align_val_t)
ZORVIL_DELETE(void* p, std::size_t, std::align_val_t)

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
    g_bytes = 0;
    g_counting = true;
}

CountAllocations::~CountAllocations() {
    g_counting = false;
}

std::size_t CountAllocations::Count() const {
    return g_allocations.load();
}

std::size_t CountAllocations::Bytes() const {
    return g_bytes.load();
}

} // namespace zorvil::test
