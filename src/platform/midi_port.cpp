#include "platform/midi_port.h"

#include "platform/audio_device.h"

#include <algorithm>
#include <cstring>

namespace zorvil::platform {

size_t ShortMessageBytes(uint32_t word) noexcept {
    const uint8_t status = word & 0xFF;
    if (status < 0x80) return 1; // a stray data byte
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        default:
            return 1;
        }
    default:
        return 3;
    }
}

uint32_t MidiInPort::Now() const noexcept {
    return DeviceTimeMs() - m_startTime.load(std::memory_order_acquire);
}

bool MidiInPort::AddBuffer(MIDIHDR& header) noexcept {
    if (!Alive() || header.lpData == nullptr || header.dwBufferLength == 0) return false;
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_count; ++i)
        if (m_ring[(m_head + i) % kMaxBuffers] == &header) return true;
    if (m_count == kMaxBuffers) return false;
    header.dwBytesRecorded = 0;
    header.dwFlags.fetch_and(~MHDR_DONE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(MHDR_INQUEUE, std::memory_order_release);
    m_ring[(m_head + m_count) % kMaxBuffers] = &header;
    ++m_count;
    return true;
}

MIDIHDR* MidiInPort::TakeBuffer() noexcept {
    std::lock_guard lock(m_mutex);
    if (m_count == 0) return nullptr;
    MIDIHDR* h = m_ring[m_head];
    m_ring[m_head] = nullptr;
    m_head = (m_head + 1) % kMaxBuffers;
    --m_count;
    return h;
}

bool MidiInPort::Start() noexcept {
    if (!Alive()) return false;
    m_startTime.store(DeviceTimeMs(), std::memory_order_release);
    m_started.store(true, std::memory_order_release);
    return true;
}

void MidiInPort::Stop() noexcept {
    m_started.store(false, std::memory_order_release);
}

void MidiInPort::Reset() noexcept {
    Stop();
    const uint32_t now = Now();
    while (MIDIHDR* h = TakeBuffer()) {
        h->dwFlags.fetch_and(~MHDR_INQUEUE, std::memory_order_relaxed);
        h->dwFlags.fetch_or(MHDR_DONE, std::memory_order_release);
        m_handler.OnLongData(h, now);
    }
}

void MidiInPort::Deliver(std::span<const uint8_t> bytes, uint32_t ageMs) noexcept {
    if (bytes.empty() || !Started()) return;
    const uint32_t now = Now();
    const uint32_t time = ageMs < now ? now - ageMs : 0; // not before the port started
    if (bytes[0] != 0xF0) {
        // Short messages: a status and its data bytes; a longer event carries several.
        size_t i = 0;
        while (i < bytes.size()) {
            uint32_t word = bytes[i];
            const size_t n = std::min(ShortMessageBytes(word), bytes.size() - i);
            for (size_t k = 1; k < n; ++k)
                word |= static_cast<uint32_t>(bytes[i + k]) << (8 * k);
            m_handler.OnShortData(word, time);
            i += n;
        }
        return;
    }
    const bool complete = bytes.back() == 0xF7;
    size_t offset = 0;
    while (offset < bytes.size()) {
        MIDIHDR* h = TakeBuffer();
        if (h == nullptr) return; // no buffer queued: the rest is lost
        const size_t n =
            std::min<size_t>({bytes.size() - offset, h->dwBufferLength, kMidiLongBufferBytes});
        std::memcpy(h->lpData, bytes.data() + offset, n);
        h->dwBytesRecorded = static_cast<uint32_t>(n);
        offset += n;
        h->dwFlags.fetch_and(~MHDR_INQUEUE, std::memory_order_relaxed);
        h->dwFlags.fetch_or(MHDR_DONE, std::memory_order_release);
        if (offset == bytes.size() && !complete)
            m_handler.OnLongError(h, time);
        else
            m_handler.OnLongData(h, time);
    }
}

// ---- lists ----------------------------------------------------------------------------------

namespace {

std::vector<detail::MidiInEntry> InEntries() {
    std::vector<detail::MidiInEntry> list;
    detail::AddVirtualMidiIn(list);
    detail::AddJackMidiIn(list);
    detail::AddRtMidiIn(list);
    return list;
}

std::vector<detail::MidiOutEntry> OutEntries() {
    std::vector<detail::MidiOutEntry> list;
    detail::AddVirtualMidiOut(list);
    detail::AddJackMidiOut(list);
    detail::AddRtMidiOut(list);
    return list;
}

} // namespace

std::vector<MidiPortInfo> MidiInPorts() {
    std::vector<MidiPortInfo> names;
    for (auto& e : InEntries())
        names.push_back({e.name});
    return names;
}

std::vector<MidiPortInfo> MidiOutPorts() {
    std::vector<MidiPortInfo> names;
    for (auto& e : OutEntries())
        names.push_back({e.name});
    return names;
}

std::unique_ptr<MidiInPort> OpenMidiInPort(int id, IMidiInHandler& handler) {
    if (id == -1) {
        if (auto port = detail::OpenRtMidiMapperIn(handler)) return port;
        return detail::OpenJackMidiIn(handler);
    }
    auto list = InEntries();
    if (id < 0 || static_cast<size_t>(id) >= list.size()) return nullptr;
    return list[static_cast<size_t>(id)].open(handler);
}

std::unique_ptr<IMidiOutPort> OpenMidiOutPort(int id) {
    if (id == -1) {
        if (auto port = detail::OpenRtMidiMapperOut()) return port;
        return detail::OpenJackMidiOut();
    }
    auto list = OutEntries();
    if (id < 0 || static_cast<size_t>(id) >= list.size()) return nullptr;
    return list[static_cast<size_t>(id)].open();
}

} // namespace zorvil::platform
