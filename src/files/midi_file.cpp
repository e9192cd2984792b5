#include "files/midi_file.h"

#include "files/byte_order.h"
#include "files/file_io.h"

#include <algorithm>
#include <array>
#include <memory>

namespace zorvil {

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;

class TrackWriter {
public:
    void Bytes(std::initializer_list<uint8_t> bytes) { m_data.insert(m_data.end(), bytes); }

    // A variable-length quantity: 7 bits a byte, most significant first, bit 7 on all but the last.
    void Delta(uint32_t value) {
        std::array<uint8_t, 5> groups{};
        size_t count = 0;
        do {
            groups[count++] = static_cast<uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 1)
            m_data.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
        m_data.push_back(groups[0]);
    }

    void Event(uint32_t tick, uint8_t status, uint8_t key, uint8_t velocity) {
        Delta(tick - m_lastTick);
        m_lastTick = tick;
        Bytes({status, key, velocity});
    }

    std::vector<uint8_t>& Data() { return m_data; }

private:
    std::vector<uint8_t> m_data;
    uint32_t m_lastTick = 0;
};

} // namespace

std::vector<uint8_t> BuildMidiFile(int tempo, int stepsPerMeasure, const NoteGrid& grid) {
    tempo = std::clamp(tempo, CPattern::kMinTempo, CPattern::kMaxTempo);
    stepsPerMeasure = std::clamp(stepsPerMeasure, CPattern::kMinSteps, CPattern::kMaxSteps);
    const uint32_t ticksPerStep = static_cast<uint32_t>(kMidiTicksPerMeasure / stepsPerMeasure);
    const uint32_t microsecondsPerQuarter = 60000000u / static_cast<uint32_t>(tempo);

    TrackWriter track;
    track.Bytes({0x00, 0xFF, 0x03, 0x06, 'Z', 'o', 'r', 'v', 'i', 'l'});
    track.Bytes({0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(microsecondsPerQuarter >> 16),
                 static_cast<uint8_t>(microsecondsPerQuarter >> 8),
                 static_cast<uint8_t>(microsecondsPerQuarter)});

    std::array<bool, kGridKeys> sounding{};
    for (int step = 0; step < kGridSteps; ++step) {
        const uint32_t tick = ticksPerStep * static_cast<uint32_t>(step);
        for (int key = 0; key < kGridKeys; ++key) {
            const NoteGrid::Cell& cell = grid.At(step, key);
            const auto keyByte = static_cast<uint8_t>(key);
            if (cell.part == 1) {
                if (sounding[static_cast<size_t>(key)]) track.Event(tick, kNoteOff, keyByte, 0);
                track.Event(tick, kNoteOn, keyByte, cell.velocity);
                sounding[static_cast<size_t>(key)] = true;
            } else if (cell.part == 0 && sounding[static_cast<size_t>(key)]) {
                track.Event(tick, kNoteOff, keyByte, 0);
                sounding[static_cast<size_t>(key)] = false;
            }
        }
    }
    const uint32_t endTick = ticksPerStep * kGridSteps;
    for (int key = 0; key < kGridKeys; ++key)
        if (sounding[static_cast<size_t>(key)])
            track.Event(endTick, kNoteOff, static_cast<uint8_t>(key), 0);
    track.Bytes({0x00, 0xFF, 0x2F, 0x00});

    const std::vector<uint8_t>& data = track.Data();
    constexpr std::array<uint8_t, 22> kChunkHeaders = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, kMidiTicksPerQuarter, 'M', 'T', 'r', 'k'};
    std::vector<uint8_t> file(kChunkHeaders.size() + data.size());
    std::copy(kChunkHeaders.begin(), kChunkHeaders.end(), file.begin());
    files::StoreBigEndian32(file.data() + 18, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), file.begin() + kChunkHeaders.size());
    return file;
}

std::vector<uint8_t> BuildMidiFile(int tempo, int stepsPerMeasure,
                                   std::span<const NoteRecord> notes) {
    // The grid is 200 KB: keep it off the stack.
    auto grid = std::make_unique<NoteGrid>();
    for (const NoteRecord& note : notes)
        grid->Place(note);
    return BuildMidiFile(tempo, stepsPerMeasure, *grid);
}

bool ExportMidiFile(const std::string& path, int tempo, int stepsPerMeasure,
                    std::span<const NoteRecord> notes, IUserInterface& ui) {
    const auto bytes = BuildMidiFile(tempo, stepsPerMeasure, notes);
    const auto cause = files::WriteFileAtomically(path, bytes);
    if (cause == platform::FileErrorCause::None) return true;
    ui.MessageBox(files::CantOpenForWriteMessage(path, cause), {}, MessageButtons::Ok,
                  MessageIcon::Error);
    return false;
}

} // namespace zorvil
