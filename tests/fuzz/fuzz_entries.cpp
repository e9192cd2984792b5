#include "fuzz_entries.h"

#include "files/effect_bank.h"
#include "files/fx_bank.h"
#include "files/project_file.h"
#include "files/wave_file.h"

#include <cstdlib>
#include <cstring>
#include <span>

namespace zorvil::fuzz {

namespace {

// Aborts with a reason: the fuzzer and the replay test both see a crash.
void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// A plug-in of 2 programs x 3 parameters that traps on any other index.
AEffect StandIn(int32_t flags, int32_t id) {
    AEffect effect{};
    effect.dispatcher = [](AEffect* e, int32_t opcode, int32_t, intptr_t value, void* ptr,
                           float) -> intptr_t {
        if (opcode == effSetProgram) Check(value >= 0 && value < e->numPrograms, "program index");
        if (opcode == effSetProgramName)
            Check(std::strlen(static_cast<const char*>(ptr)) < 28, "name");
        return 0;
    };
    effect.setParameter = [](AEffect* e, int32_t index, float) {
        Check(index >= 0 && index < e->numParams, "parameter index");
    };
    effect.getParameter = [](AEffect*, int32_t) { return 0.0f; };
    effect.numPrograms = 2;
    effect.numParams = 3;
    effect.flags = flags;
    effect.uniqueID = id;
    return effect;
}

} // namespace

int FuzzBankReader(const uint8_t* data, size_t size) {
    CFxBank bank;
    bank.SetMemoryImage({data, size});
    if (!bank.LoadFromFile(kBankMemoryName)) return 0;
    Check(bank.Data().size() == size, "a loaded bank keeps its size");
    if (bank.IsChunk()) {
        Check(bank.ChunkData().size() + 160 <= size, "chunk within the data");
    } else {
        for (int32_t i = 0; i < bank.NumPrograms(); ++i) {
            const FxProgramRecord program = bank.GetProgram(i);
            if (!program) break;
            Check(program.Name().size() <= 27, "name length");
            // Every parameter is read: the sanitizers see any read beyond the record.
            for (int32_t j = 0; j < bank.GetProgram(0).NumParams(); ++j)
                (void)program.Param(j);
        }
    }
    for (int32_t flags : {0, static_cast<int32_t>(effFlagsProgramChunks)}) {
        AEffect effect = StandIn(flags, bank.FxId());
        ApplyBankToEffect(bank, effect);
    }
    Check(bank.SaveToFile(kBankMemoryName), "a loaded bank saves");
    const auto saved = bank.GetMemoryImage();
    Check(saved.size() == size && std::memcmp(saved.data(), data, size) == 0,
          "a loaded bank saves to the same bytes");
    return 0;
}

int FuzzProjectReader(const uint8_t* data, size_t size) {
    const ProjectReadResult read = ParseProject({data, size});
    const ProjectImage& image = read.image;
    Check(image.effects.size() <= 4, "at most four effects");
    for (const NoteRecord& note : image.notes)
        Check(IsValidNote(note), "notes within the grid");
    Check(image.tempo >= 30 && image.tempo <= 303, "tempo range");
    size_t bankBytes = 0;
    for (const EffectImage& effect : image.effects) {
        Check(effect.libraryPath.size() <= 256, "path field");
        bankBytes += effect.bank.size();
    }
    Check(bankBytes <= size, "banks come from the data");
    if (read.status != ProjectReadStatus::Ok) return 0;
    const auto bytes = SerializeProject(image);
    if (!bytes) return 0; // a 256-byte path without terminator cannot be written back
    const ProjectReadResult again = ParseProject(*bytes);
    Check(again.status == ProjectReadStatus::Ok && again.skippedNotes == 0, "rewritten file reads");
    Check(again.image.notes.size() == image.notes.size() && again.image.effects == image.effects &&
              again.image.tempo == image.tempo,
          "rewritten file reads the same");
    return 0;
}

int FuzzWaveReader(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const WaveByteReader reader = [bytes](uint64_t offset, std::span<uint8_t> buffer) -> size_t {
        if (offset >= bytes.size()) return 0;
        const size_t count = std::min<uint64_t>(buffer.size(), bytes.size() - offset);
        std::memcpy(buffer.data(), bytes.data() + offset, count);
        return count;
    };
    WaveChunkLayout layout;
    if (LocateWaveChunks(reader, size, layout) == WaveReadError::None)
        Check(layout.dataOffset <= size && layout.dataSize <= size - layout.dataOffset,
              "data chunk within the file");
    return 0;
}

} // namespace zorvil::fuzz
