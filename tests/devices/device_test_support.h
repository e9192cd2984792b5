// Shared pieces of the device tests: a block processor that records the blocks the engine runs,
// the virtual devices switched on, and what reached the host's queue.
#pragma once

#include "engine/block_processor.h"
#include "host/seq_host.h"
#include "platform/profile.h"
#include "platform/virtual_devices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil::test {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Checks `done` until it holds (another thread makes it true); false after `limit`.
template <typename Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds limit = 5000ms) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !done();
         std::this_thread::yield())
        if (std::chrono::steady_clock::now() >= end) return false;
    return true;
}

// Records every block the engine worker runs; while held, the worker stays inside (busy).
class RecordingProcessor : public IBlockProcessor {
public:
    struct Block {
        int frames;
        uint32_t time;
        float left, right; // the first frame
    };

    void ProcessBlock(float* const* buffers, int frames, int channels,
                      uint32_t time) noexcept override {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_hold; });
        m_blocks.push_back({frames, time, channels > 0 && frames > 0 ? buffers[0][0] : 0.0f,
                            channels > 1 && frames > 0 ? buffers[1][0] : 0.0f});
        m_changed.notify_all();
    }
    void Hold(bool hold) {
        std::lock_guard lock(m_mutex);
        m_hold = hold;
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

// The short messages and the system-exclusive messages in the host's MIDI queue.
inline std::vector<uint32_t> QueuedWords(CSeqHost& host) {
    std::vector<uint32_t> words;
    for (uint32_t i = 0; i < host.MidiQueue().Snapshot().shortCount; ++i)
        words.push_back(host.MidiQueue().ShortWord(i));
    return words;
}
inline std::vector<Bytes> QueuedSysex(CSeqHost& host) {
    std::vector<Bytes> messages;
    for (uint32_t i = 0; i < host.MidiQueue().Snapshot().sysexCount; ++i) {
        const CMidiMessage& m = host.MidiQueue().Sysex(i);
        messages.emplace_back(m.Data(), m.Data() + m.Length());
    }
    return messages;
}

} // namespace zorvil::test
