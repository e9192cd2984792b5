#include "midi/midi_out.h"

namespace zorvil {

CMidiOut::~CMidiOut() {
    if (IsOpen()) CMidiOut::Close();
}

bool CMidiOut::Open(int id) {
    if (IsOpen()) Close();
    auto port = platform::OpenMidiOutPort(id);
    if (!port) return false;
    {
        std::lock_guard lock(m_mutex);
        m_port = std::move(port);
    }
    return CMidiDevice::Open(id);
}

bool CMidiOut::OpenByName(std::string_view name) {
    const std::vector<std::string> ports = [] {
        std::vector<std::string> names;
        for (auto& port : platform::MidiOutPorts())
            names.push_back(port.name);
        return names;
    }();
    if (ports.empty()) return false;
    const int id = FindId(name, ports);
    if (id == -2) return false; // an open port stays open
    if (!Open(id)) return false;
    return CMidiDevice::OpenByName(name);
}

bool CMidiOut::Reset() {
    std::lock_guard lock(m_mutex);
    if (!IsOpen() || !m_port) return false;
    m_port->Reset();
    return true;
}

bool CMidiOut::Close() {
    if (!IsOpen()) return false;
    Reset();
    std::unique_ptr<platform::IMidiOutPort> port;
    {
        std::lock_guard lock(m_mutex);
        port = std::move(m_port);
    }
    port.reset();
    return CMidiDevice::Close();
}

bool CMidiOut::Alive() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_port && m_port->Alive();
}

uint8_t CMidiOut::LastStatus() const noexcept {
    std::lock_guard lock(m_mutex);
    return static_cast<uint8_t>(m_dwLastStatus);
}

bool CMidiOut::Send(CMidiMessage& message) noexcept {
    if (!IsOpen()) return false;
    if (platform::MIDIHDR* header = message.Header()) {
        if (message.Length() == 0) return false;
        return SendLongBytes(*header);
    }
    const size_t n = message.Length();
    if (n == 0) return false;
    uint8_t* bytes = message.Data();
    const uint8_t status = bytes[0];
    const uint8_t channel = status & 0x0F;
    std::lock_guard lock(m_mutex);
    if (!m_port) return false;
    if ((status & 0xF0) == 0x80 && m_dwLastStatus == 0x90u + channel) {
        // A note-off after a note-on on its channel goes out as a note-on of velocity 0, and
        // the caller's record says so too.
        bytes[0] = static_cast<uint8_t>(0x90 + channel);
        bytes[2] = 0;
    } else if (status >= 0xF0) {
        return m_port->SendShort(message.ShortMessage());
    }
    m_dwLastStatus = bytes[0];
    return m_port->SendShort(message.ShortMessage());
}

bool CMidiOut::SendLongBytes(platform::MIDIHDR& header) noexcept {
    const size_t n = header.dwBytesRecorded != 0 ? header.dwBytesRecorded : header.dwBufferLength;
    if (header.lpData == nullptr || n == 0) return false;
    header.dwFlags.fetch_and(~platform::MHDR_DONE, std::memory_order_acq_rel);
    header.dwFlags.fetch_or(platform::MHDR_PREPARED, std::memory_order_acq_rel);
    const bool sent = SendLongData({reinterpret_cast<const uint8_t*>(header.lpData), n});
    // The port has handed the bytes on when SendLong returns: the message is done.
    if (sent) header.dwFlags.fetch_or(platform::MHDR_DONE, std::memory_order_acq_rel);
    header.dwFlags.fetch_and(~platform::MHDR_PREPARED, std::memory_order_acq_rel);
    return sent;
}

bool CMidiOut::SendLongData(std::span<const uint8_t> bytes) noexcept {
    if (!IsOpen() || bytes.empty()) return false;
    std::lock_guard lock(m_mutex);
    return m_port && m_port->SendLong(bytes);
}

bool CMidiOut::SendBytes(int status, int data1, int data2) noexcept {
    CMidiMessage message(static_cast<uint8_t>(status), static_cast<uint8_t>(data1),
                         static_cast<uint8_t>(data2));
    return Send(message);
}

bool CMidiOut::NoteOn(int channel, int key, int velocity) noexcept {
    return SendBytes(0x90 + channel, key, velocity);
}

bool CMidiOut::NoteOff(int channel, int key, int velocity) noexcept {
    return SendBytes(0x80 + channel, key, velocity);
}

bool CMidiOut::PolyPressure(int channel, int key, int value) noexcept {
    return SendBytes(0xA0 + channel, key, value);
}

bool CMidiOut::ChannelPressure(int channel, int value) noexcept {
    return SendBytes(0xD0 + channel, value, 0);
}

bool CMidiOut::ControlChange(int channel, int controller, int value) noexcept {
    return SendBytes(0xB0 + channel, controller, value);
}

bool CMidiOut::ControlChange14(int channel, int controller, int value) noexcept {
    if (!ControlChange(channel, controller, value / 128)) return false;
    return ControlChange(channel, controller + 32, value % 128);
}

bool CMidiOut::ProgramChange(int channel, int program) noexcept {
    return SendBytes(0xC0 + channel, program, 0);
}

bool CMidiOut::PitchBend(int channel, int value) noexcept {
    return SendBytes(0xE0 + channel, value % 128, value / 128);
}

bool CMidiOut::SystemReset() noexcept {
    return SendBytes(0xFF, 0, 0);
}

} // namespace zorvil
