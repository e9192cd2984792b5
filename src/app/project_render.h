// Rendering a project file to a wave file without windows, and exporting its pattern as a MIDI
// file: what `zorvil-cli render` and `zorvil-cli export-midi` do.
//
// The render loads the project (every plug-in with its bank image and current program, the
// pattern with its tempo and length) into a CZorvilApp and renders the pattern once through the
// program's own render path: the marker through the sequencer and the engine, "RenderAdjust"
// buffers left out, exactly T frames written. Offline (the default) it runs on a manual clock
// with a wave output that hands each buffer back at once, as fast as the machine allows: time
// moves on only once the engine has finished the block in hand, so no block is refused or
// dropped and the file holds what a real-time render with perfect timing would hold; two runs
// give byte-identical files. Offline renders use buffers of 2205 frames and no adjustment,
// whatever the profile says. Real time, it runs on the real clock with the devices and settings
// of the profile, as the program does.
//
// Any problem (a missing file, not a project, a damaged project, a plug-in that cannot be loaded
// or refuses its bank, a target that cannot be written, a render that cannot advance) ends it
// with one line naming the file and the problem, and no output file is left behind: the file is
// written under a temporary name in the target's folder and renamed only once complete.
//
//     ProjectRenderOptions options;
//     options.pluginDirs = {"/usr/lib/vst"};          // for library paths without a folder
//     ProjectRenderResult result = RenderProject("demo.tsn", "demo.wav", options);
//     if (!result.ok) std::cerr << "zorvil-cli: " << result.error << '\n';
//
// Library paths in a project that are relative are looked up in the project's folder, then in
// each of `pluginDirs`, in order, and nowhere else.
#pragma once

#include "platform/profile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvil {

class CZorvilApp;

struct ProjectRenderOptions {
    std::vector<std::string> pluginDirs;
    bool realtime = false;
    platform::CProfile* profile = nullptr; // real time only: the devices and settings
};

struct ProjectRenderResult {
    bool ok = false;
    std::string error;       // "<file>: <problem>" when not ok
    int64_t frames = 0;      // frames in the written file
    double audioSeconds = 0; // frames / 44100
};

ProjectRenderResult RenderProject(const std::string& projectPath, const std::string& wavePath,
                                  const ProjectRenderOptions& options);

// Loads the project into the application (pattern and effects). Returns "" or the problem as
// "<file>: <problem>".
std::string LoadProjectStrict(CZorvilApp& app, const std::string& projectPath,
                              const std::vector<std::string>& pluginDirs);

// Writes the project's pattern as a Standard MIDI File. Returns "" or the problem.
std::string ExportProjectMidi(const std::string& projectPath, const std::string& midiPath);

// Where a project's library path is found: an absolute path as it is; a relative one in the
// project's folder, then in each of `dirs`; the first that exists, else "" (never the current
// folder: the same project renders the same wherever it is run).
std::string ResolveLibraryPath(const std::string& libraryPath, const std::string& projectPath,
                               const std::vector<std::string>& dirs);

} // namespace zorvil
