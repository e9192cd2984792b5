#include "midi/midi_message.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace zorvil {

static_assert(std::endian::native == std::endian::little,
              "the packed short message is read byte by byte in little-endian order");

CMidiMessage::CMidiMessage(uint32_t word) noexcept {
    SetShortMessage(word);
}

CMidiMessage::CMidiMessage(uint8_t status, uint8_t data1, uint8_t data2) noexcept {
    SetShortMessage(uint32_t{status} | uint32_t{data1} << 8 | uint32_t{data2} << 16);
}

CMidiMessage::CMidiMessage(platform::MIDIHDR* header) noexcept : m_pHeader(header) {}

CMidiMessage::CMidiMessage(CMidiMessage&& other) noexcept
    : m_dwShortMsg(std::exchange(other.m_dwShortMsg, 0)),
      m_pHeader(std::exchange(other.m_pHeader, nullptr)), m_block(std::move(other.m_block)),
      m_dwTime(std::exchange(other.m_dwTime, 0)) {}

CMidiMessage& CMidiMessage::operator=(CMidiMessage&& other) noexcept {
    if (this != &other) {
        m_block = std::move(other.m_block);
        m_dwShortMsg = std::exchange(other.m_dwShortMsg, 0);
        m_pHeader = std::exchange(other.m_pHeader, nullptr);
        m_dwTime = std::exchange(other.m_dwTime, 0);
    }
    return *this;
}

void swap(CMidiMessage& a, CMidiMessage& b) noexcept {
    using std::swap;
    swap(a.m_dwShortMsg, b.m_dwShortMsg);
    swap(a.m_pHeader, b.m_pHeader);
    swap(a.m_block, b.m_block);
    swap(a.m_dwTime, b.m_dwTime);
}

bool CMidiMessage::CopyFrom(const CMidiMessage& source) {
    if (this == &source) return true;
    bool copied = true;
    if (source.m_pHeader != nullptr) {
        // Never read past the buffer, whatever dwBytesRecorded claims.
        const size_t n = std::min<size_t>(source.Length(), source.m_pHeader->dwBufferLength);
        copied = CopyIntoOwnedBlock(source.Data(), source.Data() != nullptr ? n : 0);
    } else {
        Release();
    }
    if (copied) m_dwShortMsg = source.m_dwShortMsg;
    m_dwTime = source.m_dwTime;
    return copied;
}

void CMidiMessage::Clear() noexcept {
    Release();
}

void CMidiMessage::Release() noexcept {
    m_block.reset();
    m_dwShortMsg = 0;
    m_pHeader = nullptr;
    m_dwTime = 0;
}

void CMidiMessage::SetShortMessage(uint32_t word) noexcept {
    Release();
    const bool noteOn = (word & 0xF0) == 0x90;
    const bool velocityZero = ((word >> 16) & 0xFF) == 0;
    m_dwShortMsg = noteOn && velocityZero ? (word & 0x0000FF0F) | 0x00400080 : word;
}

void CMidiMessage::SetHeader(platform::MIDIHDR* header) noexcept {
    Release();
    m_pHeader = header;
}

size_t CMidiMessage::SetBytes(const uint8_t* bytes, size_t n) {
    if (bytes == nullptr && n > 0) {
        Release();
        return 0;
    }
    if (n < 4) {
        uint32_t word = 0;
        for (size_t i = 0; i < n; ++i)
            word |= uint32_t{bytes[i]} << (8 * i);
        SetShortMessage(word);
        return n;
    }
    return CopyIntoOwnedBlock(bytes, n) ? n : 0;
}

bool CMidiMessage::CopyIntoOwnedBlock(const uint8_t* bytes, size_t n) {
    // The new block is filled before the old one is freed: `bytes` may lie in the old one.
    auto block = detail::AllocateHeaderBlock<platform::MIDIHDR>(n);
    if (!block) {
        Release();
        return false;
    }
    if (n > 0) std::memcpy(block->lpData, bytes, n);
    block->dwBytesRecorded = static_cast<uint32_t>(n);
    Release();
    m_block = std::move(block);
    m_pHeader = m_block.get();
    return true;
}

const uint8_t* CMidiMessage::Data() const noexcept {
    if (m_pHeader != nullptr) return reinterpret_cast<const uint8_t*>(m_pHeader->lpData);
    return reinterpret_cast<const uint8_t*>(&m_dwShortMsg);
}

uint8_t* CMidiMessage::Data() noexcept {
    return const_cast<uint8_t*>(std::as_const(*this).Data());
}

const uint8_t* CMidiMessage::Byte(size_t i) const noexcept {
    const uint8_t* data = Data();
    const size_t size = m_pHeader != nullptr ? m_pHeader->dwBufferLength : sizeof(m_dwShortMsg);
    return data != nullptr && i < size ? data + i : nullptr;
}

uint32_t CMidiMessage::FirstWord() const noexcept {
    if (m_pHeader == nullptr) return m_dwShortMsg;
    if (m_pHeader->lpData == nullptr) return 0;
    uint8_t bytes[4] = {};
    std::memcpy(bytes, m_pHeader->lpData,
                std::min<size_t>(sizeof(bytes), m_pHeader->dwBufferLength));
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

size_t CMidiMessage::Length() const noexcept {
    if (m_pHeader != nullptr)
        return m_pHeader->dwBytesRecorded != 0 ? m_pHeader->dwBytesRecorded
                                               : m_pHeader->dwBufferLength;
    return ShortMessageLength(static_cast<uint8_t>(m_dwShortMsg & 0xFF));
}

size_t CMidiMessage::ShortMessageLength(uint8_t status) noexcept {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 3;
    if (status < 0xE0) return 2;
    if (status < 0xF0) return 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF:
        return 1;
    default:
        return 0;
    }
}

} // namespace zorvil
