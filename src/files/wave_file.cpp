#include "files/wave_file.h"

#include "files/byte_order.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace zorvil {

using files::LoadLittleEndian16;
using files::LoadLittleEndian32;
using files::StoreLittleEndian16;
using files::StoreLittleEndian32;

namespace {

constexpr uint32_t kRiffSizeOffset = 4;
constexpr uint32_t kDataSizeOffset = 42;
// The largest data chunk whose RIFF size still fits 32 bits.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kWaveHeaderSize - 8) - 1;

std::array<uint8_t, kWaveFormatSize> FormatBytes(const WaveFormat& format) {
    std::array<uint8_t, kWaveFormatSize> bytes{};
    StoreLittleEndian16(bytes.data() + 0, format.wFormatTag);
    StoreLittleEndian16(bytes.data() + 2, format.nChannels);
    StoreLittleEndian32(bytes.data() + 4, format.nSamplesPerSec);
    StoreLittleEndian32(bytes.data() + 8, format.nAvgBytesPerSec);
    StoreLittleEndian16(bytes.data() + 12, format.nBlockAlign);
    StoreLittleEndian16(bytes.data() + 14, format.wBitsPerSample);
    StoreLittleEndian16(bytes.data() + 16, format.cbSize);
    return bytes;
}

WaveFormat FormatFromBytes(const std::array<uint8_t, kWaveFormatSize>& bytes) {
    return {LoadLittleEndian16(bytes.data() + 0),  LoadLittleEndian16(bytes.data() + 2),
            LoadLittleEndian32(bytes.data() + 4),  LoadLittleEndian32(bytes.data() + 8),
            LoadLittleEndian16(bytes.data() + 12), LoadLittleEndian16(bytes.data() + 14),
            LoadLittleEndian16(bytes.data() + 16)};
}

bool IsId(const uint8_t* bytes, const char (&id)[5]) {
    return std::memcmp(bytes, id, 4) == 0;
}

// The chunk after one of `size` bytes at `offset`: RIFF chunks are padded to even sizes.
uint64_t NextChunk(uint64_t offset, uint32_t size) {
    return offset + 8 + size + (size & 1u);
}

// Finds the sub-chunk `id` among the chunks from `offset` to `end`; returns its offset and size.
bool FindChunk(const WaveByteReader& read, uint64_t offset, uint64_t end, const char (&id)[5],
               uint64_t& found, uint32_t& size) {
    std::array<uint8_t, 8> header{};
    while (end >= 8 && offset <= end - 8) {
        if (read(offset, header) != header.size()) return false;
        size = LoadLittleEndian32(header.data() + 4);
        if (IsId(header.data(), id)) {
            found = offset;
            return true;
        }
        offset = NextChunk(offset, size);
    }
    return false;
}

} // namespace

std::string_view WaveReadErrorMessage(WaveReadError error) noexcept {
    switch (error) {
    case WaveReadError::NoRiff:
        return "Error descending into file";
    case WaveReadError::NoFormat:
        return "Error descending in wave file";
    case WaveReadError::FormatAscend:
        return "Error ascending in File";
    case WaveReadError::NoData:
        return "error reading data chunk";
    case WaveReadError::None:
        break;
    }
    return {};
}

WaveReadError LocateWaveChunks(const WaveByteReader& read, uint64_t fileSize,
                               WaveChunkLayout& layout) {
    // The RIFF chunk of form "WAVE" among the file's top-level chunks.
    uint64_t offset = 0;
    uint64_t riffStart = 0;
    uint64_t riffEnd = 0;
    bool foundRiff = false;
    std::array<uint8_t, 12> riff{};
    while (fileSize >= 8 && offset <= fileSize - 8) {
        const size_t got =
            read(offset, std::span(riff).first(std::min<uint64_t>(12, fileSize - offset)));
        if (got < 8) break;
        const uint32_t size = LoadLittleEndian32(riff.data() + 4);
        if (got == 12 && IsId(riff.data(), "RIFF") && IsId(riff.data() + 8, "WAVE")) {
            foundRiff = true;
            riffStart = offset + 12;
            riffEnd = std::min(offset + 8 + size, fileSize);
            break;
        }
        offset = NextChunk(offset, size);
    }
    if (!foundRiff) return WaveReadError::NoRiff;

    uint64_t formatOffset = 0;
    uint32_t formatSize = 0;
    if (!FindChunk(read, riffStart, riffEnd, "fmt ", formatOffset, formatSize))
        return WaveReadError::NoFormat;
    std::array<uint8_t, kWaveFormatSize> format = FormatBytes(layout.format);
    const uint64_t formatBytes =
        std::min<uint64_t>({formatSize, kWaveFormatSize, fileSize - (formatOffset + 8)});
    read(formatOffset + 8, std::span(format).first(formatBytes));
    layout.format = FormatFromBytes(format);
    if (formatOffset + 8 + formatSize > fileSize) return WaveReadError::FormatAscend;

    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    if (!FindChunk(read, NextChunk(formatOffset, formatSize), riffEnd, "data", dataOffset,
                   dataSize))
        return WaveReadError::NoData;
    layout.dataOffset = dataOffset + 8;
    layout.dataSize = std::min<uint64_t>(dataSize, fileSize - layout.dataOffset);
    return WaveReadError::None;
}

CWaveFile::CWaveFile(std::string name, const WaveFormat& format, IUserInterface* ui)
    : CSoundBase(ui), m_strFileName(std::move(name)) {
    m_format = format;
    m_nMode = Mode::Writing;
    OpenForWriting();
}

CWaveFile::CWaveFile(std::string name, IUserInterface* ui)
    : CSoundBase(ui), m_strFileName(std::move(name)) {
    m_nMode = Mode::Reading;
    OpenForReading();
}

CWaveFile::~CWaveFile() {
    Close();
}

void CWaveFile::OpenForWriting() {
    m_hFile = std::fopen(m_strFileName.c_str(), "wb");
    if (!m_hFile) {
        m_openError = platform::FileErrorCauseFromErrno(errno);
        m_nMode = Mode::Closed;
        return;
    }
    std::array<uint8_t, kWaveHeaderSize> header{};
    std::memcpy(header.data(), "RIFF", 4);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    StoreLittleEndian32(header.data() + 16, kWaveFormatSize);
    const auto format = FormatBytes(m_format);
    std::memcpy(header.data() + 20, format.data(), format.size());
    std::memcpy(header.data() + 38, "data", 4);
    if (std::fwrite(header.data(), 1, header.size(), m_hFile) != header.size()) {
        m_openError = platform::FileErrorCauseFromErrno(errno);
        std::fclose(m_hFile);
        m_hFile = nullptr;
        m_nMode = Mode::Closed;
    }
}

void CWaveFile::OpenForReading() {
    // Only a regular file: a FIFO or a device is refused without waiting on it.
    m_pReader = std::make_unique<files::FileReader>();
    m_openError = m_pReader->Open(m_strFileName);
    if (m_openError != platform::FileErrorCause::None) {
        m_pReader.reset();
        m_nMode = Mode::Closed;
        return;
    }
    files::FileReader& file = *m_pReader;
    const WaveByteReader reader = [&file](uint64_t offset, std::span<uint8_t> buffer) {
        return file.ReadAt(offset, buffer);
    };
    WaveChunkLayout layout;
    layout.format = m_format;
    const WaveReadError error = LocateWaveChunks(reader, file.Size(), layout);
    m_format = layout.format;
    if (error != WaveReadError::None) {
        Fail(error);
        return;
    }
    m_dataOffset = layout.dataOffset;
    m_dataSize = layout.dataSize;
    m_readPosition = 0;
}

void CWaveFile::Fail(WaveReadError error) {
    if (m_pUi)
        m_pUi->MessageBox(WaveReadErrorMessage(error), {}, MessageButtons::Ok, MessageIcon::None);
    m_pReader.reset();
    m_nMode = Mode::Closed;
}

bool CWaveFile::Write(const void* data, size_t bytes) {
    if (m_nMode != Mode::Writing || !m_hFile) return false;
    if (bytes > kMaxDataBytes - m_dataSize) {
        NoteWriteError(EFBIG);
        return false;
    }
    errno = 0;
    const size_t written = std::fwrite(data, 1, bytes, m_hFile);
    m_dataSize += written;
    if (written != bytes) NoteWriteError(errno);
    return written == bytes;
}

void CWaveFile::NoteWriteError(int error) noexcept {
    if (WriteFailed()) return; // the first failure is the one reported
    m_writeErrno = error != 0 ? error : EIO;
    const auto cause = platform::FileErrorCauseFromErrno(error);
    m_writeError =
        cause == platform::FileErrorCause::None ? platform::FileErrorCause::Generic : cause;
}

size_t CWaveFile::Read(void* data, size_t bytes) {
    if (m_nMode != Mode::Reading || !m_pReader) return 0;
    const uint64_t wanted = std::min<uint64_t>(bytes, m_dataSize - m_readPosition);
    const size_t got = m_pReader->ReadAt(
        m_dataOffset + m_readPosition, {static_cast<uint8_t*>(data), static_cast<size_t>(wanted)});
    m_readPosition += got;
    return got;
}

bool CWaveFile::Close() {
    if (m_pReader) {
        m_pReader.reset();
        m_nMode = Mode::Closed;
        return true;
    }
    if (!m_hFile) return !WriteFailed();
    if (m_nMode == Mode::Writing) {
        // RIFF sizes are padded to even lengths. Buffered bytes reach the disk here at the
        // latest, so a full disk may only show now.
        const uint32_t pad = static_cast<uint32_t>(m_dataSize & 1u);
        if (pad && std::fputc(0, m_hFile) == EOF) NoteWriteError(errno);
        std::array<uint8_t, 4> size{};
        const auto patch = [&](long offset, uint32_t value) {
            StoreLittleEndian32(size.data(), value);
            if (std::fseek(m_hFile, offset, SEEK_SET) != 0 ||
                std::fwrite(size.data(), 1, 4, m_hFile) != 4)
                NoteWriteError(errno);
        };
        patch(kRiffSizeOffset, static_cast<uint32_t>(kWaveHeaderSize - 8 + m_dataSize + pad));
        patch(kDataSizeOffset, static_cast<uint32_t>(m_dataSize));
    }
    if (std::fclose(m_hFile) != 0) NoteWriteError(errno);
    const bool ok = !WriteFailed();
    m_hFile = nullptr;
    m_nMode = Mode::Closed;
    return ok;
}

} // namespace zorvil
