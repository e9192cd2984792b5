// CZorvilApp: the one application object, free of Qt. It owns the effect host, the engine
// worker, the block buffers, the engine timer, the output step, the pattern (whose step clock
// runs on the same clock service and plays into the host's MIDI input queue), the four device
// objects (wave output and input, MIDI input and output), the render to a wave file, and the
// start-up and shut-down of the program. The Qt shell adds the windows around it; zorvil-cli
// and the tests use it as it is.
//
// Blocks are made on request. When no wave input clocks the engine, a periodic timer of the
// clock service ticks ten times per block period (at least every minimum period) and
// OnEngineTimer counts the milliseconds since the last block; once more than a period has
// gathered it triggers a block of period x 44.1 frames in the block buffers and keeps the excess
// as carry for the next one, so the blocks follow the clock on average even though each tick
// is late by a little; a fraction of a frame is carried the same way. A block the engine refuses
// (the previous one still runs) is skipped, never made up for. The worker runs the host's
// ProcessBlock, which ends in OutputBlock here: the render state "marker seen" becomes "writing",
// and the block goes on to the output device (the wave output unless a test put a capture in its
// place).
//
//     platform::CProfile profile(platform::CProfile::DefaultPath());
//     CZorvilApp app(clock, ui, &profile);
//     app.InitInstance(commandLine);          // devices opened by their stored names, engine on
//     app.OnCommand(CZorvilApp::kCommandRun); // stops the engine, writes "Engine" = 0
//     ...
//     app.ExitInstance();                     // devices closed, effects removed
//
// Engine control (engine_control.cpp): StartEngine takes its period from the wave output's
// pool (1000 / N ms) or, without one, from "WaveOutBufSize" (44100 / S ms); the wave input, when
// it starts, is the clock, else the engine timer. StopEngine stops the clocks and the MIDI input
// and waits until every wave buffer is back. Start-up and shut-down live in app_startup.cpp,
// the render to a wave file in render_control.cpp.
//
// Things the core cannot do itself go to the shell: a command posted to the main window (Restart
// posts Run) and the quit request at the end of a command-line render wait in a queue that
// ProcessPosted runs on the user-interface thread, and the waker tells the shell (from any
// thread) that something was posted. The host's window mailbox (plug-ins' editor sizes, display
// updates, automated parameters) uses the same waker and is drained by ProcessPosted too. Listeners
// (app_listener.h) are told on the user-interface thread what the windows show: effects loaded and
// removed, the pattern's values set from outside the tempo bar, the title.
//
// Effect slots (effect_slots.cpp): next to the host's slots the application keeps one record
// per slot (the library path and the effect's frame on the window side) and the count of
// loaded effects, at most four. New (menu_commands.cpp) closes every effect's windows,
// unloads every effect and clears the records, the stored bank images with them.
//
// Threads: everything but the following runs on the user-interface thread. OnEngineTimer runs on
// the timer's thread (or the thread advancing a manual clock); OutputBlock on the engine worker;
// ShutdownDevices may also run from the fault guard around unloading a plug-in. The timer's own
// fields (last tick, carry) belong to the timer thread while it runs; StartTimer writes them
// only with no timer running. The start time, the counters and the flags read by other threads
// are atomics.
#pragma once

#include "app/app_listener.h"
#include "app/app_settings.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/device_dialogs.h"
#include "app/effect_frame.h"
#include "engine/block_processor.h"
#include "engine/engine_thread.h"
#include "engine/render_state.h"
#include "engine/wave_in_engine.h"
#include "engine/wave_out_engine.h"
#include "files/render_plan.h"
#include "files/render_writer.h"
#include "host/seq_host.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "platform/clock_service.h"
#include "platform/profile.h"
#include "platform/user_interface.h"
#include "sequencer/host_event_queue.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

class CFileCommands;
class CProjectEffects;

class CZorvilApp : public IBlockOutput {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kBlockBufferFrames = 44100; // each of the two m_pBlock buffers
    // The longest timer period whose block fits the host's mix buffers (725 x 44.1 = 31972).
    static constexpr uint32_t kMaxTimerPeriod = CSeqHost::kMixFrames * 1000 / kSampleRate;

    // The engine commands of the application's message map.
    static constexpr uint32_t kCommandRun = command::kEngineRun;
    static constexpr uint32_t kCommandRestart = command::kEngineRestart;
    static constexpr uint32_t kCommandAsioPanel = command::kAsioPanel;

    // At most this many effects are loaded at once (slots 0 to 3).
    static constexpr int kMaxEffects = 4;
    // The pause before each effect's windows are closed by New.
    static constexpr std::chrono::milliseconds kCloseEffectPause{5};

    // How often StopEngine looks whether every wave buffer is back, and how long it waits for
    // devices that keep theirs (a device that went away) before it gives up on them.
    static constexpr std::chrono::milliseconds kStopPoll{50};
    static constexpr std::chrono::milliseconds kStopLimit{5000};
    // What a block may come late by beyond its clock's own steps: the worker and the device
    // threads waking without real-time scheduling.
    static constexpr uint32_t kSchedulerLatenessMs = 2;

    static constexpr const char* kRenderDoneMessage = "Render to wave : done !";

    // Without a profile the settings read as their defaults and nothing is written; the file
    // commands (and with them the command line's project) need one.
    CZorvilApp(platform::IClockService& clock, IUserInterface& ui,
               platform::CProfile* profile = nullptr);
    ~CZorvilApp() override;

    CZorvilApp(const CZorvilApp&) = delete;
    CZorvilApp& operator=(const CZorvilApp&) = delete;

    // --- Start-up and shut-down (app_startup.cpp) ---
    // Opens the devices named in the profile, starts the engine, resets to an empty project and
    // interprets the command line (the arguments joined by single spaces; empty: no render
    // mode). Always true: no device failure stops start-up.
    bool InitInstance(std::string_view commandLine = {});
    // Shuts the devices down, removes every effect, frees the block buffers and ends the engine
    // worker. The object is only good for destruction afterwards. Returns the exit code (0).
    // Throws EffectCloseError, once all that is done, when a plug-in threw while it closed.
    int ExitInstance();
    // The command line's fields and the render mode they switched on.
    const CommandLine& GetCommandLine() const noexcept { return m_commandLine; }
    bool IsCommandLineMode() const noexcept { return m_commandLine.renderMode; }

    // --- The project (menu_commands.cpp) ---
    // The empty project: no path (the title says so), the pattern reset (its values told to the
    // listeners), every effect's windows closed and every effect unloaded, the slot records and
    // their stored bank images cleared. Start-up runs it, and Open before it reads a file.
    void NewProject();
    // The New command: NewProject, only while the sequencer is stopped and outside command-line
    // mode; false when it did nothing.
    bool OnNewProject();
    // Sets the pattern's tempo, measures and steps per measure (clamped) and tells the
    // listeners, as Open and the command line do.
    void SetSequencerValues(int tempo, int measures, int stepsPerMeasure);

    // --- Engine control (engine_control.cpp) ---
    // Returns the MIDI input's start result; nothing (false) when already running.
    bool StartEngine();
    void StopEngine();
    // StopEngine, then close the MIDI input, the MIDI output, the wave input and the wave output.
    void ShutdownDevices();
    bool IsEngineRunning() const noexcept { return m_bEngineRunning.load(); }
    // The block period StartEngine uses now: from the pool, else from "WaveOutBufSize".
    uint32_t EnginePeriod() const;

    // The commands the application handles without a window (command_ids.h): the engine's,
    // the project's (New, Open, Save, Save As, Render To Wave, Export As Midi File), the
    // transport (Play, Pause, Go To Start and their keys) and opening a plug-in. A command that
    // is disabled now does nothing. False for an id the application does not handle.
    bool OnCommand(uint32_t id);
    struct CommandState {
        bool enabled = false;
        bool checked = false;
    };
    // Enabled and checked, by the rules of the command table; disabled for an unknown id.
    CommandState GetCommandState(uint32_t id) const;

    // Posting to the main window: commands and the quit request queue here until
    // ProcessPosted runs them (user-interface thread). The waker is called, from any thread,
    // whenever something was posted (the end of a render posts from the engine thread); the
    // shell wakes its event loop with it. Set it before the engine starts.
    void PostCommand(uint32_t id);
    void PostQuit();
    bool QuitRequested() const noexcept { return m_bQuitRequested.load(); }
    void SetUiWaker(std::function<void()> waker) { m_uiWaker = std::move(waker); }
    // Runs what was posted (the end of a render, posted commands, the plug-ins' window
    // notifications); true when anything ran.
    bool ProcessPosted();
    // Hands what plug-ins posted about their windows (CSeqHost::WindowMailbox) to the frame of
    // each one's slot: OnEditorSizeRequested, OnDisplayUpdateRequested, OnParameterAutomated.
    // A notification of an effect unloaded since (the slot is empty or holds another effect)
    // or of a slot without a frame is dropped. When the mailbox overflowed, every frame gets
    // OnEffectChanged instead of the changes it missed. True when anything was delivered.
    bool DeliverWindowEvents();

    // --- Device selection (device_commands.cpp) ---
    // The dialogs of "&MIDI Devices...", "&Wave Devices..." and "&Devices..." (null: the
    // commands do nothing). Each command fills its dialog from the settings; on OK it stops the
    // engine, opens the chosen devices, stores their names (empty for one that did not open)
    // and starts the engine again if it ran. Choosing "* No MIDI *" closes that MIDI port.
    void SetDeviceDialogs(IDeviceDialogs* dialogs) noexcept { m_pDeviceDialogs = dialogs; }
    void OnMidiDevices();
    void OnWaveDevices();
    void OnDevices();
    // The devices that are open but stopped working (their JACK server went away), as
    // "wave output \"JACK\"", in the order wave output, wave input, MIDI input, MIDI output.
    // Restart reopens those that are there again.
    std::vector<std::string> LostDevices() const;

    // --- Effect slots (effect_slots.cpp) ---
    struct EffectSlotRecord {
        std::string libraryPath;       // as given to LoadEffect; empty: the slot is free
        IEffectFrame* frame = nullptr; // the effect's windows, once the shell attached them
    };
    // Loads a plug-in with the engine stopped around it (started again if it ran), records it
    // and tells the listeners; the slot, or -1 at once while four effects are loaded, or -1
    // when the library is not a usable plug-in (the host's LastLoadError says why).
    int LoadEffect(std::string_view path);
    // Commands 1042 (the load button and L; nothing while four effects are loaded) and 57600:
    // asks for a plug-in library, starting in the folder of the last one chosen (profile
    // "DllFiles", "Path"; before any, FirstPluginFolder()), stores the chosen file's folder and
    // loads it. 1042 offers the filter "Vst Instrument Files (.so)"; 57600 no filter.
    void OnOpenPlugin(uint32_t id);
    // Where a project's plug-ins named without an absolute path are looked for after the
    // project's own folder (PluginFolders() in the program; none by default).
    void SetPluginFolders(std::vector<std::string> folders) {
        m_pluginFolders = std::move(folders);
    }
    // Tells the listeners, removes the effect with the engine stopped around it, and clears the
    // slot's record and stored bank image. Nothing for a slot without an effect or record.
    void UnloadEffect(int slot);
    // Empties the four records and their stored bank images; the count becomes 0.
    void ClearEffectRecords();
    // Has every attached frame close its effect's windows (which unloads the effect), pausing
    // kCloseEffectPause before each.
    void CloseEffectWindows();
    // The shell's frame of the effect in `slot` (null: none).
    void AttachEffectFrame(int slot, IEffectFrame* frame);
    // The record of slot 0 to 3 (an empty one for any other slot).
    const EffectSlotRecord& EffectRecord(int slot) const noexcept;
    int LoadedEffectCount() const noexcept { return m_nLoadedEffects; }

    // --- Listeners (user-interface thread) ---
    void AddListener(IAppListener* listener);
    void RemoveListener(IAppListener* listener);

    // --- Render to a wave file (render_control.cpp) ---
    // The "Render To Wave" command: disabled while the sequencer plays; in command-line mode
    // renders to the command line's wave file, else asks for a file.
    void OnRenderToWave();
    // Starts a render into `path` (written under a temporary name, put in place at the end);
    // false (after "Can't open file for write %s, error = %u\n") when the target cannot be
    // written, and false at once while a render runs with the sequencer playing: nothing else
    // changes then. A render that never finished while the sequencer stopped (it could not
    // advance) is given up and replaced.
    bool StartRender(const std::string& path);
    bool IsRendering() const noexcept;
    // Gives up a render that has not finished: its file is removed, the target left as it was,
    // the state set back to idle and the sequencer stopped.
    void AbandonRender();
    const CRenderWriter& RenderWriter() const noexcept { return m_renderWriter; }
    int RenderAdjust() const noexcept { return m_nRenderAdjust; }

    // --- The engine timer and the output step ---
    // Starts the engine timer with a block period in ms; StartTimer(0) stops it. False when the
    // period is below the timer's minimum period (or above kMaxTimerPeriod) or no timer could
    // be started. A running timer is stopped before a new one starts.
    bool StartTimer(uint32_t period);
    // The timer's tick: triggers a block once more than a period has passed (see above).
    void OnEngineTimer() noexcept;
    // The tick of a timer with this block period: a tenth of it, at least the minimum period.
    uint32_t TimerTick(uint32_t period) const noexcept;
    // How many frames after its time a block may reach the wave output, with the wave input or
    // else the timer as the clock: the wave output's cushion (CWaveOut::SetCushion).
    size_t BlockLateness(bool waveInput) const;
    // The output step (engine worker): the render state 3 becomes 4, then the block goes to the
    // output device.
    void OutputBlock(float* const* buffers, int frames) noexcept override;
    // Offline rendering on a manual clock: each triggered block is waited for (and its wave
    // buffers for their return) inside the tick, so time moves on only once the block in hand
    // is done and no block is ever refused or dropped.
    void SetWaitForBlocks(bool wait) noexcept { m_bWaitForBlocks.store(wait); }

    // Where finished blocks go (the wave output by default; a capture in tests). Null: nowhere.
    void SetOutputDevice(IBlockOutput* output) noexcept { m_pOutputDevice.store(output); }
    // The time of the last engine start (StartEngine sets it): block time stamps count from it.
    void SetStartTime(uint32_t now) noexcept { m_dwStartTime.store(now); }
    [[nodiscard]] uint32_t StartTime() const noexcept { return m_dwStartTime.load(); }

    CSeqHost& Host() noexcept { return m_host; }
    CPattern& Pattern() noexcept { return m_pattern; }
    // Undo and redo of the pattern's edits (user-interface thread only).
    CPatternHistory& PatternHistory() noexcept { return m_patternHistory; }
    CEngineThread& EngineThread() noexcept { return *m_pEngineThread; }
    RenderStateWord& GetRenderState() noexcept { return m_renderState; }
    platform::IClockService& Clock() noexcept { return m_clock; }
    IUserInterface& UserInterface() noexcept { return m_ui; }
    platform::CProfile* Profile() const noexcept { return m_pProfile; }
    const CSettings& Settings() const noexcept { return m_settings; }
    float* const* BlockBuffers() const noexcept { return m_pBlock; }
    [[nodiscard]] const platform::TimerCaps& GetTimerCaps() const noexcept { return m_timerCaps; }
    CFileCommands* FileCommands() noexcept { return m_pFileCommands.get(); }
    CProjectEffects& ProjectEffects() noexcept { return *m_pProjectEffects; }
    // The window title ("Zorvil by Ostrelworks", then the project path); the listeners are told
    // whenever it changes.
    const std::string& Title() const noexcept { return m_strTitle; }

    // The four device objects, opened and closed by start-up, shut-down and the device dialogs.
    CEngineWaveOut& WaveOut() noexcept { return m_waveOut; }
    CEngineWaveIn& WaveIn() noexcept { return m_waveIn; }
    CEngineMidiIn& MidiIn() noexcept { return m_midiIn; }
    CEngineMidiOut& MidiOut() noexcept { return m_midiOut; }

    // The engine timer's state, for the status display and tests.
    [[nodiscard]] uint32_t Period() const noexcept { return m_nPeriod; }
    [[nodiscard]] platform::TimerId GetTimerId() const noexcept { return m_nTimerId; }
    [[nodiscard]] uint32_t Carry() const noexcept { return m_dwCarry.load(); }
    [[nodiscard]] uint32_t BlocksTriggered() const noexcept { return m_nBlocksTriggered.load(); }
    [[nodiscard]] uint32_t BlocksRefused() const noexcept { return m_nBlocksRefused.load(); }
    // The time stamp of the last block the engine accepted.
    [[nodiscard]] uint32_t LastBlockTime() const noexcept { return m_dwLastBlockTime.load(); }

private:
    // The output step's default device: the wave output.
    class WaveOutput final : public IBlockOutput {
    public:
        explicit WaveOutput(CEngineWaveOut& out) : m_out(out) {}
        void OutputBlock(float* const* buffers, int frames) noexcept override {
            m_out.WriteBlock(buffers[0], buffers[1], frames);
        }

    private:
        CEngineWaveOut& m_out;
    };

    void WaitForBlockDone() noexcept;
    void SetTitle(std::string title);
    bool OnMenuCommand(uint32_t id);
    CommandState MenuCommandState(uint32_t id) const;
    // Tells every listener (a copy of the list: a listener may add or remove listeners).
    void Notify(const std::function<void(IAppListener&)>& call);
    void ApplyCommandLine();
    void OnRenderDone();
    void WakeUi();

    platform::IClockService& m_clock;
    IUserInterface& m_ui;
    platform::CProfile* m_pProfile;
    CSettings m_settings;

    RenderStateWord m_renderState{RenderState::Idle};
    CSeqHost m_host;
    std::unique_ptr<float[]> m_blockStorage;
    float* m_pBlock[2] = {};
    std::unique_ptr<CEngineThread> m_pEngineThread;
    // After the host: the pattern plays into it, so it stops first.
    CHostEventQueue m_hostEvents{m_host};
    CPattern m_pattern;
    CPatternHistory m_patternHistory{m_pattern};

    // The four devices, after the host and the worker they feed: they close first.
    CEngineMidiOut m_midiOut;
    CEngineWaveOut m_waveOut;
    CEngineMidiIn m_midiIn;
    CEngineWaveIn m_waveIn;
    WaveOutput m_waveOutput{m_waveOut};
    std::atomic<IBlockOutput*> m_pOutputDevice{&m_waveOutput};

    // Engine control.
    std::atomic<bool> m_bEngineRunning{false};
    std::atomic<bool> m_bWaitForBlocks{false};

    // The engine timer (StartTimer / OnEngineTimer).
    platform::TimerCaps m_timerCaps;
    platform::TimerId m_nTimerId = platform::kNoTimer;
    uint32_t m_nPeriod = 0;     // block period in ms; 0 while no timer runs
    uint32_t m_nResolution = 0; // the resolution begun for the timer, ended when it stops
    std::atomic<uint32_t> m_dwLastTick{0};
    std::atomic<uint32_t> m_dwCarry{0};
    std::atomic<uint32_t> m_dwFrameRest{0}; // thousandths of a frame owed to the next block
    std::atomic<uint32_t> m_dwStartTime{0};
    std::atomic<uint32_t> m_nBlocksTriggered{0};
    std::atomic<uint32_t> m_nBlocksRefused{0};
    std::atomic<uint32_t> m_dwLastBlockTime{0};

    // Render to a wave file. The writer's end of render (engine thread) only raises the flag;
    // ProcessPosted finishes on the user-interface thread.
    CRenderWriter m_renderWriter{m_ui};
    std::string m_strRenderPath; // the target of the last render
    int m_nRenderAdjust = 0;
    std::atomic<bool> m_bRenderDone{false};

    IDeviceDialogs* m_pDeviceDialogs = nullptr;

    // Start-up, the project, posting.
    CommandLine m_commandLine;
    std::array<EffectSlotRecord, kMaxEffects> m_effectSlots;
    int m_nLoadedEffects = 0;
    std::unique_ptr<CProjectEffects> m_pProjectEffects;
    std::vector<std::string> m_pluginFolders;
    std::unique_ptr<CFileCommands> m_pFileCommands;
    std::string m_strTitle;
    std::vector<IAppListener*> m_listeners;
    std::function<void()> m_uiWaker;
    std::mutex m_postedLock; // guards m_posted
    std::deque<uint32_t> m_posted;
    std::atomic<bool> m_bQuitRequested{false};
};

} // namespace zorvil
