// CWaveFile: a RIFF/WAVE file written block by block (the render target) or opened for reading.
//
// Writing lays out a 46-byte header: "RIFF", size, "WAVE", an 18-byte "fmt " chunk (the whole
// WAVEFORMATEX, extra-size field included) and the "data" chunk header; sample bytes follow.
// Close patches the RIFF size (file size - 8) and the data size. Reading finds the RIFF chunk of
// form "WAVE", its "fmt " chunk (at most 18 bytes read into the format) and its "data" chunk; a
// file that lacks one shows its message and closes.
//
//     CWaveFile file("/tmp/out.wav", kRenderFormat, &ui);
//     if (file.GetMode() != CWaveFile::Mode::Writing) report(file.OpenError());
//     file.Write(samples, bytes);
//     file.Close();                      // also done by the destructor
//
// Threads: a render creates the file on the user-interface thread and writes it on the engine
// thread; one thread at a time.
#pragma once

#include "files/file_reader.h"
#include "files/sound_base.h"
#include "platform/file_error.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zorvil {

inline constexpr size_t kWaveHeaderSize = 46;

// Where the chunks of a wave file are, as found by LocateWaveChunks.
struct WaveChunkLayout {
    WaveFormat format;       // the file's format record (bytes it lacks keep their defaults)
    uint64_t dataOffset = 0; // first sample byte
    uint64_t dataSize = 0;   // sample bytes present in the file (at most the declared size)
};

enum class WaveReadError { None, NoRiff, NoFormat, FormatAscend, NoData };

// "Error descending into file", "Error descending in wave file", "Error ascending in File",
// "error reading data chunk"; empty for None.
std::string_view WaveReadErrorMessage(WaveReadError error) noexcept;

// Reads up to buffer.size() bytes at offset and returns how many it read.
using WaveByteReader = std::function<size_t(uint64_t offset, std::span<uint8_t> buffer)>;

// Walks the chunks of a file of `fileSize` bytes. Every size is checked against the file before
// it is used; `layout.format` keeps its incoming values where the file's record is shorter.
WaveReadError LocateWaveChunks(const WaveByteReader& read, uint64_t fileSize,
                               WaveChunkLayout& layout);

class CWaveFile : public CSoundBase {
public:
    enum class Mode : int32_t { Closed = 0, Reading = 1, Writing = 2 };

    // Creates (or truncates) the file and writes its headers with this format.
    CWaveFile(std::string name, const WaveFormat& format, IUserInterface* ui = nullptr);
    // Opens the file for reading and finds its chunks.
    explicit CWaveFile(std::string name, IUserInterface* ui = nullptr);
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;
    ~CWaveFile() override;

    // Writing: appends sample bytes. True when all were written.
    bool Write(const void* data, size_t bytes);
    // Reading: reads sample bytes from the data chunk; returns how many.
    size_t Read(void* data, size_t bytes);
    // Writing: patches both sizes. Returns false when a write, the patch or the close failed.
    bool Close();

    Mode GetMode() const noexcept { return m_nMode; }
    const std::string& GetFileName() const noexcept { return m_strFileName; }
    // Why the file could not be opened (None when it was).
    platform::FileErrorCause OpenError() const noexcept { return m_openError; }
    // Why the first write (or the close) failed: DiskFull for a full disk; None while none did.
    platform::FileErrorCause WriteError() const noexcept { return m_writeError; }
    uint64_t GetDataSize() const noexcept { return m_dataSize; }
    // The errno of that first failure (0: none failed).
    int WriteErrno() const noexcept { return m_writeErrno; }

private:
    void OpenForWriting();
    void OpenForReading();
    void Fail(WaveReadError error);
    void NoteWriteError(int error) noexcept;
    bool WriteFailed() const noexcept { return m_writeError != platform::FileErrorCause::None; }

    std::FILE* m_hFile = nullptr;                 // writing
    std::unique_ptr<files::FileReader> m_pReader; // reading
    std::string m_strFileName;
    Mode m_nMode = Mode::Closed;
    platform::FileErrorCause m_openError = platform::FileErrorCause::None;
    platform::FileErrorCause m_writeError = platform::FileErrorCause::None;
    uint64_t m_dataOffset = 0; // reading: first sample byte; writing: unused
    uint64_t m_dataSize = 0;   // sample bytes in the data chunk
    uint64_t m_readPosition = 0;
    int m_writeErrno = 0;
};

} // namespace zorvil
