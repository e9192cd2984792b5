// Rendering a project file to a wave file without windows, and exporting its pattern as a MIDI
// file: what `zorvil-cli render` and `zorvil-cli export-midi` do.
//
// The render loads the project (every plug-in with its bank image and current program, the
// pattern with its tempo and length) into a CZorvilApp and renders the pattern once through the
// program's own render path: the marker through the sequencer and the engine, "RenderAdjust"
// buffers left out, exactly T frames written. Offline (the default) it runs on a manual clock
// with a wave output that hands each buffer back at once, as fast as the machine allows: time
// moves on only once the engine has finished the block in hand, so no block is refused or
// dropped and the file holds what a real-time render with perfect timing would hold. Offline
// renders use buffers of 2205 frames and no adjustment, whatever the profile says, and touch no
// audio or MIDI system and no profile at all, so the same project gives the same bytes on any
// machine: the C library's random generator is seeded with a fixed value before the plug-ins
// load, plug-ins that ask are told the process level is "offline", and before the first block
// the plug-ins get a settling time on the wall clock with their idle calls (for data they load
// in the background). Real time, it runs on the real clock with the devices and settings of
// the profile, as the program does.
//
// Any problem (a missing file, not a project, a damaged project, a target that is the project
// itself or cannot be written, a plug-in that cannot be loaded or refuses its bank, a render that
// cannot advance) ends it with one line naming the file and the problem, and no output file is
// left behind: the file is written under a temporary name in the target's folder and renamed
// only once complete. The result is handed over (onFinished) once the output is in place or
// removed and before the plug-ins are unloaded, so that a plug-in that crashes while it closes
// cannot hide it.
//
//     ProjectRenderOptions options;
//     options.pluginDirs = {"/usr/lib/vst"};          // for library paths without a folder
//     options.onFinished = [](const ProjectRenderResult& result) { print(result); };
//     ProjectRenderResult result = RenderProject("demo.tsn", "demo.wav", options);
//     if (!result.ok) std::cerr << "zorvil-cli: " << result.error << '\n';
//
// Library paths in a project that are relative are looked up in the project's folder, then in
// each of `pluginDirs`, in order, and nowhere else.
#pragma once

#include "platform/profile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvil {

class CZorvilApp;

// The settling time before the first block unless told otherwise: long enough for plug-ins
// that load small data in the background, short enough to keep a render quick.
inline constexpr uint32_t kDefaultSettleMs = 500;
// The value the C library's generator is seeded with: a fresh process's own state.
inline constexpr unsigned kRenderRandomSeed = 1;

struct ProjectRenderResult {
    bool ok = false;
    bool interrupted = false; // cancelled: nothing was written
    std::string error;        // "<file>: <problem>" when not ok
    int64_t frames = 0;       // frames in the written file
    double audioSeconds = 0;  // frames / 44100
};

struct ProjectRenderOptions {
    std::vector<std::string> pluginDirs;
    bool realtime = false;
    platform::CProfile* profile = nullptr; // real time only: the devices and settings
    // Wall-clock time the plug-ins get between their loading and the first block, with their
    // idle calls every 100 ms; skipped when the project has no plug-ins.
    uint32_t settleMs = kDefaultSettleMs;
    // Asked now and then; once true the render ends at once and its output is removed.
    std::function<bool()> cancelled;
    // The result, once the output is in place or removed, before the plug-ins are unloaded.
    std::function<void(const ProjectRenderResult&)> onFinished;
};

ProjectRenderResult RenderProject(const std::string& projectPath, const std::string& wavePath,
                                  const ProjectRenderOptions& options);

// Loads the project into the application (pattern and effects). Returns "" or the problem as
// "<file>: <problem>".
std::string LoadProjectStrict(CZorvilApp& app, const std::string& projectPath,
                              const std::vector<std::string>& pluginDirs);

// Writes the project's pattern as a Standard MIDI File. Returns "" or the problem; a target
// that is the project itself is refused.
std::string ExportProjectMidi(const std::string& projectPath, const std::string& midiPath);

// Where a project's library path is found: an absolute path as it is; a relative one in the
// project's folder, then in each of `dirs`; the first that exists, else "" (never the current
// folder: the same project renders the same wherever it is run).
std::string ResolveLibraryPath(const std::string& libraryPath, const std::string& projectPath,
                               const std::vector<std::string>& dirs);

} // namespace zorvil
