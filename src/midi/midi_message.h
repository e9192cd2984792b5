// CMidiMessage: the record that carries every MIDI message through Zorvil (from the MIDI input,
// from the sequencer, from a plug-in's own output, towards the MIDI output).
//
// A record holds either a packed short message (status in bits 0-7, first data byte in bits
// 8-15, second in bits 16-23) or a long message (system exclusive) behind a platform::MIDIHDR.
// A long message's header either belongs to the record (one allocation: the header followed by
// its data bytes, freed when the record is released or destroyed) or is owned elsewhere (a
// device buffer) and merely pointed at.
//
// A note-on with velocity 0 is stored as the note-off it means (same channel and key, velocity
// 64), so every consumer sees one form of note-off.
//
//     CMidiMessage on(0x90, 60, 100);          // note-on, channel 1, key 60
//     CMidiMessage off(0x90, 60, 0);           // stored as 0x00403C80
//     CMidiMessage sysex;
//     sysex.SetBytes(bytes, n);                // n >= 4: an owned header+data block
//     host.QueueMidiEvent(sysex);              // the queue copies; the sender keeps its record
//
// Threads: a record belongs to one thread at a time; it carries no lock.
#pragma once

#include "platform/mm_headers.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace zorvil {

namespace detail {

// One allocation holding a device header followed by its data bytes, the shape the device layer
// expects. The header is constructed in place and destroyed before the memory is freed.
template <class Header>
struct HeaderBlockDeleter {
    void operator()(Header* header) const noexcept {
        header->~Header();
        ::operator delete(static_cast<void*>(header));
    }
};

template <class Header>
using HeaderBlock = std::unique_ptr<Header, HeaderBlockDeleter<Header>>;

// A zeroed header with lpData pointing just past it and dwBufferLength = bytes; the data is
// left for the caller to fill. Empty when the memory cannot be had or bytes does not fit the
// header's 32-bit length.
template <class Header>
HeaderBlock<Header> AllocateHeaderBlock(size_t bytes) noexcept {
    if (bytes > UINT32_MAX || bytes > SIZE_MAX - sizeof(Header)) return {};
    void* raw = ::operator new(sizeof(Header) + bytes, std::nothrow);
    if (raw == nullptr) return {};
    auto* header = new (raw) Header{};
    header->lpData = static_cast<char*>(raw) + sizeof(Header);
    header->dwBufferLength = static_cast<uint32_t>(bytes);
    return HeaderBlock<Header>(header);
}

} // namespace detail

class CMidiMessage {
public:
    CMidiMessage() noexcept = default;
    explicit CMidiMessage(uint32_t word) noexcept;
    // Each argument is cut to 8 bits.
    CMidiMessage(uint8_t status, uint8_t data1, uint8_t data2) noexcept;
    // Points at a header owned elsewhere; the caller keeps it alive while the record uses it.
    explicit CMidiMessage(platform::MIDIHDR* header) noexcept;

    CMidiMessage(CMidiMessage&& other) noexcept;
    CMidiMessage& operator=(CMidiMessage&& other) noexcept;
    CMidiMessage(const CMidiMessage&) = delete;
    CMidiMessage& operator=(const CMidiMessage&) = delete;
    ~CMidiMessage() = default;

    // Makes this record a duplicate of `source`: the short word and the time are copied, and a
    // long message's bytes are copied into a block of this record's own (whatever their count,
    // so a short system-exclusive message keeps its bytes). Returns false when that block cannot
    // be allocated; the record then holds no header.
    bool CopyFrom(const CMidiMessage& source);

    friend void swap(CMidiMessage& a, CMidiMessage& b) noexcept;

    // Empties the record: short message 0, no header, time 0. An owned block is freed rather
    // than forgotten, so Clear never leaks.
    void Clear() noexcept;
    // Frees the owned block, if any, then clears.
    void Release() noexcept;

    // Releases, then stores the word; a note-on with velocity 0 becomes a note-off with
    // velocity 64 on the same channel and key.
    void SetShortMessage(uint32_t word) noexcept;
    // Releases, then points at a header owned elsewhere.
    void SetHeader(platform::MIDIHDR* header) noexcept;
    // n < 4: a short message from the first n bytes (missing bytes zero); returns n.
    // n >= 4: an owned block holding a copy of the bytes; returns n, or 0 (the record empty)
    // when the block cannot be allocated. `bytes` may point into this record's own data.
    size_t SetBytes(const uint8_t* bytes, size_t n);

    // The bytes: the header's data, or the packed short message (status, data 1, data 2, 0).
    const uint8_t* Data() const noexcept;
    uint8_t* Data() noexcept;
    // Pointer to byte i of Data(), or null past the end of the data.
    const uint8_t* Byte(size_t i) const noexcept;
    // The first four bytes as a little-endian word (missing bytes of a shorter header read 0).
    uint32_t FirstWord() const noexcept;
    platform::MIDIHDR* Header() const noexcept { return m_pHeader; }
    // With a header: dwBytesRecorded if non-zero, else dwBufferLength. Without: by the status.
    size_t Length() const noexcept;
    uint32_t ShortMessage() const noexcept { return m_dwShortMsg; }
    // Milliseconds since the MIDI input started; 0 for messages the program makes itself.
    uint32_t Time() const noexcept { return m_dwTime; }
    void SetTime(uint32_t ms) noexcept { m_dwTime = ms; }
    bool Owns() const noexcept { return m_block != nullptr; }

    // Length of a short message by its status byte; 0 for a status that is not a sendable short
    // message (system exclusive, undefined system statuses, data bytes).
    static size_t ShortMessageLength(uint8_t status) noexcept;

private:
    // Replaces whatever the record holds with an owned copy of n bytes. False (and the record
    // empty) when the block cannot be allocated.
    bool CopyIntoOwnedBlock(const uint8_t* bytes, size_t n);

    uint32_t m_dwShortMsg = 0;
    platform::MIDIHDR* m_pHeader = nullptr; // m_block.get() when owned
    detail::HeaderBlock<platform::MIDIHDR> m_block;
    uint32_t m_dwTime = 0;
};

} // namespace zorvil
