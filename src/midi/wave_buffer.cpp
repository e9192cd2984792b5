#include "midi/wave_buffer.h"

#include <cstring>
#include <utility>

namespace zorvil {

CWaveBuffer::CWaveBuffer(size_t bytes) noexcept
    : m_block(detail::AllocateHeaderBlock<platform::WAVEHDR>(bytes)) {
    m_pHeader = m_block.get();
    if (m_pHeader != nullptr) m_nCapacity = bytes;
    if (m_pHeader != nullptr && bytes > 0) std::memset(m_pHeader->lpData, 0, bytes);
}

CWaveBuffer::CWaveBuffer(CWaveBuffer&& other) noexcept
    : m_pHeader(std::exchange(other.m_pHeader, nullptr)), m_block(std::move(other.m_block)),
      m_nCapacity(std::exchange(other.m_nCapacity, 0)), m_dwTime(std::exchange(other.m_dwTime, 0)) {
}

CWaveBuffer& CWaveBuffer::operator=(CWaveBuffer&& other) noexcept {
    if (this != &other) {
        m_block = std::move(other.m_block);
        m_pHeader = std::exchange(other.m_pHeader, nullptr);
        m_nCapacity = std::exchange(other.m_nCapacity, 0);
        m_dwTime = std::exchange(other.m_dwTime, 0);
    }
    return *this;
}

size_t CWaveBuffer::Length() const noexcept {
    if (m_pHeader == nullptr) return 0;
    return m_pHeader->dwBytesRecorded != 0 ? m_pHeader->dwBytesRecorded : m_pHeader->dwBufferLength;
}

void CWaveBuffer::Release() noexcept {
    m_block.reset();
    m_pHeader = nullptr;
    m_nCapacity = 0;
    m_dwTime = 0;
}

} // namespace zorvil
