#include "app/zorvil_app.h"

#include "app/project_render.h"
#include "files/file_commands.h"
#include "files/project_effects.h"

#include <algorithm>
#include <thread>

namespace zorvil {

namespace {

// How long an offline block may take before the tick gives up waiting for its wave buffers.
constexpr std::chrono::milliseconds kBufferReturnLimit{5000};

} // namespace

CZorvilApp::CZorvilApp(platform::IClockService& clock, IUserInterface& ui,
                       platform::CProfile* profile)
    : m_clock(clock), m_ui(ui), m_pProfile(profile), m_settings(profile) {
    // Start-up's first steps (timer capabilities, block buffers, engine worker) happen here, so
    // that the object works from its construction on.
    // Unreadable capabilities stay zero: StartTimer then still never asks for a 0 ms tick.
    m_clock.GetCaps(m_timerCaps);
    m_blockStorage = std::make_unique<float[]>(2 * static_cast<size_t>(kBlockBufferFrames));
    m_pBlock[0] = m_blockStorage.get();
    m_pBlock[1] = m_blockStorage.get() + kBlockBufferFrames;
    m_host.SetRenderState(&m_renderState);
    m_host.SetUserInterface(&m_ui);
    m_host.SetBlockOutput(this);
    m_host.WindowMailbox().SetWaker([this] { WakeUi(); });
    m_pattern.SetClockService(&m_clock);
    m_pattern.SetEventQueue(&m_hostEvents);
    m_pattern.SetRenderState(&m_renderState);
    m_pattern.SetUserInterface(&m_ui);
    // Plug-ins read the tempo from the host's time information: it follows every tempo the
    // pattern takes (the tempo bar, New, Open, the command line, undo).
    m_pattern.SetTempoHook([this](int tempo) { m_host.SetTempo(tempo); });
    m_pEngineThread = std::make_unique<CEngineThread>(m_host);

    // The devices: the wave devices write their "MME: " upgrade to the profile; MIDI input goes
    // to the host's queue and, passed through, to the MIDI output, as does plug-ins' MIDI.
    m_waveOut.SetProfile(m_pProfile);
    m_waveIn.SetProfile(m_pProfile);
    m_waveOut.SetRenderHook(&m_renderWriter);
    m_midiIn.SetHost(&m_host);
    m_midiIn.SetMidiOutput(&m_midiOut);
    m_midiIn.SetUserInterface(&m_ui);
    m_host.SetMidiOutput(&m_midiOut);
    // The fault guard around unloading a crashing plug-in shuts every device down first.
    m_host.SetShutdownHook([this] { ShutdownDevices(); });

    // A project's plug-in named without an absolute path is looked for next to the project
    // being read, then in the plug-in folders (the library loader never looks in either).
    m_pProjectEffects =
        std::make_unique<CProjectEffects>(m_host, m_ui, [this](std::string_view path) {
            const std::string project =
                m_pFileCommands != nullptr ? m_pFileCommands->GetPath() : std::string();
            return LoadEffect(ResolveLibraryPath(std::string(path), project, m_pluginFolders));
        });
    if (m_pProfile != nullptr) {
        CFileCommands::Hooks hooks;
        hooks.newProject = [this] { NewProject(); };
        hooks.setTitle = [this](const std::string& title) { SetTitle(title); };
        hooks.commandsDisabled = [this] { return m_pattern.IsPlaying() || IsCommandLineMode(); };
        hooks.patternChanged = [this] {
            Notify([](IAppListener& l) { l.OnPatternValuesChanged(); });
        };
        m_pFileCommands = std::make_unique<CFileCommands>(m_pattern, m_host, *m_pProjectEffects,
                                                          *m_pProfile, m_ui, std::move(hooks));
    }
    m_strTitle = std::string(kAppTitle);
}

CZorvilApp::~CZorvilApp() {
    ShutdownDevices();
    m_waveOut.SetRenderHook(nullptr);
    m_pattern.Stop();
    StartTimer(0);
    m_host.SetShutdownHook({});
    // The worker goes before the host and the buffers it works on; the wave input (closed, the
    // engine idle) forgets it first.
    m_waveIn.SetEngine(nullptr);
    m_pEngineThread.reset();
    m_host.SetBlockOutput(nullptr);
    m_host.SetMidiOutput(nullptr);
    // The host outlives this object's waker: a plug-in that reports while it closes must find
    // no waker rather than a destroyed one.
    m_host.WindowMailbox().SetWaker({});
}

bool CZorvilApp::StartTimer(uint32_t period) {
    if (m_nTimerId != platform::kNoTimer) {
        m_clock.Cancel(m_nTimerId); // synchronous: no tick runs once this returns
        m_clock.EndResolution(m_nResolution);
        m_nTimerId = platform::kNoTimer;
        m_nResolution = 0;
        m_nPeriod = 0;
    }
    if (period == 0) return true;
    if (period < m_timerCaps.periodMin || period > kMaxTimerPeriod || !m_pEngineThread)
        return false;

    m_nPeriod = period;
    const uint32_t tick = TimerTick(period);
    if (m_clock.BeginResolution(tick)) m_nResolution = tick;
    m_dwLastTick.store(m_clock.Now());
    m_dwCarry.store(0);
    m_dwFrameRest.store(0);
    m_nTimerId = m_clock.StartPeriodic(tick, tick < 2 ? 1 : tick / 2, [this] { OnEngineTimer(); });
    if (m_nTimerId == platform::kNoTimer) {
        if (m_nResolution != 0) m_clock.EndResolution(m_nResolution);
        m_nResolution = 0;
        m_nPeriod = 0;
        return false;
    }
    return true;
}

uint32_t CZorvilApp::TimerTick(uint32_t period) const noexcept {
    return std::max({period / 10, m_timerCaps.periodMin, platform::kTimerPeriodMin});
}

void CZorvilApp::OnEngineTimer() noexcept {
    const uint32_t now = m_clock.Now();
    // Unsigned 32-bit subtraction counts across the wrap of the millisecond clock.
    uint32_t elapsed = now - m_dwLastTick.load(std::memory_order_relaxed);
    elapsed += m_dwCarry.load(std::memory_order_relaxed);
    if (elapsed <= m_nPeriod) return;
    m_dwLastTick.store(now, std::memory_order_relaxed);
    m_dwCarry.store(elapsed - m_nPeriod, std::memory_order_relaxed);
    // A period of 44.1 x period frames, the fraction carried to the next block (a 3 ms period is
    // 132.3 frames): truncated each time, the engine would make too little sound per second and
    // the device would run dry again and again.
    const uint32_t thousandths = m_nPeriod * static_cast<uint32_t>(kSampleRate) +
                                 m_dwFrameRest.load(std::memory_order_relaxed);
    const int frames = static_cast<int>(thousandths / 1000);
    m_dwFrameRest.store(thousandths % 1000, std::memory_order_relaxed);
    const uint32_t time = now - m_dwStartTime.load();
    if (m_pEngineThread->Trigger(m_pBlock, frames, 2, time)) {
        m_dwLastBlockTime.store(time);
        m_nBlocksTriggered.fetch_add(1);
        if (m_bWaitForBlocks.load(std::memory_order_relaxed)) WaitForBlockDone();
    } else {
        m_nBlocksRefused.fetch_add(1); // the block is skipped, not made up for
    }
}

void CZorvilApp::WaitForBlockDone() noexcept {
    // Offline only (a manual clock's tick): the busy flag drops just after the output step
    // returns, and the wave output's device thread hands the buffers back right after.
    while (m_pEngineThread->IsBusy())
        std::this_thread::yield();
    const auto limit = std::chrono::steady_clock::now() + kBufferReturnLimit;
    while (m_waveOut.InFlight() > 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
}

void CZorvilApp::OutputBlock(float* const* buffers, int frames) noexcept {
    RenderState seen = RenderState::MarkerSeen;
    m_renderState.compare_exchange_strong(seen, RenderState::Writing);
    if (IBlockOutput* output = m_pOutputDevice.load()) output->OutputBlock(buffers, frames);
}

void CZorvilApp::SetTitle(std::string title) {
    m_strTitle = std::move(title);
    Notify([this](IAppListener& listener) { listener.OnTitleChanged(m_strTitle); });
}

void CZorvilApp::AddListener(IAppListener* listener) {
    if (listener != nullptr && std::ranges::find(m_listeners, listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CZorvilApp::RemoveListener(IAppListener* listener) {
    std::erase(m_listeners, listener);
}

void CZorvilApp::Notify(const std::function<void(IAppListener&)>& call) {
    const std::vector<IAppListener*> listeners = m_listeners;
    for (IAppListener* listener : listeners)
        if (std::ranges::find(m_listeners, listener) != m_listeners.end()) call(*listener);
}

void CZorvilApp::WakeUi() {
    if (m_uiWaker) m_uiWaker();
}

void CZorvilApp::PostCommand(uint32_t id) {
    {
        std::lock_guard lock(m_postedLock);
        m_posted.push_back(id);
    }
    WakeUi();
}

void CZorvilApp::PostQuit() {
    m_bQuitRequested.store(true);
    WakeUi();
}

bool CZorvilApp::ProcessPosted() {
    bool ran = DeliverWindowEvents();
    if (m_bRenderDone.exchange(false)) {
        OnRenderDone();
        ran = true;
    }
    for (;;) {
        uint32_t id = 0;
        {
            std::lock_guard lock(m_postedLock);
            if (m_posted.empty()) break;
            id = m_posted.front();
            m_posted.pop_front();
        }
        OnCommand(id);
        ran = true;
    }
    return ran;
}

} // namespace zorvil
