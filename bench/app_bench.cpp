// Offline render speed: the demo project (our synth, 8 measures at 120 bpm, 16 s of audio)
// rendered the way `zorvil-cli render` does it, from loading the project to the closed file, less
// the settling time it gives the plug-ins before the first block.
// "audio_s_per_s" is seconds of audio rendered per second of wall time (the target is 100 or
// more on a 2-core machine).
#include "app/project_render.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string DemoProject() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "resources" / "demo" /
            "demo.tsn")
        .string();
}

void BM_OfflineRenderDemoProject(benchmark::State& state) {
    const std::string out = (std::filesystem::temp_directory_path() /
                             ("zorvil-bench-" + std::to_string(getpid()) + ".wav"))
                                .string();
    zorvil::ProjectRenderOptions options;
    options.pluginDirs = {ZORVIL_PLUGIN_DIR};
    options.settleMs = 0; // the plug-ins' settling time is waiting on the wall clock, not work
    double audioSeconds = 0;
    for (auto _ : state) {
        const zorvil::ProjectRenderResult result =
            zorvil::RenderProject(DemoProject(), out, options);
        if (!result.ok) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        audioSeconds = result.audioSeconds;
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(out);
}
BENCHMARK(BM_OfflineRenderDemoProject)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
