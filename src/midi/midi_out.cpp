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

namespace {

constexpr uint8_t kSustainPedal = 64;
constexpr uint8_t kAllNotesOff = 123;
constexpr uint8_t kNoteOffVelocity = 64;

uint32_t Word(int status, int data1, int data2) noexcept {
    return static_cast<uint32_t>(status & 0xFF) | static_cast<uint32_t>(data1 & 0xFF) << 8 |
           static_cast<uint32_t>(data2 & 0xFF) << 16;
}

} // namespace

bool CMidiOut::Reset() {
    std::lock_guard lock(m_mutex);
    if (!IsOpen() || !m_port) return false;
    for (int channel = 0; channel < 16; ++channel) {
        for (int key = 0; key < 128; ++key) {
            if (!m_sounding[static_cast<size_t>(channel)].test(static_cast<size_t>(key))) continue;
            uint8_t noteOff[3] = {static_cast<uint8_t>(0x80 + channel), static_cast<uint8_t>(key),
                                  kNoteOffVelocity};
            SendShortLocked(noteOff);
        }
    }
    for (int channel = 0; channel < 16; ++channel) {
        for (const uint8_t controller : {kSustainPedal, kAllNotesOff}) {
            uint8_t control[3] = {static_cast<uint8_t>(0xB0 + channel), controller, 0};
            SendShortLocked(control);
        }
    }
    m_port->Reset();
    return true;
}

int CMidiOut::SoundingNotes() const noexcept {
    std::lock_guard lock(m_mutex);
    int count = 0;
    for (const auto& keys : m_sounding)
        count += static_cast<int>(keys.count());
    return count;
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
    std::lock_guard lock(m_mutex);
    if (!m_port) return false;
    return SendShortLocked(message.Data());
}

bool CMidiOut::SendShortLocked(uint8_t* bytes) noexcept {
    const auto word = [bytes] { return Word(bytes[0], bytes[1], bytes[2]); };
    const uint8_t status = bytes[0];
    const uint8_t channel = status & 0x0F;
    if (status >= 0xF0) return m_port->SendShort(word());
    if ((status & 0xF0) == 0x80 && m_dwLastStatus == 0x90u + channel) {
        // A note-off after a note-on on its channel goes out as a note-on of velocity 0, and
        // the caller's record says so too.
        bytes[0] = static_cast<uint8_t>(0x90 + channel);
        bytes[2] = 0;
    }
    m_dwLastStatus = bytes[0];
    const uint8_t kind = bytes[0] & 0xF0;
    const size_t key = bytes[1] & 0x7F;
    if (kind == 0x90 && bytes[2] != 0)
        m_sounding[channel].set(key);
    else if (kind == 0x80 || kind == 0x90)
        m_sounding[channel].reset(key);
    return m_port->SendShort(word());
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
