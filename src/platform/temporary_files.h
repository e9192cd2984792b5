// Files and folders in the making: what an interrupted program must not leave behind.
//
// Whatever the program creates only for a while (a save's temporary file beside its target, a
// copy of the profile) is registered here for as long as it exists. A signal handler that ends
// the program (Ctrl+C, SIGTERM) calls RemoveAllNow, which removes every registered path with
// unlink and rmdir only, so it is safe inside the handler; files go before folders, so that a
// registered folder whose registered files are gone can be removed too.
//
//     TemporaryPath part(folder + "/.zorvil-1f2e3d4c.tmp");   // registered
//     ... write, rename ...
//     part.Release();                                          // made permanent: forgotten
//
//     extern "C" void OnSignal(int) { TemporaryPaths::RemoveAllNow(); ... }
//
// The table has a fixed number of entries of fixed size: a path that does not fit, or a full
// table, is simply not registered (the program then cleans up only on its ordinary paths).
// Threads: any thread may add and remove entries; RemoveAllNow may interrupt any of them.
#pragma once

#include <string>
#include <string_view>

namespace zorvil::platform {

class TemporaryPaths {
public:
    enum class Kind { File, Folder };

    // Registers a path; returns its entry, or -1 when it could not be registered.
    static int Add(std::string_view path, Kind kind) noexcept;
    // Forgets an entry (the path was removed or made permanent). -1 does nothing.
    static void Forget(int entry) noexcept;
    // Removes every registered path now: files, then folders. Async-signal-safe.
    static void RemoveAllNow() noexcept;
};

// One registered path, forgotten when the object goes (it does not remove the path itself).
class TemporaryPath {
public:
    TemporaryPath() = default;
    TemporaryPath(std::string_view path, TemporaryPaths::Kind kind = TemporaryPaths::Kind::File)
        : m_entry(TemporaryPaths::Add(path, kind)) {}
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;
    TemporaryPath(TemporaryPath&& other) noexcept : m_entry(other.m_entry) { other.m_entry = -1; }
    TemporaryPath& operator=(TemporaryPath&& other) noexcept {
        if (this != &other) {
            Release();
            m_entry = other.m_entry;
            other.m_entry = -1;
        }
        return *this;
    }
    ~TemporaryPath() { Release(); }

    void Release() noexcept {
        TemporaryPaths::Forget(m_entry);
        m_entry = -1;
    }

private:
    int m_entry = -1;
};

} // namespace zorvil::platform
