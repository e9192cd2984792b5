#include "platform/audio_device.h"

#include "platform/audio_device_backends.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zorvil::platform {

namespace {

// The driver's thread never waits for a queue, but the other threads hold one only for a few
// instructions at a time (queueing or handing back headers): trying again for a few
// microseconds keeps such a moment from costing the device a whole period of sound.
constexpr int kLockAttempts = 256;

bool TryLockBriefly(std::unique_lock<std::mutex>& lock) noexcept {
    for (int i = 0; i < kLockAttempts; ++i) {
        if (lock.try_lock()) return true;
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#endif
    }
    return false;
}

} // namespace

uint32_t DeviceTimeMs() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

int16_t FloatToSample(float x) noexcept {
    if (!(x == x)) return 0; // NaN
    const float scaled = std::round(std::clamp(x, -1.0f, 1.0f) * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// ---- WaveOutQueue -------------------------------------------------------------------------

bool WaveOutQueue::Push(WAVEHDR& header) noexcept {
    {
        std::lock_guard lock(m_mutex);
        if (Dead() || m_count == kCapacity) return false;
        header.dwFlags.fetch_and(~WHDR_DONE, std::memory_order_relaxed);
        header.dwFlags.fetch_or(WHDR_INQUEUE, std::memory_order_release);
        if (m_dry) {
            // Buffers start coming: the device plays the cushion before the first of them. Dry
            // while playing, the device played silence between buffers: a gap.
            if (m_playing.load(std::memory_order_relaxed))
                m_gaps.fetch_add(1, std::memory_order_relaxed);
            const size_t cushion = m_cushion.load(std::memory_order_relaxed);
            m_owed = cushion > 0 ? cushion + m_largestPull : 0;
            m_dry = false;
        }
        m_ring[(m_head + m_count) % kCapacity] = &header;
        ++m_count;
        m_playing.store(true, std::memory_order_relaxed);
    }
    return true;
}

void WaveOutQueue::Complete(WAVEHDR& header) noexcept {
    header.dwFlags.fetch_and(~WHDR_INQUEUE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(WHDR_DONE, std::memory_order_release);
}

template <typename Sink>
size_t WaveOutQueue::Pull(size_t frames, Sink&& sink) noexcept {
    size_t taken = 0;
    bool returned = false;
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (TryLockBriefly(lock)) {
        m_largestPull = std::max(m_largestPull, frames);
        while (taken < frames && m_count > 0) {
            if (m_owed > 0) {
                const size_t n = std::min(m_owed, frames - taken);
                for (size_t f = 0; f < n; ++f)
                    sink(taken + f, int16_t{0}, int16_t{0});
                taken += n;
                m_owed -= n;
                continue;
            }
            WAVEHDR& h = *m_ring[m_head];
            const size_t bytes = std::min<size_t>(
                h.dwBufferLength, h.dwBytesRecorded != 0 ? h.dwBytesRecorded : h.dwBufferLength);
            const size_t available = m_offset < bytes ? (bytes - m_offset) / 4 : 0;
            const size_t n = std::min(available, frames - taken);
            if (n > 0 && h.lpData != nullptr) {
                int16_t pair[2];
                for (size_t f = 0; f < n; ++f) {
                    std::memcpy(pair, h.lpData + m_offset + f * 4, 4);
                    sink(taken + f, pair[0], pair[1]);
                }
            }
            taken += n;
            m_offset += n * 4;
            if (n == available) {
                Complete(h);
                m_ring[m_head] = nullptr;
                m_head = (m_head + 1) % kCapacity;
                --m_count;
                m_offset = 0;
                returned = true;
            }
        }
        // Ran dry: the engine fell behind, or stopped. What comes next gets a cushion again.
        if (taken < frames) m_dry = true;
    } else if (m_playing.load(std::memory_order_relaxed)) {
        // Another thread held the queue for longer than the retries (it was preempted while
        // queueing a buffer): this period is silence all the same.
        m_gaps.fetch_add(1, std::memory_order_relaxed);
    }
    for (size_t f = taken; f < frames; ++f)
        sink(f, int16_t{0}, int16_t{0});
    if (returned) m_event.Set();
    return taken;
}

size_t WaveOutQueue::PullFloat(float* left, float* right, size_t frames) noexcept {
    return Pull(frames, [&](size_t f, int16_t l, int16_t r) {
        left[f] = SampleToFloat(l);
        right[f] = SampleToFloat(r);
    });
}

size_t WaveOutQueue::PullInt16(int16_t* interleaved, size_t frames) noexcept {
    return Pull(frames, [&](size_t f, int16_t l, int16_t r) {
        interleaved[2 * f] = l;
        interleaved[2 * f + 1] = r;
    });
}

void WaveOutQueue::ReturnAll() noexcept {
    bool returned = false;
    {
        std::lock_guard lock(m_mutex);
        while (m_count > 0) {
            Complete(*m_ring[m_head]);
            m_ring[m_head] = nullptr;
            m_head = (m_head + 1) % kCapacity;
            --m_count;
            returned = true;
        }
        m_offset = 0;
        m_owed = 0;
        m_dry = true;
        m_playing.store(false, std::memory_order_relaxed);
    }
    if (returned) m_event.Set();
}

void WaveOutQueue::MarkDead() noexcept {
    m_dead.store(true, std::memory_order_release);
    ReturnAll();
}

size_t WaveOutQueue::Queued() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_count;
}

// ---- WaveInQueue --------------------------------------------------------------------------

bool WaveInQueue::Add(WAVEHDR& header) noexcept {
    std::lock_guard lock(m_mutex);
    if (Dead() || m_count == kCapacity || header.lpData == nullptr) return false;
    header.dwBytesRecorded = 0;
    header.dwFlags.fetch_and(~WHDR_DONE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(WHDR_INQUEUE, std::memory_order_release);
    m_ring[(m_head + m_count) % kCapacity] = &header;
    ++m_count;
    return true;
}

void WaveInQueue::Start() noexcept {
    m_started.store(true, std::memory_order_release);
}

void WaveInQueue::CompleteFrontLocked() noexcept {
    WAVEHDR& h = *m_ring[m_head];
    h.dwFlags.fetch_and(~WHDR_INQUEUE, std::memory_order_relaxed);
    h.dwFlags.fetch_or(WHDR_DONE, std::memory_order_release);
    m_ring[m_head] = nullptr;
    m_head = (m_head + 1) % kCapacity;
    --m_count;
}

void WaveInQueue::Stop() noexcept {
    bool returned = false;
    {
        std::lock_guard lock(m_mutex);
        m_started.store(false, std::memory_order_release);
        if (m_count > 0 && m_ring[m_head]->dwBytesRecorded > 0) {
            CompleteFrontLocked();
            returned = true;
        }
    }
    if (returned) m_event.Set();
}

void WaveInQueue::ReturnAll() noexcept {
    bool returned = false;
    {
        std::lock_guard lock(m_mutex);
        m_started.store(false, std::memory_order_release);
        while (m_count > 0) {
            CompleteFrontLocked();
            returned = true;
        }
    }
    if (returned) m_event.Set();
}

void WaveInQueue::MarkDead() noexcept {
    m_dead.store(true, std::memory_order_release);
    ReturnAll();
}

template <typename Source>
void WaveInQueue::Push(size_t frames, Source&& source) noexcept {
    if (!Started()) return;
    bool returned = false;
    {
        std::unique_lock lock(m_mutex, std::defer_lock);
        if (!TryLockBriefly(lock) || !Started()) return;
        size_t f = 0;
        while (f < frames && m_count > 0) {
            WAVEHDR& h = *m_ring[m_head];
            const size_t room = (h.dwBufferLength - h.dwBytesRecorded) / 4;
            const size_t n = std::min(room, frames - f);
            for (size_t i = 0; i < n; ++i) {
                int16_t pair[2];
                source(f + i, pair[0], pair[1]);
                std::memcpy(h.lpData + h.dwBytesRecorded + i * 4, pair, 4);
            }
            h.dwBytesRecorded += static_cast<uint32_t>(n * 4);
            f += n;
            if (h.dwBytesRecorded + 4 > h.dwBufferLength) {
                CompleteFrontLocked();
                returned = true;
            }
        }
    }
    if (returned) m_event.Set();
}

void WaveInQueue::PushFloat(const float* left, const float* right, size_t frames) noexcept {
    Push(frames, [&](size_t f, int16_t& l, int16_t& r) {
        l = FloatToSample(left[f]);
        r = FloatToSample(right[f]);
    });
}

void WaveInQueue::PushInt16(const int16_t* interleaved, size_t frames) noexcept {
    Push(frames, [&](size_t f, int16_t& l, int16_t& r) {
        l = interleaved[2 * f];
        r = interleaved[2 * f + 1];
    });
}

// ---- lists ----------------------------------------------------------------------------------

namespace {

std::vector<detail::WaveOutEntry> OutEntries() {
    std::vector<detail::WaveOutEntry> list;
    detail::AddVirtualWaveOut(list);
    detail::AddJackWaveOut(list);
    detail::AddRtAudioWaveOut(list);
    return list;
}

std::vector<detail::WaveInEntry> InEntries() {
    std::vector<detail::WaveInEntry> list;
    detail::AddVirtualWaveIn(list);
    detail::AddJackWaveIn(list);
    detail::AddRtAudioWaveIn(list);
    return list;
}

} // namespace

std::vector<WaveDeviceInfo> WaveOutDevices() {
    std::vector<WaveDeviceInfo> names;
    for (auto& e : OutEntries())
        names.push_back({e.name, e.rate});
    return names;
}

std::vector<WaveDeviceInfo> WaveInDevices() {
    std::vector<WaveDeviceInfo> names;
    for (auto& e : InEntries())
        names.push_back({e.name, e.rate});
    return names;
}

uint32_t WaveMapperRate() {
    // The mapper opens JACK, else PulseAudio's default, else ALSA's: the first of them listed.
    for (auto& e : OutEntries())
        if (e.name.rfind("Virtual", 0) != 0) return e.rate;
    return 0;
}

std::unique_ptr<IWaveOutPort> OpenWaveOutPort(int id, DeviceEvent& event) {
    if (id == -1) {
        // The mapper: the default output of the first audio system that works.
        if (auto port = detail::OpenJackWaveOut(event)) return port;
        if (auto port = detail::OpenRtAudioDefaultOut(true, event)) return port;
        return detail::OpenRtAudioDefaultOut(false, event);
    }
    auto list = OutEntries();
    if (id < 0 || static_cast<size_t>(id) >= list.size()) return nullptr;
    return list[static_cast<size_t>(id)].open(event);
}

std::unique_ptr<IWaveInPort> OpenWaveInPort(int id, DeviceEvent& event) {
    auto list = InEntries();
    if (id == -1) {
        // No input mapper in the lists; the first real input that opens stands in for it.
        for (auto& e : list)
            if (e.name.rfind("Virtual", 0) != 0)
                if (auto port = e.open(event)) return port;
        return nullptr;
    }
    if (id < 0 || static_cast<size_t>(id) >= list.size()) return nullptr;
    return list[static_cast<size_t>(id)].open(event);
}

} // namespace zorvil::platform
