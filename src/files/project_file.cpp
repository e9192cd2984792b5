#include "files/project_file.h"

#include "files/byte_order.h"
#include "files/file_io.h"
#include "files/file_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace zorvil {

using files::LoadLittleEndian32;
using files::StoreLittleEndian32;

namespace {

constexpr uint8_t kMagic[4] = {'T', 'S', 'N', 0};

void AppendInt32(std::vector<uint8_t>& out, int32_t value) {
    const size_t at = out.size();
    out.resize(at + 4);
    StoreLittleEndian32(out.data() + at, static_cast<uint32_t>(value));
}

} // namespace

bool LibraryPathFitsProject(std::string_view path) noexcept {
    return path.size() < kLibraryPathField && path.find('\0') == std::string_view::npos;
}

std::string LibraryPathTooLongMessage(std::string_view path) {
    return "Library path too long for a project file (at most 255 bytes): " +
           platform::PrintablePath(path);
}

std::optional<std::vector<uint8_t>> SerializeProject(const ProjectImage& image) {
    if (image.effects.size() > kProjectMaxEffects) return std::nullopt;
    size_t size = kProjectHeaderSize + image.notes.size() * kProjectNoteSize;
    for (const EffectImage& effect : image.effects) {
        if (!LibraryPathFitsProject(effect.libraryPath) ||
            effect.bank.size() > files::kMaxFileBytes)
            return std::nullopt;
        size += kProjectEffectSize + effect.bank.size();
    }
    std::vector<uint8_t> out;
    out.reserve(size);
    out.insert(out.end(), std::begin(kMagic), std::end(kMagic));
    AppendInt32(out, image.version);
    AppendInt32(out, static_cast<int32_t>(image.effects.size()));
    AppendInt32(out, static_cast<int32_t>(image.notes.size()));
    AppendInt32(out, image.tempo);
    AppendInt32(out, image.measures);
    AppendInt32(out, image.stepsPerMeasure);
    // Enumeration order whatever order the caller gave: step ascending, then key.
    std::vector<NoteRecord> notes = image.notes;
    std::stable_sort(notes.begin(), notes.end(), [](const NoteRecord& a, const NoteRecord& b) {
        return a.step != b.step ? a.step < b.step : a.key < b.key;
    });
    for (const NoteRecord& note : notes) {
        AppendInt32(out, note.step);
        AppendInt32(out, note.key);
        AppendInt32(out, note.velocity);
        AppendInt32(out, note.length);
    }
    for (const EffectImage& effect : image.effects) {
        // Zeros after the terminator keep saved files reproducible.
        const size_t at = out.size();
        out.resize(at + kLibraryPathField, 0);
        std::memcpy(out.data() + at, effect.libraryPath.data(), effect.libraryPath.size());
        AppendInt32(out, static_cast<int32_t>(effect.bank.size()));
        AppendInt32(out, effect.program);
        out.insert(out.end(), effect.bank.begin(), effect.bank.end());
    }
    return out;
}

namespace {

// Where the reader takes its bytes from: bytes in memory, or a file read piece by piece, so that
// reading a file needs no more memory than the bank images it holds.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Remaining() const noexcept = 0;
    // Fills `buffer` whole; false (with nothing promised about the buffer) when the source ends
    // first or fails.
    virtual bool Take(std::span<uint8_t> buffer) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) noexcept : m_bytes(bytes) {}
    uint64_t Remaining() const noexcept override { return m_bytes.size(); }
    bool Take(std::span<uint8_t> buffer) override {
        if (buffer.size() > m_bytes.size()) return false;
        std::copy_n(m_bytes.begin(), buffer.size(), buffer.begin());
        m_bytes = m_bytes.subspan(buffer.size());
        return true;
    }

private:
    std::span<const uint8_t> m_bytes;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(files::FileReader& file) : m_file(file), m_buffer(kBufferSize) {}
    uint64_t Remaining() const noexcept override { return m_file.Remaining() + Buffered(); }
    bool Take(std::span<uint8_t> buffer) override {
        // Small records come from a buffer (one read for many notes), banks straight from
        // the file.
        const size_t fromBuffer = std::min(buffer.size(), Buffered());
        std::copy_n(m_buffer.begin() + static_cast<ptrdiff_t>(m_start), fromBuffer, buffer.begin());
        m_start += fromBuffer;
        buffer = buffer.subspan(fromBuffer);
        if (buffer.empty()) return true;
        if (buffer.size() >= kBufferSize) return m_file.Read(buffer) == buffer.size();
        m_start = 0;
        m_end = m_file.Read(m_buffer);
        if (m_end < buffer.size()) return false;
        std::copy_n(m_buffer.begin(), buffer.size(), buffer.begin());
        m_start = buffer.size();
        return true;
    }

private:
    static constexpr size_t kBufferSize = 65536;
    size_t Buffered() const noexcept { return m_end - m_start; }

    files::FileReader& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    size_t m_end = 0;
};

int32_t Int32At(const uint8_t* bytes) {
    return static_cast<int32_t>(LoadLittleEndian32(bytes));
}

ProjectReadResult ParseFrom(ByteSource& source) {
    ProjectReadResult result;
    ProjectImage& image = result.image;
    // The header decides before anything else is read.
    std::array<uint8_t, kProjectHeaderSize> header{};
    const size_t headerBytes =
        static_cast<size_t>(std::min<uint64_t>(source.Remaining(), kProjectHeaderSize));
    if (!source.Take(std::span(header).first(headerBytes))) {
        result.status = ProjectReadStatus::Truncated;
        return result;
    }
    if (headerBytes < 4 || std::memcmp(header.data(), kMagic, 4) != 0) {
        result.status = ProjectReadStatus::NotAProject;
        return result;
    }
    if (headerBytes < kProjectHeaderSize) {
        result.status = ProjectReadStatus::Truncated;
        return result;
    }
    image.version = Int32At(header.data() + 4);
    const int32_t effectCount = std::clamp(Int32At(header.data() + 8), 0, kProjectMaxEffects);
    const int32_t noteCount = std::max(Int32At(header.data() + 12), 0);
    image.tempo = std::clamp(Int32At(header.data() + 16), CPattern::kMinTempo, CPattern::kMaxTempo);
    image.measures =
        std::clamp(Int32At(header.data() + 20), CPattern::kMinMeasures, CPattern::kMaxMeasures);
    image.stepsPerMeasure =
        std::clamp(Int32At(header.data() + 24), CPattern::kMinSteps, CPattern::kMaxSteps);

    // Counts are never trusted: each record must be there before it is read.
    auto grid = std::make_unique<NoteGrid>(); // 200 KB: off the stack
    std::array<uint8_t, kProjectNoteSize> record{};
    for (int32_t i = 0; i < noteCount; ++i) {
        if (!source.Take(record)) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        const NoteRecord note{Int32At(record.data()), Int32At(record.data() + 4),
                              Int32At(record.data() + 8), Int32At(record.data() + 12)};
        if (grid->Place(note))
            image.notes.push_back(note);
        else
            ++result.skippedNotes;
    }

    std::array<uint8_t, kProjectEffectSize> effectRecord{};
    for (int32_t i = 0; i < effectCount; ++i) {
        if (!source.Take(effectRecord)) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        const auto* path = reinterpret_cast<const char*>(effectRecord.data());
        EffectImage effect;
        effect.libraryPath.assign(path, strnlen(path, kLibraryPathField));
        const uint32_t bankSize = LoadLittleEndian32(effectRecord.data() + kLibraryPathField);
        effect.program = Int32At(effectRecord.data() + kLibraryPathField + 4);
        // Nothing is allocated for a bank the file does not hold.
        if (bankSize > source.Remaining()) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        effect.bank.resize(bankSize);
        if (!source.Take(effect.bank)) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        image.effects.push_back(std::move(effect));
    }
    return result;
}

} // namespace

ProjectReadResult ParseProject(std::span<const uint8_t> bytes) {
    MemorySource source(bytes);
    return ParseFrom(source);
}

ProjectFileReadResult ReadProjectFile(const std::string& path) {
    ProjectFileReadResult result;
    files::FileReader file;
    result.openError = file.Open(path);
    if (result.openError != platform::FileErrorCause::None) return result;
    try {
        FileSource source(file);
        result.read = ParseFrom(source);
    } catch (const std::bad_alloc&) {
        // No more than the file holds is ever asked for, but that may still be too much.
        result.openError = platform::FileErrorCause::Generic;
        result.read = {};
        return result;
    }
    if (file.Error() != platform::FileErrorCause::None) {
        result.openError = file.Error();
        result.read = {};
    }
    return result;
}

platform::FileErrorCause WriteProjectFile(const std::string& path, const ProjectImage& image) {
    const auto bytes = SerializeProject(image);
    if (!bytes) return platform::FileErrorCause::Generic;
    return files::WriteFileAtomically(path, *bytes);
}

} // namespace zorvil
