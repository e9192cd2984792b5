// Shared pieces of the device and engine tests: a recorder of the blocks the engine runs, the
// virtual devices switched on, and what reached the host's queue.
#pragma once

#include "engine/block_processor.h"
#include "host/seq_host.h"
#include "platform/profile.h"
#include "platform/virtual_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
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

// Records the blocks the engine runs, as its processor or as its output step: each block's
// frames, time and first frame, and the samples of as many frames as were reserved for. It
// allocates nothing on the worker (blocks beyond the first 4096 are counted, not kept). While
// held, the worker waits inside, after recording its block, so the engine stays busy.
class BlockCapture final : public IBlockOutput, public IBlockProcessor {
public:
    struct Block {
        int frames;
        uint32_t time;
        float left, right; // the first frame
    };

    explicit BlockCapture(size_t frames = 0) {
        m_left.reserve(frames);
        m_right.reserve(frames);
        m_blocks.reserve(4096);
    }
    void ProcessBlock(float* const* buffers, int frames, int channels,
                      uint32_t time) noexcept override {
        Record(buffers, frames, channels, time);
    }
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        Record(buffers, frames, 2, 0);
    }
    void Hold(bool hold) {
        const std::lock_guard lock(m_mutex);
        m_hold = hold;
        m_changed.notify_all();
    }
    bool WaitForBlocks(size_t count, std::chrono::milliseconds limit = 10000ms) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_count >= count; });
    }
    size_t BlockCount() const { return Read(m_count); }
    std::vector<Block> Blocks() const { return Read(m_blocks); }
    std::vector<float> Left() const { return Read(m_left); }
    std::vector<float> Right() const { return Read(m_right); }
    std::function<void()> onBlock; // runs on the worker; set while the engine is idle

private:
    void Record(float* const* buffers, int frames, int channels, uint32_t time) noexcept {
        if (onBlock) onBlock();
        std::unique_lock lock(m_mutex);
        const auto n = static_cast<size_t>(std::max(frames, 0));
        if (m_blocks.size() < m_blocks.capacity())
            m_blocks.push_back({frames, time, channels > 0 && n > 0 ? buffers[0][0] : 0.0f,
                                channels > 1 && n > 0 ? buffers[1][0] : 0.0f});
        if (channels > 1 && m_left.size() + n <= m_left.capacity()) {
            m_left.insert(m_left.end(), buffers[0], buffers[0] + n);
            m_right.insert(m_right.end(), buffers[1], buffers[1] + n);
        }
        ++m_count;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
    }
    template <class T>
    T Read(const T& member) const {
        const std::lock_guard lock(m_mutex);
        return member;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Block> m_blocks;
    std::vector<float> m_left, m_right;
    size_t m_count = 0;
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
