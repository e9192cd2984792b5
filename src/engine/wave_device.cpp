#include "engine/wave_device.h"

#include <cctype>
#include <cstring>

namespace zorvil {

CWaveDevice::CWaveDevice() : m_format(DefaultFormat()) {}

CWaveDevice::~CWaveDevice() {
    StopDeviceThread();
}

bool CWaveDevice::Open(int, const platform::WAVEFORMATEX* format) {
    if (format == nullptr) ResetFormat();
    m_bOpen.store(true, std::memory_order_release);
    return true;
}

bool CWaveDevice::OpenByName(std::string_view name, const platform::WAVEFORMATEX*) {
    SetName(name);
    return true;
}

bool CWaveDevice::Close() {
    StopDeviceThread();
    SetName({});
    m_bOpen.store(false, std::memory_order_release);
    return true;
}

std::string CWaveDevice::Name() const {
    std::lock_guard lock(m_nameMutex);
    return m_strName;
}

void CWaveDevice::SetName(std::string_view name) {
    std::lock_guard lock(m_nameMutex);
    m_strName = std::string(name.substr(0, kMaxNameLength));
}

void CWaveDevice::SetSample(CWaveBuffer& buffer, int frame, int channel, int value) noexcept {
    platform::WAVEHDR* h = buffer.Header();
    if (!IsOpen() || h == nullptr || h->lpData == nullptr || channel < 0 ||
        channel >= m_format.nChannels || frame < 0)
        return;
    const size_t bytes = m_format.wBitsPerSample / 8;
    const size_t position = static_cast<size_t>(m_format.nBlockAlign) * static_cast<size_t>(frame) +
                            m_format.wBitsPerSample * static_cast<size_t>(channel) / 8;
    // Against the allocation, not the header's length: that is the length of the buffer's last
    // use, shorter or (a header set by hand) longer than what is there.
    if (position + bytes > buffer.Capacity()) return;
    if (m_format.wBitsPerSample == 16) {
        const auto v = static_cast<int16_t>(value);
        std::memcpy(h->lpData + position, &v, 2);
    } else if (m_format.wBitsPerSample == 8) {
        h->lpData[position] = static_cast<char>(static_cast<uint8_t>(value / 256 + 128));
    }
}

int CWaveDevice::GetSample(const CWaveBuffer& buffer, int frame, int channel) const noexcept {
    const platform::WAVEHDR* h = buffer.Header();
    if (h == nullptr || h->lpData == nullptr || frame < 0 || channel < 0) return 0;
    if (m_format.nChannels == 1) channel = 0;
    if (channel >= m_format.nChannels) return 0;
    const size_t bytes = m_format.wBitsPerSample / 8;
    const size_t position = static_cast<size_t>(m_format.nBlockAlign) * static_cast<size_t>(frame) +
                            m_format.wBitsPerSample * static_cast<size_t>(channel) / 8;
    if (position + bytes > buffer.Length()) return 0;
    if (m_format.wBitsPerSample == 16) {
        int16_t v = 0;
        std::memcpy(&v, h->lpData + position, 2);
        return v;
    }
    if (m_format.wBitsPerSample == 8)
        return (static_cast<int>(static_cast<uint8_t>(h->lpData[position])) - 128) * 256;
    return 0;
}

bool CWaveDevice::StartDeviceThread() {
    StopDeviceThread();
    m_bStopThread.store(false, std::memory_order_release);
    try {
        m_thread = std::thread([this] { ThreadBody(); });
        return true;
    } catch (...) {
        return false;
    }
}

void CWaveDevice::StopDeviceThread() {
    if (!m_thread.joinable()) return;
    m_bStopThread.store(true, std::memory_order_release);
    m_event.Set();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach(); // asked from the device thread itself: it leaves after this pass
        return;
    }
    m_thread.join();
    m_bStopThread.store(false, std::memory_order_release);
}

void CWaveDevice::ThreadBody() noexcept {
    while (true) {
        m_event.Wait();
        if (m_bStopThread.load(std::memory_order_acquire)) break;
        OnEvent();
        { std::lock_guard lock(m_stateMutex); }
        m_stateChanged.notify_all();
    }
}

bool CWaveDevice::WaitForState(const std::function<bool()>& done, std::chrono::milliseconds step,
                               std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(m_stateMutex);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        m_stateChanged.wait_for(lock, step);
    }
    return true;
}

int CWaveDevice::FindDeviceId(std::string_view name,
                              const std::vector<platform::WaveDeviceInfo>& devices) noexcept {
    if (name == platform::kWaveMapperName) return -1;
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].name == name) return static_cast<int>(i);
    return -2;
}

std::vector<std::string> WaveOutDeviceList() {
    std::vector<std::string> list{platform::kWaveMapperName};
    for (auto& device : platform::WaveOutDevices())
        list.push_back(device.name);
    return list;
}

std::vector<std::string> WaveInDeviceList() {
    std::vector<std::string> list;
    for (auto& device : platform::WaveInDevices())
        list.push_back(device.name);
    return list;
}

namespace {

std::vector<std::string> DialogList(const std::vector<std::string>& names) {
    std::vector<std::string> list{kNoWaveDevice};
    for (const std::string& name : names)
        list.push_back("MME: " + name);
    return list;
}

} // namespace

std::vector<std::string> WaveOutDialogList() {
    return DialogList(WaveOutDeviceList());
}
std::vector<std::string> WaveInDialogList() {
    return DialogList(WaveInDeviceList());
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

} // namespace

StoredWaveName ParseStoredWaveName(std::string_view stored) {
    if (StartsWithNoCase(stored, "MME: ")) return {true, true, std::string(stored.substr(5))};
    if (StartsWithNoCase(stored, "ASIO: ")) return {false, true, std::string(stored.substr(6))};
    return {true, false, std::string(stored)};
}

} // namespace zorvil
