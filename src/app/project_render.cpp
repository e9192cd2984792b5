#include "app/project_render.h"

#include "app/zorvil_app.h"
#include "files/file_io.h"
#include "files/midi_file.h"
#include "files/project_effects.h"
#include "files/project_file.h"
#include "platform/clock_manual.h"
#include "platform/clock_real.h"
#include "platform/file_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace zorvil {

namespace fs = std::filesystem;

namespace {

constexpr int kOfflineBufferFrames = 2205;
// Time the render may take beyond the pattern's length before it counts as stuck: the
// plug-ins' delay, the render adjustment, the engine restarting.
constexpr uint64_t kGraceMs = 30000;

// The user interface of a render without windows: message boxes are kept (a message while the
// project loads is a problem) and answered OK; dialogs are cancelled.
class MessageLog final : public IUserInterface {
public:
    MessageResult MessageBox(std::string_view text, std::string_view, MessageButtons,
                             MessageIcon) override {
        std::lock_guard lock(m_mutex);
        m_messages.emplace_back(text);
        return MessageResult::Ok;
    }
    std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> BrowseFolder(std::string_view, std::string_view) override {
        return {};
    }
    void RefreshEffectWindows(int) override {}
    void SignalMidiActivity() noexcept override {}

    size_t Count() const {
        std::lock_guard lock(m_mutex);
        return m_messages.size();
    }
    // The messages from `from` on, as one line.
    std::string Since(size_t from) const {
        std::lock_guard lock(m_mutex);
        std::string text;
        for (size_t i = from; i < m_messages.size(); ++i) {
            if (!text.empty()) text += "; ";
            text += m_messages[i];
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        return text;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

std::string ReadProblem(const std::string& path, const ProjectFileReadResult& file) {
    const std::string name = platform::PrintablePath(path);
    if (file.openError != platform::FileErrorCause::None) {
        std::error_code ec;
        if (!fs::exists(path, ec)) return name + ": no such file";
        if (fs::is_directory(path, ec)) return name + ": is a folder, not a project file";
        return name + ": cannot be read (" +
               std::string(platform::FileErrorCauseText(file.openError)) + ")";
    }
    switch (file.read.status) {
    case ProjectReadStatus::NotAProject:
        return name + ": not a Zorvil project file";
    case ProjectReadStatus::Truncated:
        return name + ": damaged project file (cut short)";
    case ProjectReadStatus::Ok:
        break;
    }
    if (file.read.skippedNotes > 0)
        return name + ": damaged project file (" + std::to_string(file.read.skippedNotes) +
               " notes outside the grid or overlapping)";
    return {};
}

// What keeps `target` from being written: "" when nothing does.
std::string WriteProblem(const std::string& target, const files::WriteError& error) {
    if (!error) return {};
    const std::string name = platform::PrintablePath(target);
    if (error.error == EISDIR) return name + ": is a folder";
    if (error.notRegularFile) return name + ": is not a regular file";
    return name + ": cannot be written (" + std::string(platform::FileErrorCauseText(error.cause)) +
           ")";
}

// A target that is the project file itself (by any name or link) would destroy it.
std::string SameFileProblem(const std::string& target, const std::string& project) {
    if (!files::IsSameFile(target, project)) return {};
    return target + ": is the project file itself; choose another name for the output";
}

// Whether the target takes a new file: the problem, or "". Checked before anything is loaded,
// so that a render that cannot be written fails at once.
std::string TargetProblem(const std::string& target) {
    const files::ReplacingFile probe(target); // its temporary file goes with it
    return WriteProblem(target, probe.Error());
}

class RenderRun {
public:
    RenderRun(const std::string& project, const std::string& wave,
              const ProjectRenderOptions& options)
        : m_project(project), m_wave(wave), m_options(options) {}

    ProjectRenderResult Run() {
        ProjectRenderResult result;
        Render(result);
        return result;
    }

private:
    // The result is complete: the output is in place or removed. Hand it over.
    void Report(ProjectRenderResult& result, std::string problem) {
        result.ok = problem.empty() && !result.interrupted;
        result.error = std::move(problem);
        if (!result.ok) {
            result.frames = 0;
            result.audioSeconds = 0;
        }
        if (m_options.onFinished) m_options.onFinished(result);
    }

    bool Cancelled() const { return m_options.cancelled && m_options.cancelled(); }

    void Render(ProjectRenderResult& result) {
        // The project and the target are checked before anything is made.
        const ProjectFileReadResult file = ReadProjectFile(m_project);
        std::string problem = ReadProblem(m_project, file);
        if (problem.empty()) problem = SameFileProblem(m_wave, m_project);
        if (problem.empty()) problem = TargetProblem(m_wave);
        if (!problem.empty()) {
            Report(result, std::move(problem));
            return;
        }

        std::unique_ptr<platform::IClockService> clock;
        platform::ManualClock* manual = nullptr;
        if (m_options.realtime) {
            clock = std::make_unique<platform::RealClock>();
        } else {
            auto owned = std::make_unique<platform::ManualClock>();
            manual = owned.get();
            clock = std::move(owned);
        }
        CZorvilApp app(*clock, m_ui, m_options.realtime ? m_options.profile : nullptr);
        problem = RenderWith(app, manual, result);
        // The output is in place or gone before the plug-ins are unloaded: a plug-in that crashes
        // while it closes takes the process down after the result was handed over.
        if (app.IsRendering()) app.AbandonRender();
        Report(result, std::move(problem));
        app.ExitInstance();
    }

    std::string RenderWith(CZorvilApp& app, platform::ManualClock* manual,
                           ProjectRenderResult& result) {
        // The waker may run on the engine thread until the application is gone: what it
        // touches belongs to this object, which outlives the application.
        app.SetUiWaker([this] {
            std::lock_guard lock(m_wakeMutex);
            m_woken.notify_all();
        });
        if (manual != nullptr) {
            // Offline: a wave output that hands every buffer back at once, opened without any
            // audio system, and a tick that waits for the block in hand.
            app.SetWaitForBlocks(true);
            app.Host().SetOffline(true);
            app.WaveOut().OpenOffline(kOfflineBufferFrames);
            app.StartEngine();
            app.NewProject();
        } else {
            app.InitInstance();
            if (!app.WaveOut().IsOpen())
                return m_wave + ": no wave output device is open, so the render cannot advance";
        }
        // Plug-ins that use the C library's random numbers start from the same state every time.
        std::srand(kRenderRandomSeed);
        if (std::string problem = LoadProjectStrict(app, m_project, m_options.pluginDirs);
            !problem.empty())
            return problem;
        if (app.Host().GetNextEffect(-1) >= 0) Settle(app);
        if (Cancelled()) return Interrupted(result);

        const size_t before = m_ui.Count();
        if (!app.StartRender(m_wave)) {
            if (std::string problem = WriteProblem(m_wave, app.RenderWriter().LastError());
                !problem.empty())
                return problem;
            return m_wave + ": cannot be written: " + m_ui.Since(before);
        }
        const int32_t frames =
            RenderFrameCount(app.Pattern().GetMeasures(), app.Pattern().GetTempo());
        const uint64_t limitMs =
            static_cast<uint64_t>(frames) * 1000 / CZorvilApp::kSampleRate + kGraceMs;

        if (manual != nullptr) {
            uint64_t elapsed = 0;
            app.ProcessPosted(); // the engine restarts (Run posted by the render start)
            while (!Done(app) && !Cancelled()) {
                const auto next = manual->UntilNextTick();
                if (!next || elapsed > limitMs) break;
                manual->AdvanceToNextTick();
                elapsed += *next;
                app.ProcessPosted();
            }
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
            while (!Done(app) && !Cancelled() && std::chrono::steady_clock::now() < deadline) {
                Wait(std::chrono::milliseconds(100));
                app.ProcessPosted();
            }
        }
        app.ProcessPosted();
        if (Cancelled() && !Done(app)) return Interrupted(result);
        if (!app.RenderWriter().Finished())
            return m_wave + ": the render did not finish (no audio came from the engine)";
        if (std::string problem = WriteProblem(m_wave, app.RenderWriter().LastError());
            !problem.empty())
            return problem;
        result.frames = frames;
        result.audioSeconds = static_cast<double>(frames) / CZorvilApp::kSampleRate;
        return {};
    }

    // Before the first block: the plug-ins' idle calls every 100 ms for the settling time, on
    // the wall clock (offline, the engine's own clock does not move meanwhile).
    void Settle(CZorvilApp& app) {
        constexpr auto kIdlePeriod = std::chrono::milliseconds(100);
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.settleMs);
        for (auto now = std::chrono::steady_clock::now(); now < end && !Cancelled();
             now = std::chrono::steady_clock::now()) {
            app.Host().IdleAll();
            Wait(std::min<std::chrono::steady_clock::duration>(kIdlePeriod, end - now));
            app.ProcessPosted();
        }
    }

    std::string Interrupted(ProjectRenderResult& result) {
        result.interrupted = true;
        return m_wave + ": interrupted";
    }

    void Wait(std::chrono::steady_clock::duration time) {
        std::unique_lock lock(m_wakeMutex);
        m_woken.wait_for(lock, time);
    }

    // The render's end was handled: the file is in place (or removed) and the sequencer stopped.
    static bool Done(CZorvilApp& app) {
        return app.RenderWriter().Finished() && !app.Pattern().IsPlaying();
    }

    const std::string& m_project;
    const std::string& m_wave;
    const ProjectRenderOptions& m_options;
    std::mutex m_wakeMutex;
    std::condition_variable m_woken;
    MessageLog m_ui;
};

} // namespace

std::string ResolveLibraryPath(const std::string& libraryPath, const std::string& projectPath,
                               const std::vector<std::string>& dirs) {
    const fs::path path(libraryPath);
    if (libraryPath.empty() || path.is_absolute()) return libraryPath;
    std::error_code ec;
    std::vector<fs::path> candidates{fs::path(projectPath).parent_path() / path};
    for (const std::string& dir : dirs)
        if (!dir.empty()) candidates.push_back(fs::path(dir) / path);
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    // Never the current folder: the same project renders the same wherever it is run.
    return {};
}

std::string LoadProjectStrict(CZorvilApp& app, const std::string& projectPath,
                              const std::vector<std::string>& pluginDirs) {
    const ProjectFileReadResult file = ReadProjectFile(projectPath);
    if (std::string problem = ReadProblem(projectPath, file); !problem.empty()) return problem;
    const ProjectImage& image = file.read.image;

    CPattern& pattern = app.Pattern();
    pattern.Reset();
    for (const NoteRecord& note : image.notes)
        pattern.AddNote(note.step, note.key, note.velocity, note.length);
    pattern.SetTempo(image.tempo);
    pattern.SetMeasures(image.measures);
    pattern.SetStepsPerMeasure(image.stepsPerMeasure);

    // One record at a time, so that a problem names its plug-in.
    IUserInterface& ui = app.UserInterface();
    auto* log = dynamic_cast<MessageLog*>(&ui);
    const std::string project = platform::PrintablePath(projectPath);
    for (const EffectImage& record : image.effects) {
        const std::string name = platform::PrintablePath(record.libraryPath);
        if (record.libraryPath.empty())
            return project + ": an effect record names no plug-in (its library path is empty)";
        EffectImage resolved = record;
        resolved.libraryPath = ResolveLibraryPath(record.libraryPath, projectPath, pluginDirs);
        if (resolved.libraryPath.empty()) {
            std::string places = "next to the project";
            for (const std::string& dir : pluginDirs)
                places += ", in " + platform::PrintablePath(dir);
            return project + ": plug-in " + name + " not found (looked " + places + ")";
        }
        const size_t before = log != nullptr ? log->Count() : 0;
        const std::vector<int> loaded =
            app.ProjectEffects().Apply(std::span<const EffectImage>(&resolved, 1));
        if (loaded.empty()) {
            std::string why = app.Host().LastLoadError();
            if (why.empty()) why = "not a usable VST 2 plug-in";
            return project + ": plug-in " + name + " cannot be loaded (" +
                   platform::PrintablePath(why) + ")";
        }
        if (log != nullptr && log->Count() > before)
            return project + ": plug-in " + name +
                   " refused its stored state: " + log->Since(before);
    }
    return {};
}

ProjectRenderResult RenderProject(const std::string& projectPath, const std::string& wavePath,
                                  const ProjectRenderOptions& options) {
    return RenderRun(projectPath, wavePath, options).Run();
}

std::string ExportProjectMidi(const std::string& projectPath, const std::string& midiPath) {
    const ProjectFileReadResult file = ReadProjectFile(projectPath);
    if (std::string problem = ReadProblem(projectPath, file); !problem.empty()) return problem;
    if (std::string problem = SameFileProblem(midiPath, projectPath); !problem.empty())
        return problem;
    const ProjectImage& image = file.read.image;
    const std::vector<uint8_t> bytes =
        BuildMidiFile(image.tempo, image.stepsPerMeasure, image.notes);
    files::WriteError error;
    files::WriteFileAtomically(midiPath, bytes, &error);
    return WriteProblem(midiPath, error);
}

} // namespace zorvil
