// The allocation hooks of test_host, linked into this binary too, and beside them a count of the
// mutexes the converter's library locks on marked threads while counting. zita-resampler locks
// the filter tables its converters share when one is set up or destroyed: that must happen when
// a device opens, closes or changes its rate, never in the device callback.
#include "../host/allocation_counter.cpp"
#include "resampler_lock_counter.h"

#include <cstring>
#include <dlfcn.h>
#include <pthread.h>

namespace {

std::atomic<std::size_t> g_resamplerLocks{0};

[[maybe_unused]] bool InResamplerLibrary(const void* address) noexcept {
    Dl_info info{};
    return dladdr(address, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "libzita-resampler") != nullptr;
}

} // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
    using Lock = int (*)(pthread_mutex_t*);
    static const auto real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_marked && g_counting.load(std::memory_order_relaxed) &&
        InResamplerLibrary(__builtin_return_address(0)))
        g_resamplerLocks.fetch_add(1, std::memory_order_relaxed);
    return real(mutex);
}
#endif

namespace zorvil::test {

std::size_t ResamplerLocks() noexcept {
    return g_resamplerLocks.load();
}

} // namespace zorvil::test
