// SlowSampler ("Zorvil Slow Sampler", 'ZSlo'): a test instrument that behaves like a sampler
// reading its sample file on a thread of its own once its state is set.
//
// Its "sample" is a quarter second of decaying noise made with the C library's rand(), so what
// it plays depends on the state of that generator when the sample is made. The sample is (re)made
// whenever the plug-in is switched on (effMainsChanged 1) and whenever a program is chosen: on a
// thread of its own, kLoadDelayMs later, like a file read in the background. Until then a note
// plays nothing. Program 0 ("Offline aware") first asks the host for its process level and, when
// the host answers "offline" (4), makes the sample at once, in the calling thread; program 1
// ("Background only") never asks.
//
// Each note-on (any channel) plays the sample from its start at the event's frame, scaled by the
// velocity, on both outputs; a new note replaces the one sounding.
//
// Threads: the dispatcher on the host's user-interface thread, the process calls on its engine
// thread, the loader on its own. The sample is guarded by a lock that the process call only
// tries (it plays silence for that call when the loader holds it).
#include "common/plugin_entry.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace zorvil::plugins {

namespace {

constexpr int kLoadDelayMs = 150;
constexpr int32_t kSampleFrames = 11025;
constexpr std::size_t kPendingCapacity = 64;
constexpr float kOn = 1.0f;

constexpr std::array<ParameterInfo, 1> kParameters{{{"Offline", ""}}};
constexpr std::array<float, 1> kAwareValues{kOn};
constexpr std::array<float, 1> kBackgroundValues{0.0f};
const std::array<ProgramPreset, 2> kPrograms{{
    {"Offline aware", kAwareValues},
    {"Background only", kBackgroundValues},
}};

const PluginDescription kDescription{
    .uniqueId = FourCharId("ZSlo"),
    .version = 1000,
    .numInputs = 0,
    .numOutputs = 2,
    .flags = effFlagsCanReplacing | effFlagsIsSynth,
    .category = kPlugCategSynth,
    .product = "Zorvil Slow Sampler",
    .vendor = "Ostrelworks",
    .parameters = kParameters,
    .programs = kPrograms,
};

class SlowSampler final : public PluginBase {
public:
    explicit SlowSampler(audioMasterCallback host) : PluginBase(host, kDescription) {}
    ~SlowSampler() override { JoinLoader(); }

protected:
    void OnOpen() override { CallHost(audioMasterWantMidi, 0, 1, nullptr, 0.0f); }

    void OnMainsChanged(bool on) noexcept override {
        if (on) StartLoading();
    }

    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override {
        const intptr_t result = PluginBase::Dispatch(opcode, index, value, ptr, opt);
        if (opcode == effSetProgram) StartLoading();
        return result;
    }

    void Close() noexcept override {
        JoinLoader();
        PluginBase::Close();
    }

    bool CanDo(std::string_view capability) const noexcept override {
        return capability == "receiveVstMidiEvent" || capability == "receiveVstEvents";
    }

    void ProcessEvents(const VstEvents& events) noexcept override {
        for (int32_t i = 0; i < events.numEvents && m_pendingCount < kPendingCapacity; ++i) {
            const VstEvent* event = events.events[i];
            if (event == nullptr || event->type != kVstMidiType) continue;
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
            const int velocity = midi->midiData[2] & 0x7F;
            if ((midi->midiData[0] & 0xF0) != 0x90 || velocity == 0) continue;
            m_pending[m_pendingCount++] = {midi->deltaFrames, velocity / 127.0f};
        }
    }

    void Process(const float* const* /*inputs*/, float* const* outputs, int32_t frames,
                 ProcessMode mode) noexcept override {
        std::unique_lock lock(m_sampleLock, std::try_to_lock);
        const bool ready = lock.owns_lock() && m_bReady;
        std::size_t next = 0;
        for (int32_t f = 0; f < frames; ++f) {
            while (next < m_pendingCount && m_pending[next].frame <= f) {
                // A note before the sample is there plays nothing.
                m_position = ready ? 0 : -1;
                m_gain = m_pending[next].gain;
                ++next;
            }
            float value = 0.0f;
            if (ready && m_position >= 0 && m_position < kSampleFrames)
                value = m_sample[static_cast<std::size_t>(m_position++)] * m_gain;
            for (int c = 0; c < 2; ++c) {
                if (outputs[c] == nullptr) continue;
                outputs[c][f] = mode == ProcessMode::Replacing ? value : outputs[c][f] + value;
            }
        }
        m_pendingCount = 0;
    }

private:
    struct Pending {
        int32_t frame;
        float gain;
    };

    void StartLoading() noexcept {
        JoinLoader();
        {
            std::lock_guard lock(m_sampleLock);
            m_bReady = false;
        }
        const bool offline = Parameter(0) >= 0.5f &&
                             CallHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f) ==
                                 kVstProcessLevelOffline;
        if (offline) {
            LoadSample();
            return;
        }
        try {
            m_loader = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(kLoadDelayMs));
                LoadSample();
            });
        } catch (...) {
            LoadSample(); // no thread to be had: load at once
        }
    }

    void LoadSample() noexcept {
        std::lock_guard lock(m_sampleLock);
        for (int32_t i = 0; i < kSampleFrames; ++i) {
            const float noise = static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX);
            m_sample[static_cast<std::size_t>(i)] =
                (2.0f * noise - 1.0f) * 0.5f *
                std::exp(-4.0f * static_cast<float>(i) / static_cast<float>(kSampleFrames));
        }
        m_bReady = true;
    }

    void JoinLoader() noexcept {
        if (m_loader.joinable()) m_loader.join();
    }

    std::mutex m_sampleLock; // guards m_sample and m_bReady
    std::array<float, kSampleFrames> m_sample{};
    bool m_bReady = false;
    std::thread m_loader;
    // Engine thread only.
    std::array<Pending, kPendingCapacity> m_pending{};
    std::size_t m_pendingCount = 0;
    int32_t m_position = -1;
    float m_gain = 0.0f;
};

} // namespace

} // namespace zorvil::plugins

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");

AEffect* ZorvilMainEntry(audioMasterCallback host) {
    return zorvil::plugins::CreatePlugin<zorvil::plugins::SlowSampler>(host);
}
