#include "files/fx_bank.h"

#include "files/file_io.h"
#include "files/file_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

namespace zorvil {

using files::LoadNative32;
using files::StoreNative32;

namespace {

std::unique_ptr<uint8_t[]> AllocateZeroed(size_t size) {
    // No exception on failure: the callers report "Memory Allocation Error" themselves.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (bytes) std::memset(bytes.get(), 0, size == 0 ? 1 : size);
    return bytes;
}

void SwapWords(uint8_t* p, size_t words, bool swap) noexcept {
    if (!swap) return;
    for (size_t i = 0; i < words; ++i)
        files::SwapInPlace32(p + 4 * i);
}

int32_t Int32At(const uint8_t* p) noexcept {
    return static_cast<int32_t>(LoadNative32(p));
}

// Visits the program records of a parameter bank one after another. `count(record)` reads a
// record's parameter count before `visit(record, count)` may change the record. Returns false
// where a record is damaged (negative count) or would end beyond the data, or where visit
// returns false.
template <class Count, class Visit>
bool WalkPrograms(uint8_t* data, size_t size, int32_t programs, Count count, Visit visit) {
    size_t offset = fxb::kHeaderSize;
    for (int32_t i = 0; i < programs; ++i) {
        if (size - offset < fxb::kProgramHeaderSize) return false;
        uint8_t* record = data + offset;
        const int32_t parameters = count(record);
        if (parameters < 0) return false;
        const uint64_t recordSize = fxb::ProgramRecordSize(static_cast<uint64_t>(parameters));
        if (recordSize > size - offset) return false;
        if (!visit(record, parameters)) return false;
        offset += static_cast<size_t>(recordSize);
    }
    return true;
}

int32_t NativeCount(const uint8_t* record) noexcept {
    return Int32At(record + fxb::kCountOffset);
}

// Turns a bank read from a file into native order, checking every length before it touches the
// bytes. Returns false for anything but a complete bank; `chunk` tells which kind it is.
bool ConvertToNative(uint8_t* data, size_t size, bool swap, bool& chunk) noexcept {
    if (size < fxb::kHeaderSize) return false;
    SwapWords(data, fxb::kHeaderWords, swap);
    if (LoadNative32(data + fxb::kChunkMagicOffset) != fxb::kChunkMagic) return false;
    if (Int32At(data + fxb::kVersionOffset) > 1) return false;
    const uint32_t fxMagic = LoadNative32(data + fxb::kFxMagicOffset);
    if (fxMagic == fxb::kBankMagic) {
        const auto fileCount = [swap](const uint8_t* record) {
            const uint32_t word = LoadNative32(record + fxb::kCountOffset);
            return static_cast<int32_t>(swap ? files::ByteSwap32(word) : word);
        };
        const auto toNative = [swap](uint8_t* record, int32_t parameters) {
            SwapWords(record, fxb::kHeaderWords, swap);
            if (LoadNative32(record + fxb::kChunkMagicOffset) != fxb::kChunkMagic ||
                LoadNative32(record + fxb::kFxMagicOffset) != fxb::kProgramMagic)
                return false;
            SwapWords(record + fxb::kProgramHeaderSize, static_cast<size_t>(parameters), swap);
            return true;
        };
        chunk = false;
        return WalkPrograms(data, size, Int32At(data + fxb::kCountOffset), fileCount, toNative);
    }
    if (fxMagic == fxb::kChunkBankMagic) {
        if (size < fxb::kChunkDataOffset) return false;
        SwapWords(data + fxb::kChunkSizeOffset, 1, swap);
        if (LoadNative32(data + fxb::kChunkSizeOffset) > size - fxb::kChunkDataOffset) return false;
        chunk = true;
        return true;
    }
    return false;
}

// Turns a copy of an in-memory bank into file order. The walk over the program records stops
// where a record would end beyond the data.
void ConvertToFileOrder(uint8_t* data, size_t size, bool chunk, bool swap) noexcept {
    if (!swap || size < fxb::kHeaderSize) return;
    const int32_t programs = Int32At(data + fxb::kCountOffset);
    SwapWords(data, fxb::kHeaderWords, swap);
    if (chunk) {
        if (size >= fxb::kChunkDataOffset) SwapWords(data + fxb::kChunkSizeOffset, 1, swap);
        return;
    }
    WalkPrograms(data, size, programs, NativeCount, [swap](uint8_t* record, int32_t parameters) {
        SwapWords(record, fxb::kHeaderWords, swap);
        SwapWords(record + fxb::kProgramHeaderSize, static_cast<size_t>(parameters), swap);
        return true;
    });
}

// Reads a bank file whole into memory of exactly its size, after a look at its header: a file
// that is no bank is refused before its size is allocated. Null when it is no bank, cannot be
// read or does not fit in memory.
std::unique_ptr<uint8_t[]> ReadBankFile(const std::string& path, size_t& size) {
    files::FileReader file;
    if (file.Open(path) != platform::FileErrorCause::None || file.Size() < fxb::kHeaderSize ||
        file.Size() > files::kMaxFileBytes)
        return nullptr;
    std::array<uint8_t, fxb::kHeaderSize> header{};
    if (file.ReadAt(0, header) != header.size()) return nullptr;
    const auto word = [&](size_t offset) { return files::LoadBigEndian32(header.data() + offset); };
    const uint32_t fxMagic = word(fxb::kFxMagicOffset);
    if (word(fxb::kChunkMagicOffset) != fxb::kChunkMagic ||
        static_cast<int32_t>(word(fxb::kVersionOffset)) > 1 ||
        (fxMagic != fxb::kBankMagic && fxMagic != fxb::kChunkBankMagic))
        return nullptr;
    size = static_cast<size_t>(file.Size());
    auto data = AllocateZeroed(size);
    if (!data || file.Read({data.get(), size}) != size) return nullptr;
    return data;
}

} // namespace

std::string_view FxProgramRecord::Name() const noexcept {
    const char* name = reinterpret_cast<const char*>(m_record + fxb::kNameOffset);
    return {name, strnlen(name, fxb::kProgramNameSize - 1)};
}

void FxProgramRecord::SetName(std::string_view name) noexcept {
    uint8_t* field = m_record + fxb::kNameOffset;
    std::memset(field, 0, fxb::kProgramNameSize);
    std::memcpy(field, name.data(), std::min(name.size(), fxb::kProgramNameSize - 1));
}

float FxProgramRecord::Param(int32_t j) const noexcept {
    float value;
    std::memcpy(&value, m_record + fxb::kProgramHeaderSize + 4 * static_cast<size_t>(j), 4);
    return value;
}

void FxProgramRecord::SetParam(int32_t j, float value) noexcept {
    std::memcpy(m_record + fxb::kProgramHeaderSize + 4 * static_cast<size_t>(j), &value, 4);
}

CFxBank::~CFxBank() = default;

bool CFxBank::CreateParamBank(int32_t programs, int32_t parameters) {
    if (programs < 0 || parameters < 0) return false;
    const uint64_t recordSize = fxb::ProgramRecordSize(static_cast<uint64_t>(parameters));
    const uint64_t size = fxb::kHeaderSize + static_cast<uint64_t>(programs) * recordSize;
    if (size > files::kMaxFileBytes) return false;
    auto data = AllocateZeroed(static_cast<size_t>(size));
    if (!data) return false;
    StoreNative32(data.get() + fxb::kChunkMagicOffset, fxb::kChunkMagic);
    StoreNative32(data.get() + fxb::kFxMagicOffset, fxb::kBankMagic);
    StoreNative32(data.get() + fxb::kVersionOffset, 1);
    StoreNative32(data.get() + fxb::kCountOffset, static_cast<uint32_t>(programs));
    for (int32_t i = 0; i < programs; ++i) {
        uint8_t* record = data.get() + fxb::kHeaderSize + static_cast<size_t>(i) * recordSize;
        StoreNative32(record + fxb::kChunkMagicOffset, fxb::kChunkMagic);
        StoreNative32(record + fxb::kFxMagicOffset, fxb::kProgramMagic);
        StoreNative32(record + fxb::kVersionOffset, 1);
        StoreNative32(record + fxb::kCountOffset, static_cast<uint32_t>(parameters));
    }
    m_pData = std::move(data);
    m_nSize = static_cast<size_t>(size);
    m_bChunk = false;
    return true;
}

bool CFxBank::CreateChunkBank(size_t size) {
    if (size > files::kMaxFileBytes - fxb::kChunkDataOffset) return false;
    const size_t total = fxb::kChunkDataOffset + size;
    auto data = AllocateZeroed(total);
    if (!data) return false;
    StoreNative32(data.get() + fxb::kChunkMagicOffset, fxb::kChunkMagic);
    StoreNative32(data.get() + fxb::kFxMagicOffset, fxb::kChunkBankMagic);
    StoreNative32(data.get() + fxb::kVersionOffset, 1);
    StoreNative32(data.get() + fxb::kCountOffset, 1);
    StoreNative32(data.get() + fxb::kChunkSizeOffset, static_cast<uint32_t>(size));
    m_pData = std::move(data);
    m_nSize = total;
    m_bChunk = true;
    return true;
}

FxProgramRecord CFxBank::GetProgram(int32_t i) noexcept {
    if (!m_pData || m_bChunk || i < 0 || i >= NumPrograms()) return {};
    if (m_nSize < fxb::kHeaderSize + fxb::kProgramHeaderSize) return {};
    const int32_t parameters = Int32At(m_pData.get() + fxb::kHeaderSize + fxb::kCountOffset);
    if (parameters < 0) return {};
    const uint64_t stride = fxb::ProgramRecordSize(static_cast<uint64_t>(parameters));
    const uint64_t offset = fxb::kHeaderSize + static_cast<uint64_t>(i) * stride;
    if (offset + stride > m_nSize) return {};
    return FxProgramRecord(m_pData.get() + offset);
}

void CFxBank::SetMemoryImage(std::span<const uint8_t> image) {
    auto copy = AllocateZeroed(image.size());
    if (!copy) throw std::bad_alloc();
    if (!image.empty()) std::memcpy(copy.get(), image.data(), image.size());
    m_pImage = std::move(copy);
    m_nImageSize = image.size();
}

bool IsChunkBankImage(std::span<const uint8_t> image) noexcept {
    return image.size() >= fxb::kHeaderSize &&
           files::LoadBigEndian32(image.data() + fxb::kChunkMagicOffset) == fxb::kChunkMagic &&
           files::LoadBigEndian32(image.data() + fxb::kFxMagicOffset) == fxb::kChunkBankMagic;
}

bool CFxBank::LoadFromFile(std::string_view name) {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    if (name == kBankMemoryName) {
        if (!m_pImage) return false;
        data = AllocateZeroed(m_nImageSize);
        if (!data) return false;
        std::memcpy(data.get(), m_pImage.get(), m_nImageSize);
        size = m_nImageSize;
    } else {
        data = ReadBankFile(std::string(name), size);
        if (!data) return false;
    }
    bool chunk = false;
    if (!ConvertToNative(data.get(), size, m_bSwap, chunk)) return false;
    m_pData = std::move(data);
    m_nSize = size;
    m_bChunk = chunk;
    return true;
}

bool CFxBank::SaveToFile(std::string_view name) {
    if (!m_pData) return false;
    auto copy = AllocateZeroed(m_nSize);
    if (!copy) return false;
    std::memcpy(copy.get(), m_pData.get(), m_nSize);
    ConvertToFileOrder(copy.get(), m_nSize, m_bChunk, m_bSwap);
    if (name == kBankMemoryName) {
        m_pImage = std::move(copy);
        m_nImageSize = m_nSize;
        return true;
    }
    return files::WriteFileAtomically(std::string(name), {copy.get(), m_nSize}) ==
           platform::FileErrorCause::None;
}

void CFxBank::SetIdentity(int32_t fxId, int32_t fxVersion) noexcept {
    if (!m_pData) return;
    uint8_t* data = m_pData.get();
    StoreNative32(data + fxb::kByteSizeOffset, static_cast<uint32_t>(m_nSize - 8));
    StoreNative32(data + fxb::kFxIdOffset, static_cast<uint32_t>(fxId));
    StoreNative32(data + fxb::kFxVersionOffset, static_cast<uint32_t>(fxVersion));
    if (m_bChunk) return;
    WalkPrograms(
        data, m_nSize, NumPrograms(), NativeCount,
        [fxId, fxVersion](uint8_t* record, int32_t parameters) {
            const uint64_t size = fxb::ProgramRecordSize(static_cast<uint64_t>(parameters));
            StoreNative32(record + fxb::kByteSizeOffset, static_cast<uint32_t>(size - 8));
            StoreNative32(record + fxb::kFxIdOffset, static_cast<uint32_t>(fxId));
            StoreNative32(record + fxb::kFxVersionOffset, static_cast<uint32_t>(fxVersion));
            return true;
        });
}

int32_t CFxBank::HeaderField(size_t offset) const noexcept {
    if (!m_pData || offset + 4 > m_nSize) return 0;
    return Int32At(m_pData.get() + offset);
}

std::span<uint8_t> CFxBank::ChunkData() noexcept {
    if (!m_pData || !m_bChunk) return {};
    return {m_pData.get() + fxb::kChunkDataOffset,
            LoadNative32(m_pData.get() + fxb::kChunkSizeOffset)};
}

std::span<const uint8_t> CFxBank::ChunkData() const noexcept {
    return const_cast<CFxBank*>(this)->ChunkData();
}

} // namespace zorvil
