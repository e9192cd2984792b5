// Buffer headers shared by the program and the audio and MIDI device layer, in the shape the
// device classes were designed around: a header describes one buffer (its data pointer and
// lengths) and carries the device's state bits.
//
// The device thread sets WHDR_DONE / MHDR_DONE when it has finished with a buffer while the
// program's threads read it, so the flags word is atomic. Everything else in a header belongs
// to whoever currently holds the buffer.
//
//     WAVEHDR& h = ...;            // a buffer of the output pool
//     h.dwBufferLength = bytes;
//     h.dwFlags.fetch_or(WHDR_PREPARED);
//     device.Write(h);             // later: (h.dwFlags & WHDR_DONE) != 0
#pragma once

#include <atomic>
#include <cstdint>

namespace zorvil::platform {

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

inline constexpr uint32_t MHDR_DONE = 0x01;
inline constexpr uint32_t MHDR_PREPARED = 0x02;
inline constexpr uint32_t MHDR_INQUEUE = 0x04;

struct WAVEHDR {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    std::atomic<uint32_t> dwFlags{0};
    WAVEHDR* lpNext = nullptr;
};

struct MIDIHDR {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    std::atomic<uint32_t> dwFlags{0};
    MIDIHDR* lpNext = nullptr;
    uint32_t dwOffset = 0;
};

} // namespace zorvil::platform
