// Shared pieces of the device tests: a temporary profile, a block processor that records the
// blocks the engine runs, and the virtual devices switched on for the test.
#pragma once

#include "engine/block_processor.h"
#include "platform/profile.h"
#include "platform/virtual_devices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorvil::test {

using namespace std::chrono_literals;

// Checks `done` until it holds (another thread makes it true); false after `limit`.
template <typename Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// A profile in a fresh temporary folder, removed with the object.
class TempProfile {
public:
    TempProfile() {
        m_dir = std::filesystem::temp_directory_path() /
                ("zorvil-profile-" + std::to_string(getpid()) + "-" + std::to_string(Next()));
        std::filesystem::create_directories(m_dir);
        m_profile = std::make_unique<platform::CProfile>((m_dir / "Zorvil.conf").string());
    }
    ~TempProfile() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    platform::CProfile& Get() { return *m_profile; }
    platform::CProfile* operator->() { return m_profile.get(); }

private:
    static int Next() {
        static int n = 0;
        return n++;
    }
    std::filesystem::path m_dir;
    std::unique_ptr<platform::CProfile> m_profile;
};

// Records every block the engine worker runs: frames, time and the first frame's samples.
class RecordingProcessor : public IBlockProcessor {
public:
    struct Block {
        int frames;
        uint32_t time;
        float left;
        float right;
    };

    void ProcessBlock(float* const* buffers, int frames, int channels,
                      uint32_t time) noexcept override {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_hold; });
        m_blocks.push_back({frames, time, channels > 0 && frames > 0 ? buffers[0][0] : 0.0f,
                            channels > 1 && frames > 0 ? buffers[1][0] : 0.0f});
        m_changed.notify_all();
    }

    // While held, the worker stays inside ProcessBlock (the engine is busy).
    void Hold(bool hold) {
        {
            std::lock_guard lock(m_mutex);
            m_hold = hold;
        }
        m_changed.notify_all();
    }

    std::vector<Block> Blocks() const {
        std::lock_guard lock(m_mutex);
        return m_blocks;
    }

    bool WaitForBlocks(size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_blocks.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Block> m_blocks;
    bool m_hold = false;
};

// Virtual devices on for the test's lifetime.
class VirtualDevicesOn {
public:
    VirtualDevicesOn() { platform::EnableVirtualDevices(true); }
    ~VirtualDevicesOn() { platform::EnableVirtualDevices(false); }
};

} // namespace zorvil::test
