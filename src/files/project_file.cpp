#include "files/project_file.h"

#include "files/byte_order.h"
#include "files/file_io.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zorvil {

using files::LoadLittleEndian32;
using files::StoreLittleEndian32;

namespace {

constexpr uint8_t kMagic[4] = {'T', 'S', 'N', 0};

int32_t Int32At(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<int32_t>(LoadLittleEndian32(bytes.data() + offset));
}

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
    return "Library path too long for a project file (at most 255 bytes): " + std::string(path);
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

ProjectReadResult ParseProject(std::span<const uint8_t> bytes) {
    ProjectReadResult result;
    ProjectImage& image = result.image;
    if (bytes.size() < 4 || std::memcmp(bytes.data(), kMagic, 4) != 0) {
        result.status = ProjectReadStatus::NotAProject;
        return result;
    }
    if (bytes.size() < kProjectHeaderSize) {
        result.status = ProjectReadStatus::Truncated;
        return result;
    }
    image.version = Int32At(bytes, 4);
    const int32_t effectCount = std::clamp(Int32At(bytes, 8), 0, kProjectMaxEffects);
    const int32_t noteCount = std::max(Int32At(bytes, 12), 0);
    image.tempo = std::clamp(Int32At(bytes, 16), CPattern::kMinTempo, CPattern::kMaxTempo);
    image.measures = std::clamp(Int32At(bytes, 20), CPattern::kMinMeasures, CPattern::kMaxMeasures);
    image.stepsPerMeasure =
        std::clamp(Int32At(bytes, 24), CPattern::kMinSteps, CPattern::kMaxSteps);

    size_t offset = kProjectHeaderSize;
    auto grid = std::make_unique<NoteGrid>(); // 200 KB: off the stack
    for (int32_t i = 0; i < noteCount; ++i) {
        if (bytes.size() - offset < kProjectNoteSize) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        const NoteRecord note{Int32At(bytes, offset), Int32At(bytes, offset + 4),
                              Int32At(bytes, offset + 8), Int32At(bytes, offset + 12)};
        offset += kProjectNoteSize;
        if (grid->Place(note))
            image.notes.push_back(note);
        else
            ++result.skippedNotes;
    }

    for (int32_t i = 0; i < effectCount; ++i) {
        if (bytes.size() - offset < kProjectEffectSize) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        const auto* path = reinterpret_cast<const char*>(bytes.data() + offset);
        EffectImage effect;
        effect.libraryPath.assign(path, strnlen(path, kLibraryPathField));
        const uint32_t bankSize = LoadLittleEndian32(bytes.data() + offset + kLibraryPathField);
        effect.program = Int32At(bytes, offset + kLibraryPathField + 4);
        offset += kProjectEffectSize;
        if (bankSize > bytes.size() - offset) {
            result.status = ProjectReadStatus::Truncated;
            return result;
        }
        effect.bank.assign(bytes.begin() + static_cast<ptrdiff_t>(offset),
                           bytes.begin() + static_cast<ptrdiff_t>(offset + bankSize));
        offset += bankSize;
        image.effects.push_back(std::move(effect));
    }
    return result;
}

ProjectFileReadResult ReadProjectFile(const std::string& path) {
    ProjectFileReadResult result;
    files::FileReadResult file = files::ReadWholeFile(path, files::kMaxFileBytes);
    if (!file.ok) {
        result.openError = file.cause == platform::FileErrorCause::None
                               ? platform::FileErrorCause::Generic
                               : file.cause;
        return result;
    }
    result.read = ParseProject(file.bytes);
    return result;
}

platform::FileErrorCause WriteProjectFile(const std::string& path, const ProjectImage& image) {
    const auto bytes = SerializeProject(image);
    if (!bytes) return platform::FileErrorCause::Generic;
    return files::WriteFileAtomically(path, *bytes);
}

} // namespace zorvil
