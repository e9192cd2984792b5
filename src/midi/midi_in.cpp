#include "midi/midi_in.h"

#include "platform/audio_device.h"

#include <chrono>
#include <thread>

namespace zorvil {

namespace {

constexpr std::chrono::milliseconds kResetPoll{10};
// A port that keeps buffers longer than this is taken to be gone.
constexpr int kResetPolls = 500;

} // namespace

CMidiIn::~CMidiIn() {
    if (IsOpen()) CMidiIn::Close();
}

bool CMidiIn::Open(int id) {
    if (IsOpen()) Close();
    auto port = platform::OpenMidiInPort(id, *this);
    if (!port) return false;
    {
        std::lock_guard lock(m_portMutex);
        m_port = std::move(port);
    }
    if (!SetUpBuffers() || !AddAllBuffers()) {
        // Not open yet in the base: drop the port directly.
        std::unique_ptr<platform::MidiInPort> dropped;
        {
            std::lock_guard lock(m_portMutex);
            dropped = std::move(m_port);
        }
        return false;
    }
    return CMidiDevice::Open(id);
}

bool CMidiIn::OpenByName(std::string_view name) {
    const std::vector<std::string> names = MidiInDeviceList();
    if (names.empty()) return false;
    const int id = FindId(name, names);
    if (id == -2) return false; // an open port stays open
    if (!Open(id)) return false;
    return CMidiDevice::OpenByName(name);
}

bool CMidiIn::SetUpBuffers() {
    if (!m_buffers) {
        m_buffers.reset(new (std::nothrow) Buffer[kBufferCount]);
        if (!m_buffers) return false;
    }
    for (int i = 0; i < kBufferCount; ++i) {
        platform::MIDIHDR& h = m_buffers[static_cast<size_t>(i)].header;
        h.lpData = m_buffers[static_cast<size_t>(i)].data;
        h.dwBufferLength = kBufferBytes;
        h.dwBytesRecorded = 0;
        h.dwUser = 0;
        h.dwFlags.store(0, std::memory_order_release);
        h.lpNext = nullptr;
        h.dwOffset = 0;
    }
    return true;
}

bool CMidiIn::IsOurs(const platform::MIDIHDR* header) const noexcept {
    if (!m_buffers || header == nullptr) return false;
    for (int i = 0; i < kBufferCount; ++i)
        if (&m_buffers[static_cast<size_t>(i)].header == header) return true;
    return false;
}

int CMidiIn::PreparedBuffers() const noexcept {
    int n = 0;
    if (m_buffers)
        for (int i = 0; i < kBufferCount; ++i)
            if (m_buffers[static_cast<size_t>(i)].header.dwFlags.load(std::memory_order_acquire) &
                platform::MHDR_PREPARED)
                ++n;
    return n;
}

bool CMidiIn::PrepareHeader(platform::MIDIHDR& header) noexcept {
    std::lock_guard lock(m_portMutex);
    if (!m_port) return false;
    header.dwFlags.fetch_or(platform::MHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CMidiIn::UnprepareHeader(platform::MIDIHDR& header) noexcept {
    std::lock_guard lock(m_portMutex);
    if (!m_port) return false;
    if (header.dwFlags.load(std::memory_order_acquire) & platform::MHDR_INQUEUE) return false;
    header.dwFlags.fetch_and(~platform::MHDR_PREPARED, std::memory_order_acq_rel);
    return true;
}

bool CMidiIn::AddBuffer(platform::MIDIHDR& header) noexcept {
    if (header.dwFlags.load(std::memory_order_acquire) & platform::MHDR_PREPARED) return true;
    if (!PrepareHeader(header)) return false;
    std::lock_guard lock(m_portMutex);
    if (m_port && m_port->AddBuffer(header)) return true;
    header.dwFlags.fetch_and(~platform::MHDR_PREPARED, std::memory_order_acq_rel);
    return false;
}

bool CMidiIn::AddAllBuffers() noexcept {
    if (!m_buffers) return false;
    for (int i = 0; i < kBufferCount; ++i)
        if (!AddBuffer(m_buffers[static_cast<size_t>(i)].header)) return false;
    return true;
}

bool CMidiIn::Start() {
    if (!IsOpen() || IsStarted()) return false;
    if (!AddAllBuffers()) return false;
    platform::MidiInPort* port = nullptr;
    {
        std::lock_guard lock(m_portMutex);
        port = m_port.get();
    }
    // Started before the port, so that a message arriving at once is delivered and stamped.
    m_run.Begin(platform::DeviceTimeMs());
    if (port == nullptr || !port->Start()) {
        m_run.Abandon();
        return false;
    }
    return true;
}

bool CMidiIn::Stop() {
    if (!IsOpen() || !IsStarted()) return false;
    m_run.End([this] {
        std::lock_guard lock(m_portMutex);
        if (m_port) m_port->Stop();
    });
    return true;
}

bool CMidiIn::Reset() {
    if (!IsOpen()) return false;
    Stop();
    platform::MidiInPort* port = nullptr;
    {
        std::lock_guard lock(m_portMutex);
        port = m_port.get();
    }
    // The port hands every buffer back through OnLongData; stopped, each stays unprepared.
    // (Only the interface thread closes, so the port outlives this call.)
    if (port != nullptr) port->Reset();
    for (int i = 0; i < kResetPolls && PreparedBuffers() > 0; ++i)
        std::this_thread::sleep_for(kResetPoll);
    return true;
}

bool CMidiIn::Close() {
    if (!IsOpen()) return false;
    Stop();
    Reset();
    if (m_buffers)
        for (int i = 0; i < kBufferCount; ++i)
            UnprepareHeader(m_buffers[static_cast<size_t>(i)].header);
    std::unique_ptr<platform::MidiInPort> port;
    {
        std::lock_guard lock(m_portMutex);
        port = std::move(m_port);
    }
    port.reset(); // no delivery runs once the port is gone
    if (m_buffers)
        for (int i = 0; i < kBufferCount; ++i)
            m_buffers[static_cast<size_t>(i)].header.dwFlags.store(0, std::memory_order_release);
    return CMidiDevice::Close();
}

bool CMidiIn::Alive() const noexcept {
    std::lock_guard lock(m_portMutex);
    return m_port && m_port->Alive();
}

void CMidiIn::OnShortData(uint32_t word, uint32_t time) noexcept {
    CMidiMessage message(word); // a note-on with velocity 0 becomes a note-off
    message.SetTime(time);
    OnMessage(message);
}

void CMidiIn::TakeBack(platform::MIDIHDR* header, uint32_t time, bool error) noexcept {
    if (!IsOurs(header)) return;
    UnprepareHeader(*header);
    if (!IsStarted()) return; // stays unprepared: Reset can finish
    if (header->dwBytesRecorded != 0) {
        CMidiMessage message(header);
        message.SetTime(time);
        if (error)
            OnError(message);
        else
            OnMessage(message);
    }
    AddBuffer(*header);
}

void CMidiIn::OnLongData(platform::MIDIHDR* header, uint32_t time) noexcept {
    TakeBack(header, time, false);
}

void CMidiIn::OnLongError(platform::MIDIHDR* header, uint32_t time) noexcept {
    if (time == 0) time = platform::DeviceTimeMs() - StartTime();
    TakeBack(header, time, true);
}

void CMidiIn::OnMessage(CMidiMessage& message) noexcept {
    const uint8_t* data = message.Data();
    if (data == nullptr) return;
    const uint8_t status = data[0];
    const int channel = status & 0x0F;
    const int data1 = message.Header() == nullptr ? data[1] : 0;
    const int data2 = message.Header() == nullptr ? data[2] : 0;
    switch (status & 0xF0) {
    case 0x80:
        OnNoteOff(channel, data1, 64); // the received release velocity is not passed on
        break;
    case 0x90:
        OnNoteOn(channel, data1, data2);
        break;
    case 0xA0:
        OnPolyPressure(channel, data1, data2);
        break;
    case 0xB0:
        OnControlChange(channel, data1, data2);
        break;
    case 0xC0:
        OnProgramChange(channel, data1);
        break;
    case 0xD0:
        OnChannelPressure(channel, data1);
        break;
    case 0xE0:
        OnPitchBend(channel, data2 * 128 + data1);
        break;
    default:
        break; // system messages and data bytes
    }
}

} // namespace zorvil
