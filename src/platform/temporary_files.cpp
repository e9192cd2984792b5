#include "platform/temporary_files.h"

#include <array>
#include <atomic>
#include <cstring>
#include <sched.h>
#include <unistd.h>

namespace zorvil::platform {

namespace {

constexpr int kEntries = 32;
constexpr size_t kPathBytes = 4096; // PATH_MAX, terminator included

// Entry states: the owner fills a free entry, the signal handler marks a registered one while
// it removes the path, so that Forget never frees an entry under the handler's feet.
enum State : int { Free = 0, Filling = 1, Registered = 2, Removing = 3 };

struct Entry {
    std::atomic<int> state{Free};
    TemporaryPaths::Kind kind = TemporaryPaths::Kind::File;
    std::array<char, kPathBytes> path{};
};

std::array<Entry, kEntries> g_entries;

static_assert(std::atomic<int>::is_always_lock_free, "used inside signal handlers");

void RemoveKind(TemporaryPaths::Kind kind) noexcept {
    for (Entry& entry : g_entries) {
        int expected = Registered;
        if (!entry.state.compare_exchange_strong(expected, Removing, std::memory_order_acquire))
            continue;
        if (entry.kind == kind) {
            if (kind == TemporaryPaths::Kind::File)
                ::unlink(entry.path.data());
            else
                ::rmdir(entry.path.data());
        }
        entry.state.store(Registered, std::memory_order_release);
    }
}

} // namespace

int TemporaryPaths::Add(std::string_view path, Kind kind) noexcept {
    if (path.empty() || path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kEntries; ++i) {
        Entry& entry = g_entries[static_cast<size_t>(i)];
        int expected = Free;
        if (!entry.state.compare_exchange_strong(expected, Filling, std::memory_order_acquire))
            continue;
        std::memcpy(entry.path.data(), path.data(), path.size());
        entry.path[path.size()] = '\0';
        entry.kind = kind;
        entry.state.store(Registered, std::memory_order_release);
        return i;
    }
    return -1;
}

void TemporaryPaths::Forget(int entry) noexcept {
    if (entry < 0 || entry >= kEntries) return;
    std::atomic<int>& state = g_entries[static_cast<size_t>(entry)].state;
    for (;;) {
        int expected = Registered;
        if (state.compare_exchange_weak(expected, Free, std::memory_order_acq_rel)) return;
        if (expected != Removing && expected != Registered) return; // not ours (a bad entry)
        ::sched_yield(); // a signal handler on another thread is removing the path
    }
}

void TemporaryPaths::RemoveAllNow() noexcept {
    RemoveKind(Kind::File);
    RemoveKind(Kind::Folder);
}

} // namespace zorvil::platform
