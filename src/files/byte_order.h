// Byte-order helpers for the file formats: bank files are big-endian, project and wave files
// little-endian, MIDI files big-endian. All reads and writes go through memcpy, so records may
// sit at any offset of a byte buffer.
//
//     uint32_t size = LoadBigEndian32(bytes.data() + 156);
//     StoreLittleEndian32(header + 4, fileSize - 8);
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace zorvil::files {

constexpr uint32_t ByteSwap32(uint32_t value) noexcept {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
           (value >> 24);
}

constexpr uint16_t ByteSwap16(uint16_t value) noexcept {
    return static_cast<uint16_t>((value << 8) | (value >> 8));
}

// A four-character code as a number whose big-endian bytes spell it: FourCC("CcnK").
constexpr uint32_t FourCC(const char (&text)[5]) noexcept {
    return (static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

inline uint32_t LoadNative32(const uint8_t* p) noexcept {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

inline void StoreNative32(uint8_t* p, uint32_t value) noexcept {
    std::memcpy(p, &value, 4);
}

inline uint32_t LoadBigEndian32(const uint8_t* p) noexcept {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBigEndian32(uint8_t* p, uint32_t value) noexcept {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

inline uint32_t LoadLittleEndian32(const uint8_t* p) noexcept {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t LoadLittleEndian16(const uint8_t* p) noexcept {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void StoreLittleEndian32(uint8_t* p, uint32_t value) noexcept {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline void StoreLittleEndian16(uint8_t* p, uint16_t value) noexcept {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

// Swaps the 32-bit word at p in place (file order <-> native order).
inline void SwapInPlace32(uint8_t* p) noexcept {
    StoreNative32(p, ByteSwap32(LoadNative32(p)));
}

// True on the little-endian targets we build for: bank files need their words swapped.
inline constexpr bool kBigEndianFilesNeedSwap = std::endian::native == std::endian::little;

} // namespace zorvil::files
