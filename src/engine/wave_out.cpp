#include "engine/wave_out.h"

#include <thread>

namespace zorvil {

CWaveOut::~CWaveOut() {
    if (IsOpen()) CWaveOut::Close();
}

bool CWaveOut::Open(int id, const platform::WAVEFORMATEX* format) {
    if (IsOpen()) Close();
    if (id < -1) return false; // the port open below fails for ids beyond the list
    if (format == nullptr) ResetFormat();
    if (!AttachPort(StartThreadAndOpen(
            [id](platform::DeviceEvent& event) { return platform::OpenWaveOutPort(id, event); })))
        return false;
    return CWaveDevice::Open(id, format);
}

bool CWaveOut::OpenByName(std::string_view name, const platform::WAVEFORMATEX* format) {
    if (IsOpen()) Close();
    const auto devices = platform::WaveOutDevices();
    if (devices.empty()) return false;
    const int id = FindDeviceId(name, devices);
    if (id == -2 || !Open(id, format)) return false;
    return CWaveDevice::OpenByName(name, format);
}

bool CWaveOut::OpenPort(std::string_view name, const PortMaker& make) {
    if (IsOpen()) Close();
    ResetFormat();
    if (!AttachPort(StartThreadAndOpen(make))) return false;
    CWaveDevice::Open(-1, nullptr);
    return CWaveDevice::OpenByName(name, nullptr);
}

bool CWaveOut::AttachPort(std::unique_ptr<platform::IWaveOutPort> port) {
    if (!port) return false;
    std::lock_guard lock(m_portMutex);
    m_port = std::move(port);
    m_port->SetCushion(m_cushion);
    return true;
}

bool CWaveOut::Reset() noexcept {
    std::lock_guard lock(m_portMutex);
    if (!IsOpen() || !m_port) return false;
    m_port->Reset();
    return true;
}

bool CWaveOut::PrepareHeader(platform::WAVEHDR& header) noexcept {
    if (!IsOpen()) return false;
    header.dwFlags.fetch_or(platform::WHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CWaveOut::UnprepareHeader(platform::WAVEHDR& header) noexcept {
    if (!IsOpen()) return false;
    if (header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_INQUEUE) return false;
    header.dwFlags.fetch_and(~platform::WHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CWaveOut::Close() {
    if (!IsOpen()) return false;
    std::unique_ptr<platform::IWaveOutPort> port;
    {
        std::lock_guard lock(m_portMutex);
        if (m_port) m_port->Reset();
        port = std::move(m_port);
    }
    port.reset(); // no driver callback runs once the port is gone
    return CWaveDevice::Close();
}

bool CWaveOut::Write(CWaveBuffer& buffer, bool wait) noexcept {
    platform::WAVEHDR* h = buffer.Header();
    if (h == nullptr || !PrepareHeader(*h)) return false;
    bool written = false;
    {
        std::lock_guard lock(m_portMutex);
        written = m_port && m_port->Write(*h);
    }
    if (!wait || !written) return written;
    while (!(h->dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE)) {
        if (!Alive()) break;
        std::this_thread::yield();
    }
    UnprepareHeader(*h);
    return written;
}

uint32_t CWaveOut::DeviceRate() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port ? m_port->DeviceRate() : 0;
}

void CWaveOut::SetCushion(size_t frames) noexcept {
    std::lock_guard lock(m_portMutex);
    m_cushion = frames;
    if (m_port) m_port->SetCushion(frames);
}

uint32_t CWaveOut::Gaps() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port ? m_port->Gaps() : 0;
}

bool CWaveOut::Alive() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port && m_port->Alive();
}

} // namespace zorvil
