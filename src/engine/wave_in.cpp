#include "engine/wave_in.h"

#include <thread>

namespace zorvil {

namespace {

constexpr std::chrono::milliseconds kResetPoll{10};
// A driver that keeps buffers longer than this is taken to be gone (see Reset).
constexpr std::chrono::milliseconds kResetLimit{5000};

} // namespace

CWaveIn::~CWaveIn() {
    if (IsOpen()) CWaveIn::Close();
}

bool CWaveIn::Open(int id, const platform::WAVEFORMATEX* format) {
    if (IsOpen()) Close();
    if (id < -1) return false; // the port open below fails for ids beyond the list
    if (format == nullptr) ResetFormat();
    auto port = StartThreadAndOpen(
        [id](platform::DeviceEvent& event) { return platform::OpenWaveInPort(id, event); });
    if (!port) return false;
    {
        std::lock_guard lock(m_portMutex);
        m_port = std::move(port);
    }
    CWaveDevice::Open(id, format);
    if (!AllocateBuffers() || !AddAllBuffers()) {
        Close();
        return false;
    }
    return true;
}

bool CWaveIn::OpenByName(std::string_view name, const platform::WAVEFORMATEX* format) {
    if (IsOpen()) Close();
    const auto devices = platform::WaveInDevices();
    if (devices.empty()) return false;
    const int id = FindDeviceId(name, devices);
    if (id == -2 || !Open(id, format)) return false;
    return CWaveDevice::OpenByName(name, format);
}

bool CWaveIn::AllocateBuffers() {
    // Called while the device thread has nothing queued: no buffer is in use.
    const int count = std::max(m_nBufferCount, 0);
    const size_t bytes = static_cast<size_t>(m_format.nBlockAlign) *
                         static_cast<size_t>(std::max(m_nBufferFrames, 0));
    m_buffers.clear();
    for (int i = 0; i < count; ++i) {
        auto buffer = std::make_unique<CWaveBuffer>(bytes);
        if (buffer->Header() == nullptr) return false;
        m_buffers.push_back(std::move(buffer));
    }
    return true;
}

bool CWaveIn::AddBuffer(platform::WAVEHDR& header) noexcept {
    if (header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_PREPARED) return true;
    header.dwFlags.store(0, std::memory_order_release);
    header.dwBytesRecorded = 0;
    if (!PrepareHeader(header)) return false;
    std::lock_guard lock(m_portMutex);
    if (m_port && m_port->AddBuffer(header)) return true;
    header.dwFlags.fetch_and(~platform::WHDR_PREPARED, std::memory_order_acq_rel);
    return false;
}

bool CWaveIn::AddAllBuffers() noexcept {
    for (auto& buffer : m_buffers)
        if (!AddBuffer(*buffer->Header())) return false;
    return true;
}

int CWaveIn::PreparedBuffers() const noexcept {
    int n = 0;
    for (auto& buffer : m_buffers)
        if (buffer->Header()->dwFlags.load(std::memory_order_acquire) & platform::WHDR_PREPARED)
            ++n;
    return n;
}

bool CWaveIn::PrepareHeader(platform::WAVEHDR& header) noexcept {
    if (!IsOpen()) return false;
    header.dwFlags.fetch_or(platform::WHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CWaveIn::UnprepareHeader(platform::WAVEHDR& header) noexcept {
    if (!IsOpen()) return false;
    if (header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_INQUEUE) return false;
    header.dwFlags.fetch_and(~platform::WHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CWaveIn::Start() noexcept {
    if (!IsOpen() || IsStarted()) return false;
    if (!AddAllBuffers()) return false;
    {
        std::lock_guard lock(m_portMutex);
        if (!m_port || !m_port->Start()) return false;
    }
    m_run.Begin(platform::DeviceTimeMs());
    return true;
}

bool CWaveIn::Stop() noexcept {
    if (!IsOpen() || !IsStarted()) return false;
    m_run.End([this] {
        std::lock_guard lock(m_portMutex);
        if (m_port) m_port->Stop();
    });
    return true;
}

bool CWaveIn::Reset() noexcept {
    if (!IsOpen()) return false;
    Stop();
    {
        std::lock_guard lock(m_portMutex);
        if (m_port) m_port->Reset();
    }
    // Every buffer comes back; stopped, the device thread leaves each one unprepared.
    // A driver that keeps them past the limit is given up on; Close then drops the port.
    WaitForState([this] { return PreparedBuffers() == 0; }, kResetPoll, kResetLimit);
    return true;
}

bool CWaveIn::Close() {
    if (!IsOpen()) return false;
    Stop();
    Reset();
    std::unique_ptr<platform::IWaveInPort> port;
    {
        std::lock_guard lock(m_portMutex);
        port = std::move(m_port);
    }
    port.reset();         // no driver callback runs once the port is gone
    CWaveDevice::Close(); // stops the device thread
    for (auto& buffer : m_buffers)
        buffer->Header()->dwFlags.store(0, std::memory_order_release);
    return true;
}

void CWaveIn::OnEvent() noexcept {
    for (auto& buffer : m_buffers)
        if (platform::WAVEHDR* h = buffer->Header();
            h->dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE)
            OnData(*h);
}

void CWaveIn::OnData(platform::WAVEHDR& header) noexcept {
    bool ours = false;
    for (auto& buffer : m_buffers)
        ours = ours || buffer->Header() == &header;
    if (!ours) return;
    // A buffer already handed on (unprepared, still marked done) is not delivered twice.
    if (!(header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_PREPARED)) return;
    UnprepareHeader(header);
    if (!IsStarted()) return; // stays unprepared: Reset can finish
    if (header.dwBytesRecorded != 0) {
        const uint32_t duration = header.dwBytesRecorded * 25u * 40u / m_format.nAvgBytesPerSec;
        CWaveBuffer buffer(&header);
        buffer.SetTime(platform::DeviceTimeMs() - StartTime() - duration);
        OnBlock(buffer);
    }
    AddBuffer(header);
}

bool CWaveIn::WaitForAllUnprepared(std::chrono::milliseconds limit) {
    return WaitForState([this] { return PreparedBuffers() == 0; }, kResetPoll, limit);
}

uint32_t CWaveIn::DeviceRate() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port ? m_port->DeviceRate() : 0;
}

bool CWaveIn::Alive() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port && m_port->Alive();
}

} // namespace zorvil
