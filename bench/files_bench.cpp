// File readers and writers at their largest: a bank of 128 programs x 128 parameters, a project
// with a thousand notes and four effects, and the MIDI export of a grid full of notes.
#include "files/fx_bank.h"
#include "files/midi_file.h"
#include "files/project_file.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zorvil;

std::vector<uint8_t> LargeBankImage() {
    CFxBank bank;
    bank.CreateParamBank(128, 128);
    bank.SetIdentity(1, 1);
    bank.SaveToFile(kBankMemoryName);
    const auto image = bank.GetMemoryImage();
    return {image.begin(), image.end()};
}

void BM_BankLoadFromImage(benchmark::State& state) {
    const auto image = LargeBankImage();
    CFxBank bank;
    bank.SetMemoryImage(image);
    for (auto _ : state)
        benchmark::DoNotOptimize(bank.LoadFromFile(kBankMemoryName));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_BankLoadFromImage);

ProjectImage LargeProject() {
    ProjectImage image;
    for (int step = 0; step < 256; step += 2)
        for (int key = 0; key < 128; key += 16)
            image.notes.push_back({step, key, 100, 2});
    for (int i = 0; i < 4; ++i)
        image.effects.push_back({"/usr/lib/vst/plugin.so", i, LargeBankImage()});
    return image;
}

void BM_ProjectSerialize(benchmark::State& state) {
    const ProjectImage image = LargeProject();
    for (auto _ : state)
        benchmark::DoNotOptimize(SerializeProject(image));
}
BENCHMARK(BM_ProjectSerialize);

void BM_ProjectParse(benchmark::State& state) {
    const auto bytes = *SerializeProject(LargeProject());
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseProject(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ProjectParse);

void BM_MidiExportFullGrid(benchmark::State& state) {
    std::vector<NoteRecord> notes;
    for (int step = 0; step < 256; ++step)
        for (int key = 0; key < 128; ++key)
            notes.push_back({step, key, 100, 1});
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildMidiFile(120, 16, notes));
}
BENCHMARK(BM_MidiExportFullGrid);

} // namespace
