// CWaveBuffer: the record that carries one block of audio to or from a wave device.
//
// It either owns its buffer (one allocation: a platform::WAVEHDR followed by the zero-filled
// data, lpData pointing at the data, dwBufferLength the size, dwBytesRecorded 0) or wraps a
// header owned by somebody else (a recorded input buffer handed over for one call). Device pools
// keep owned buffers for the whole run; the block is freed by Release or the destructor.
//
//     CWaveBuffer buffer(frames * 4);          // 16-bit stereo
//     std::memcpy(buffer.Data(), pcm, frames * 4);
//     buffer.Header()->dwFlags.fetch_or(platform::WHDR_PREPARED);
//
// Threads: a buffer belongs to one thread at a time, except its header's atomic flags word,
// which the device thread sets when it is done with the buffer.
#pragma once

#include "midi/midi_message.h"
#include "platform/mm_headers.h"

#include <cstddef>
#include <cstdint>

namespace zorvil {

class CWaveBuffer {
public:
    CWaveBuffer() noexcept = default;
    // An owned, zero-filled buffer of `bytes` bytes; empty (no header) when it cannot be had.
    explicit CWaveBuffer(size_t bytes) noexcept;
    // Wraps a header owned elsewhere; its present dwBufferLength is taken as the capacity.
    explicit CWaveBuffer(platform::WAVEHDR* header) noexcept
        : m_pHeader(header), m_nCapacity(header != nullptr ? header->dwBufferLength : 0) {}

    CWaveBuffer(CWaveBuffer&& other) noexcept;
    CWaveBuffer& operator=(CWaveBuffer&& other) noexcept;
    CWaveBuffer(const CWaveBuffer&) = delete;
    CWaveBuffer& operator=(const CWaveBuffer&) = delete;
    virtual ~CWaveBuffer() = default;

    // dwBytesRecorded if non-zero, else dwBufferLength; 0 without a header.
    size_t Length() const noexcept;
    // The bytes behind lpData: the allocation, whatever length the header now states (a reused
    // buffer's length is that of its last use). 0 without a header.
    size_t Capacity() const noexcept { return m_nCapacity; }
    platform::WAVEHDR* Header() const noexcept { return m_pHeader; }
    // The header's data, or null without a header.
    char* Data() const noexcept { return m_pHeader != nullptr ? m_pHeader->lpData : nullptr; }
    // Milliseconds since the wave input started.
    uint32_t Time() const noexcept { return m_dwTime; }
    void SetTime(uint32_t ms) noexcept { m_dwTime = ms; }
    bool Owns() const noexcept { return m_block != nullptr; }
    // Frees the owned block, if any; the record is left empty.
    void Release() noexcept;

private:
    platform::WAVEHDR* m_pHeader = nullptr; // m_block.get() when owned
    detail::HeaderBlock<platform::WAVEHDR> m_block;
    size_t m_nCapacity = 0;
    uint32_t m_dwTime = 0;
};

} // namespace zorvil
