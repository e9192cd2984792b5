#include "app/project_render.h"

#include "app/zorvil_app.h"
#include "files/file_io.h"
#include "files/midi_file.h"
#include "files/project_effects.h"
#include "files/project_file.h"
#include "platform/clock_manual.h"
#include "platform/clock_real.h"
#include "platform/virtual_devices.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unistd.h>

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

// A temporary name in the target's folder, renamed over the target once complete.
std::string TemporaryName(const std::string& target) {
    return target + "." + std::to_string(getpid()) + ".part";
}

void Remove(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Whether the target's folder takes a new file: the problem, or "".
std::string TargetProblem(const std::string& target, const std::string& temporary) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) return target + ": is a folder";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        const int error = errno;
        return target + ": cannot be written (" + std::strerror(error) + ")";
    }
    std::fclose(file);
    return {};
}

class RenderRun {
public:
    RenderRun(const std::string& project, const std::string& wave,
              const ProjectRenderOptions& options)
        : m_project(project), m_wave(wave), m_options(options) {}

    ProjectRenderResult Run() {
        ProjectRenderResult result;
        const std::string temporary = TemporaryName(m_wave);
        if (std::string problem = Render(temporary, result); !problem.empty()) {
            Remove(temporary);
            result.ok = false;
            result.error = std::move(problem);
            return result;
        }
        std::error_code ec;
        fs::rename(temporary, m_wave, ec);
        if (ec) {
            Remove(temporary);
            result.error = m_wave + ": cannot be written (" + ec.message() + ")";
            return result;
        }
        result.ok = true;
        return result;
    }

private:
    std::string Render(const std::string& temporary, ProjectRenderResult& result) {
        // The project is checked before anything is made.
        const ProjectFileReadResult file = ReadProjectFile(m_project);
        if (std::string problem = ReadProblem(m_project, file); !problem.empty()) return problem;
        if (std::string problem = TargetProblem(m_wave, temporary); !problem.empty())
            return problem;

        std::unique_ptr<platform::IClockService> clock;
        platform::ManualClock* manual = nullptr;
        if (m_options.realtime) {
            clock = std::make_unique<platform::RealClock>();
        } else {
            auto owned = std::make_unique<platform::ManualClock>();
            manual = owned.get();
            clock = std::move(owned);
        }
        const bool virtualBefore = platform::VirtualDevicesEnabled();
        if (!m_options.realtime) platform::EnableVirtualDevices(true);
        std::string problem;
        {
            CZorvilApp app(*clock, m_ui, m_options.realtime ? m_options.profile : nullptr);
            problem = RenderWith(app, manual, temporary, result);
            app.ExitInstance();
        }
        if (!m_options.realtime) platform::EnableVirtualDevices(virtualBefore);
        return problem;
    }

    std::string RenderWith(CZorvilApp& app, platform::ManualClock* manual,
                           const std::string& temporary, ProjectRenderResult& result) {
        // The waker may run on the engine thread until the application is gone: what it
        // touches belongs to this object, which outlives the application.
        app.SetUiWaker([this] {
            std::lock_guard lock(m_wakeMutex);
            m_woken.notify_all();
        });
        if (manual != nullptr) {
            // Offline: a wave output that hands every buffer back at once, and a tick that
            // waits for the block in hand.
            app.SetWaitForBlocks(true);
            app.WaveOut().OpenWaveOutByName(std::string("MME: ") +
                                                platform::kVirtualWaveOutImmediateName,
                                            kOfflineBufferFrames);
            app.StartEngine();
            app.NewProject();
        } else {
            app.InitInstance();
            if (!app.WaveOut().IsOpen())
                return m_wave + ": no wave output device is open, so the render cannot advance";
        }
        if (std::string problem = LoadProjectStrict(app, m_project, m_options.pluginDirs);
            !problem.empty())
            return problem;

        const size_t before = m_ui.Count();
        if (!app.StartRender(temporary))
            return m_wave + ": cannot be written: " + m_ui.Since(before);
        const RenderPlan plan =
            MakeRenderPlan(app.Pattern().GetMeasures(), app.Pattern().GetTempo(),
                           app.Settings().WaveOutBufSize(), app.RenderAdjust());
        const uint64_t limitMs =
            static_cast<uint64_t>(plan.totalFrames) * 1000 / CZorvilApp::kSampleRate + kGraceMs;

        if (manual != nullptr) {
            uint64_t elapsed = 0;
            app.ProcessPosted(); // the engine restarts (Run posted by the render start)
            while (!Done(app)) {
                const auto next = manual->UntilNextTick();
                if (!next || elapsed > limitMs) break;
                manual->AdvanceToNextTick();
                elapsed += *next;
                app.ProcessPosted();
            }
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
            while (!Done(app) && std::chrono::steady_clock::now() < deadline) {
                {
                    std::unique_lock lock(m_wakeMutex);
                    m_woken.wait_for(lock, std::chrono::milliseconds(100));
                }
                app.ProcessPosted();
            }
        }
        app.ProcessPosted();
        if (!app.RenderWriter().Finished())
            return m_wave + ": the render did not finish (no audio came from the engine)";

        const CWaveFile* written = app.RenderWriter().GetRenderFile();
        if (written != nullptr && written->WriteError() != platform::FileErrorCause::None)
            return platform::PrintablePath(m_wave) + ": cannot be written (" +
                   std::string(platform::FileErrorCauseText(written->WriteError())) + ")";
        const int64_t expected = int64_t{plan.totalFrames} * kRenderBytesPerFrame;
        std::error_code ec;
        const auto size = fs::file_size(temporary, ec);
        if (written == nullptr || ec ||
            static_cast<int64_t>(size) != expected + static_cast<int64_t>(kWaveHeaderSize))
            return m_wave + ": the render wrote " +
                   std::to_string(ec ? 0
                                     : (size - std::min<uintmax_t>(size, kWaveHeaderSize)) /
                                           kRenderBytesPerFrame) +
                   " frames instead of " + std::to_string(plan.totalFrames);
        result.frames = plan.totalFrames;
        result.audioSeconds = static_cast<double>(plan.totalFrames) / CZorvilApp::kSampleRate;
        return {};
    }

    // The render's end was handled: the file is closed and the sequencer stopped.
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
    std::error_code ec;
    if (fs::is_directory(midiPath, ec)) return midiPath + ": is a folder";
    const ProjectImage& image = file.read.image;
    const std::vector<uint8_t> bytes =
        BuildMidiFile(image.tempo, image.stepsPerMeasure, image.notes);
    const platform::FileErrorCause cause = files::WriteFileAtomically(midiPath, bytes);
    if (cause != platform::FileErrorCause::None)
        return platform::PrintablePath(midiPath) + ": cannot be written (" +
               std::string(platform::FileErrorCauseText(cause)) + ")";
    return {};
}

} // namespace zorvil
