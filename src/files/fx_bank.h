// CFxBank: one VST bank (".fxb"), the published big-endian format that stores a plug-in's whole
// state, either as all its programs with their names and parameter values ("FxBk") or as the
// plug-in's opaque chunk ("FBCh").
//
// In memory the bank keeps the file's layout with every 32-bit integer and float of the headers
// and program records in native byte order; chunk bytes are never swapped. The reserved file name
// "TSNTEMP" makes LoadFromFile and SaveToFile work on a memory image instead of a file: that is
// how projects embed a plug-in's state.
//
//     CFxBank bank;
//     bank.CreateParamBank(2, 3);                  // 156 + 2 * (56 + 4 * 3) = 292 bytes
//     bank.GetProgram(0).SetName("Init");
//     bank.GetProgram(0).SetParam(0, 0.5f);
//     bank.SetIdentity('ZPrb', 1);                 // IDs and every byteSize
//     bank.SaveToFile("/tmp/probe.fxb");
//
//     CFxBank loaded;
//     if (!loaded.LoadFromFile("/tmp/probe.fxb")) ...;   // "Bank could not be loaded"
//
// The reader checks every length before it reads: a file shorter than its header, a program
// record or chunk that ends beyond the data, or a file over 2 GiB is refused, and nothing is
// allocated from a size field.
#pragma once

#include "files/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace zorvil {

// The file name that selects the memory image.
inline constexpr std::string_view kBankMemoryName = "TSNTEMP";

namespace fxb {
inline constexpr uint32_t kChunkMagic = files::FourCC("CcnK");
inline constexpr uint32_t kBankMagic = files::FourCC("FxBk");
inline constexpr uint32_t kChunkBankMagic = files::FourCC("FBCh");
inline constexpr uint32_t kProgramMagic = files::FourCC("FxCk");

inline constexpr size_t kHeaderSize = 156;       // bank header, future field included
inline constexpr size_t kChunkSizeOffset = 156;  // chunk bank: the chunk size
inline constexpr size_t kChunkDataOffset = 160;  // chunk bank: the chunk bytes
inline constexpr size_t kProgramHeaderSize = 56; // program record before its parameters
inline constexpr size_t kProgramNameSize = 28;

// Offsets of the 32-bit fields shared by the bank header and program records.
inline constexpr size_t kChunkMagicOffset = 0;
inline constexpr size_t kByteSizeOffset = 4;
inline constexpr size_t kFxMagicOffset = 8;
inline constexpr size_t kVersionOffset = 12;
inline constexpr size_t kFxIdOffset = 16;
inline constexpr size_t kFxVersionOffset = 20;
inline constexpr size_t kCountOffset = 24; // numPrograms in the bank, numParams in a program
inline constexpr size_t kNameOffset = 28;  // program name
inline constexpr size_t kHeaderWords = 7;

// Bytes of one program record with n parameters.
constexpr uint64_t ProgramRecordSize(uint64_t parameters) noexcept {
    return kProgramHeaderSize + 4 * parameters;
}
} // namespace fxb

// Whether a bank image in file order (a bank file's bytes, a project's embedded state) is a chunk
// bank ("FBCh"), judged by its header alone.
bool IsChunkBankImage(std::span<const uint8_t> image) noexcept;

// A view of one program record inside a bank's data (native byte order). Empty (false) when the
// bank has no such program.
class FxProgramRecord {
public:
    FxProgramRecord() = default;
    explicit FxProgramRecord(uint8_t* record) noexcept : m_record(record) {}

    explicit operator bool() const noexcept { return m_record != nullptr; }
    const uint8_t* Bytes() const noexcept { return m_record; }

    int32_t NumParams() const noexcept { return Field(fxb::kCountOffset); }
    int32_t FxId() const noexcept { return Field(fxb::kFxIdOffset); }
    int32_t FxVersion() const noexcept { return Field(fxb::kFxVersionOffset); }
    int32_t ByteSize() const noexcept { return Field(fxb::kByteSizeOffset); }
    // The name up to its terminator, at most 27 characters.
    std::string_view Name() const noexcept;
    // Stores at most the first 27 characters, zero-filled to 28 bytes.
    void SetName(std::string_view name) noexcept;
    // Parameter j; the caller keeps j below the record's parameter count.
    float Param(int32_t j) const noexcept;
    void SetParam(int32_t j, float value) noexcept;

private:
    int32_t Field(size_t offset) const noexcept {
        return static_cast<int32_t>(files::LoadNative32(m_record + offset));
    }
    uint8_t* m_record = nullptr;
};

class CFxBank {
public:
    CFxBank() = default;
    CFxBank(const CFxBank&) = delete;
    CFxBank& operator=(const CFxBank&) = delete;
    virtual ~CFxBank();

    // A zeroed parameter bank of `programs` records of `parameters` values, with magics, versions
    // and counts filled in. False (and the bank unchanged) for negative counts or a bank that
    // would not fit 2 GiB.
    bool CreateParamBank(int32_t programs, int32_t parameters);
    // A zeroed chunk bank with room for `size` chunk bytes. False for a size beyond 2 GiB.
    bool CreateChunkBank(size_t size);

    // The i-th program record, or an empty record (no data, a chunk bank, i out of range, or a
    // record that would end beyond the data). The stride is that of the first program.
    FxProgramRecord GetProgram(int32_t i) noexcept;

    // Keeps a copy of these bytes as the "TSNTEMP" image.
    void SetMemoryImage(std::span<const uint8_t> image);
    std::span<const uint8_t> GetMemoryImage() const noexcept {
        return {m_pImage.get(), m_nImageSize};
    }

    // Reads a bank file (or the memory image for "TSNTEMP"), swaps it to native order and checks
    // it. False, with the bank unchanged, for anything that is not a complete, valid bank.
    bool LoadFromFile(std::string_view name);
    // Writes the bank in file order (to the memory image for "TSNTEMP", replacing an earlier one).
    // False without data or when the file cannot be written; an existing file is then kept.
    bool SaveToFile(std::string_view name);

    // The header's identity: fxID, fxVersion of the bank and of every program record, and every
    // byteSize (the bank's data size - 8, each program's 48 + 4 * n).
    void SetIdentity(int32_t fxId, int32_t fxVersion) noexcept;

    bool HasData() const noexcept { return m_pData != nullptr; }
    bool IsChunk() const noexcept { return m_bChunk; }
    std::span<const uint8_t> Data() const noexcept { return {m_pData.get(), m_nSize}; }
    int32_t HeaderField(size_t offset) const noexcept;
    int32_t FxId() const noexcept { return HeaderField(fxb::kFxIdOffset); }
    int32_t FxVersion() const noexcept { return HeaderField(fxb::kFxVersionOffset); }
    int32_t NumPrograms() const noexcept { return HeaderField(fxb::kCountOffset); }
    // Chunk bank: the chunk bytes (empty for a parameter bank).
    std::span<uint8_t> ChunkData() noexcept;
    std::span<const uint8_t> ChunkData() const noexcept;

private:
    std::unique_ptr<uint8_t[]> m_pImage; // the "TSNTEMP" image, file order
    size_t m_nImageSize = 0;
    std::unique_ptr<uint8_t[]> m_pData; // the bank, native order
    size_t m_nSize = 0;
    bool m_bChunk = false;
    bool m_bSwap = files::kBigEndianFilesNeedSwap;
};

} // namespace zorvil
