#include "engine/wave_out_engine.h"

#include "platform/virtual_devices.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace zorvil {

namespace {

// How long Close waits for the device to hand its buffers back. A device that does not return
// them within this time is taken to be gone: its port is closed, which ends every reference
// the driver held.
constexpr std::chrono::milliseconds kReturnLimit{5000};
constexpr std::chrono::milliseconds kReturnPoll{50};

} // namespace

CEngineWaveOut::~CEngineWaveOut() {
    if (IsOpen()) {
        CWaveOut::Reset();
        WaitForAllReturned();
        CEngineWaveOut::Close();
    }
    std::unique_lock lock(m_poolMutex);
    m_pool.clear();
}

float CEngineWaveOut::ConversionScale() noexcept {
    return std::bit_cast<float>(0x46FFFF03u);
}

int CEngineWaveOut::ConvertSample(float x) noexcept {
    const float clamped = (std::fabs(x + 1.0f) - std::fabs(x - 1.0f)) * 0.5f;
    const float v = clamped * ConversionScale() - 0.5f;
    if (!(v == v)) return 0;    // NaN in, silence out
    return static_cast<int>(v); // truncation toward zero
}

int CEngineWaveOut::BoundBufferSize(int frames) noexcept {
    return frames < kMinBufferSize || frames > kMaxBufferSize ? kDefaultBufferSize : frames;
}

bool CEngineWaveOut::Open(int id, const platform::WAVEFORMATEX* format) {
    if (!CWaveOut::Open(id, format)) return false;
    // A pool built while the device was closed has buffers of 0 bytes: build it again, with as
    // many buffers, now that the device says how large they must be.
    const int count = m_nBufferCount.load();
    const CWaveBuffer* first = PoolBuffer(0);
    if (count > 0 && first != nullptr &&
        first->Capacity() < static_cast<size_t>(m_nCapacity.load()) * m_format.nBlockAlign)
        BuildPool(count);
    return true;
}

bool CEngineWaveOut::OpenWaveOutByName(std::string_view stored, int bufferSize) {
    const StoredWaveName parsed = ParseStoredWaveName(stored);
    if (!parsed.usable) return false; // "ASIO: ": nothing opened, the pool as it was
    if (!parsed.hadPrefix && !parsed.name.empty() && m_pProfile != nullptr)
        m_pProfile->WriteString(platform::settings::kSection, platform::settings::kWaveOut,
                                "MME: " + parsed.name);
    const bool opened = OpenByName(parsed.name);
    BuildPool(kSampleRate / BoundBufferSize(bufferSize));
    return opened;
}

bool CEngineWaveOut::OpenOffline(int bufferSize) {
    const bool opened =
        OpenPort(platform::kVirtualWaveOutImmediateName, [](platform::DeviceEvent& event) {
            return std::make_unique<platform::VirtualWaveOut>(
                platform::VirtualWaveOut::Mode::Immediate, event);
        });
    BuildPool(kSampleRate / BoundBufferSize(bufferSize));
    return opened;
}

void CEngineWaveOut::BuildPool(int count) {
    std::unique_lock lock(m_poolMutex);
    m_pool.clear();
    m_dwBusy.store(0);
    m_nInFlight.store(0);
    const int capacity = count > 0 ? (kSampleRate + count - 1) / count : 0;
    // A closed device gets buffers of size 0: the pool still says how many there are.
    const size_t bytes = IsOpen() ? static_cast<size_t>(capacity) * m_format.nBlockAlign : 0;
    for (int i = 0; i < count; ++i) {
        auto buffer = std::make_unique<CWaveBuffer>(bytes);
        if (buffer->Header() == nullptr) break;
        m_pool.push_back(std::move(buffer));
    }
    m_nCapacity.store(capacity);
    m_nBufferCount.store(static_cast<int32_t>(m_pool.size()));
}

const CWaveBuffer* CEngineWaveOut::PoolBuffer(int i) const noexcept {
    std::shared_lock lock(m_poolMutex);
    return i >= 0 && static_cast<size_t>(i) < m_pool.size() ? m_pool[static_cast<size_t>(i)].get()
                                                            : nullptr;
}

void CEngineWaveOut::WriteBlock(const float* left, const float* right, int frames) noexcept {
    if (!IsOpen() || frames <= 0 || left == nullptr || right == nullptr) return;
    std::shared_lock lock(m_poolMutex, std::try_to_lock);
    if (!lock.owns_lock() || m_pool.empty()) return;
    const int capacity = m_nCapacity.load();
    if (capacity <= 0) return;
    const float* channels[2] = {left, right};
    int offset = 0;
    int remaining = frames;
    while (remaining > 0) {
        // The lowest index whose busy bit is clear; only the first 32 can ever be free.
        const uint32_t busy = m_dwBusy.load(std::memory_order_acquire);
        int index = -1;
        for (size_t i = 0; i < m_pool.size(); ++i)
            if (!(busy & (1u << (i % kBusyBits))) && m_pool[i] && m_pool[i]->Header()) {
                index = static_cast<int>(i);
                break;
            }
        if (index < 0) return; // the pool is full: the rest of this block is dropped
        CWaveBuffer& buffer = *m_pool[static_cast<size_t>(index)];
        // Never more than the buffer holds, whatever length its header kept from its last use.
        const int room = static_cast<int>(std::min<size_t>(buffer.Capacity() / m_format.nBlockAlign,
                                                           static_cast<size_t>(capacity)));
        if (room <= 0) return; // a buffer without room can play nothing
        const int chunk = std::min(remaining, room);
        for (int f = 0; f < chunk; ++f)
            for (int c = 0; c < 2; ++c)
                SetSample(buffer, f, c, ConvertSample(channels[c][offset + f]));
        const uint32_t bit = 1u << (index % kBusyBits);
        m_dwBusy.fetch_or(bit, std::memory_order_acq_rel);
        m_nInFlight.fetch_add(1, std::memory_order_acq_rel);
        platform::WAVEHDR& header = *buffer.Header();
        header.dwBufferLength = static_cast<uint32_t>(m_format.nBlockAlign * chunk);
        header.dwBytesRecorded = header.dwBufferLength;
        if (!Write(buffer, false)) {
            UnprepareHeader(header);
            m_dwBusy.fetch_and(~bit, std::memory_order_acq_rel);
            m_nInFlight.fetch_sub(1, std::memory_order_acq_rel);
        }
        // Render bookkeeping for this buffer (the render to a wave file, while it writes).
        if (IWaveOutRenderHook* hook = m_pRenderHook.load(std::memory_order_acquire))
            hook->OnBufferWritten(buffer, chunk);
        offset += chunk;
        remaining -= chunk;
    }
}

void CEngineWaveOut::OnEvent() noexcept {
    std::shared_lock lock(m_poolMutex);
    for (auto& buffer : m_pool)
        if (platform::WAVEHDR* h = buffer->Header();
            h != nullptr && (h->dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE))
            OnDone(*h);
}

void CEngineWaveOut::OnDone(platform::WAVEHDR& header) noexcept {
    // Called from OnEvent with the pool lock held (shared).
    UnprepareHeader(header);
    for (size_t i = 0; i < m_pool.size(); ++i) {
        if (m_pool[i]->Header() != &header) continue;
        header.dwFlags.fetch_and(~platform::WHDR_DONE, std::memory_order_acq_rel);
        m_nInFlight.fetch_sub(1, std::memory_order_acq_rel);
        m_dwBusy.fetch_and(~(1u << (i % kBusyBits)), std::memory_order_acq_rel);
        return;
    }
}

bool CEngineWaveOut::WaitForInFlight(int count, std::chrono::milliseconds limit) {
    return WaitForState([this, count] { return m_nInFlight.load() <= count; }, kReturnPoll, limit);
}

bool CEngineWaveOut::WaitForAllReturned() {
    return WaitForState([this] { return m_nInFlight.load() <= 0; }, kReturnPoll, kReturnLimit);
}

bool CEngineWaveOut::Close() {
    if (!IsOpen()) return false;
    CWaveOut::Reset();
    if (!WaitForAllReturned()) {
        // The device kept buffers beyond the limit: closing the port ends its hold on them.
        CWaveOut::Close();
        std::shared_lock lock(m_poolMutex);
        for (auto& buffer : m_pool)
            if (platform::WAVEHDR* h = buffer->Header())
                h->dwFlags.store(0, std::memory_order_release);
        m_dwBusy.store(0);
        m_nInFlight.store(0);
        return true;
    }
    return CWaveOut::Close();
}

} // namespace zorvil
