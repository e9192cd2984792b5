// PulseAudio and ALSA wave devices through RtAudio. (JACK has a client of our own,
// audio_device_jack.cpp: one client named "Zorvil" for every port, and a server that stops
// under a running stream is handled without racing the stream's owner.)
//
// A device opens at 44100 Hz, 16-bit, as the program's format is. One that refuses 44100 Hz (an
// ALSA card that only runs at 48000 Hz) opens at a rate it takes instead, with float samples,
// and the port converts through its rate bridge.
#include "platform/audio_device_backends.h"
#include "platform/rate_bridge.h"

#include <RtAudio.h>

#include <algorithm>
#include <dlfcn.h>

namespace zorvil::platform {

namespace {

constexpr unsigned int kStreamFrames = 512;

// The rates a device that refuses 44100 Hz is tried at, best first: the device's preferred
// rate, then the rates it lists, the nearest above 44100 Hz first, then those below.
std::vector<unsigned int> FallbackRates(const RtAudio::DeviceInfo& info) {
    std::vector<unsigned int> rates = info.sampleRates;
    std::erase(rates, static_cast<unsigned int>(kSampleRate));
    std::sort(rates.begin(), rates.end(), [](unsigned int a, unsigned int b) {
        const bool aAbove = a > static_cast<unsigned int>(kSampleRate);
        const bool bAbove = b > static_cast<unsigned int>(kSampleRate);
        if (aAbove != bAbove) return aAbove;
        return aAbove ? a < b : a > b;
    });
    const unsigned int preferred = info.preferredSampleRate;
    if (preferred != 0 && preferred != static_cast<unsigned int>(kSampleRate)) {
        std::erase(rates, preferred);
        rates.insert(rates.begin(), preferred);
    }
    return rates;
}

// The rate a listed device would run at.
uint32_t ListedRate(const RtAudio::DeviceInfo& info) {
    const auto& rates = info.sampleRates;
    if (rates.empty() || std::ranges::count(rates, static_cast<unsigned int>(kSampleRate)) > 0)
        return kSampleRate;
    return FallbackRates(info).front();
}

// RtAudio throws from its own threads when no error callback is set; errors of a running
// stream show as a stream that no longer runs.
void IgnoreError(RtAudioError::Type, const std::string&) {}

struct ApiInfo {
    RtAudio::Api api;
    const char* prefix;
};
constexpr ApiInfo kApis[] = {{RtAudio::LINUX_PULSE, "PulseAudio: "},
                             {RtAudio::LINUX_ALSA, "ALSA: "}};

// ALSA reports every missing card on stderr while RtAudio looks for devices. libasound is
// loaded with RtAudio; its error handler is set through the dynamic linker, so that the core
// does not link libasound itself.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaOnce() {
    static const bool done = [] {
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        if (void* symbol = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))
            reinterpret_cast<SetHandler>(symbol)(&QuietAlsa);
        return true;
    }();
    (void)done;
}

std::unique_ptr<RtAudio> MakeRtAudio(RtAudio::Api api) {
    SilenceAlsaOnce();
    try {
        std::vector<RtAudio::Api> compiled;
        RtAudio::getCompiledApi(compiled);
        if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return nullptr;
        auto rt = std::make_unique<RtAudio>(api);
        rt->showWarnings(false);
        return rt;
    } catch (...) {
        return nullptr;
    }
}

class RtAudioPort {
protected:
    std::unique_ptr<RtAudio> m_rt;

    ~RtAudioPort() { CloseStream(); }

    // Derived ports call this first in their destructor: no callback runs once it returns.
    void CloseStream() noexcept {
        try {
            if (m_rt && m_rt->isStreamOpen()) {
                if (m_rt->isStreamRunning()) m_rt->abortStream();
                m_rt->closeStream();
            }
        } catch (...) {
        }
    }

    // Opens and starts the stream: at 44100 Hz with 16-bit interleaved samples, or, where the
    // device refuses that, at a rate it takes with planar float samples. `useRate(rate)` runs
    // before the stream starts and may refuse the rate. Returns the rate, or 0.
    template <typename UseRate>
    uint32_t OpenStream(RtAudio::Api api, unsigned int device, bool output,
                        RtAudioCallback callback, void* user, UseRate&& useRate) {
        m_rt = MakeRtAudio(api);
        if (!m_rt) return 0;
        std::vector<unsigned int> rates{static_cast<unsigned int>(kSampleRate)};
        // A PulseAudio server takes any rate: failing at 44100 Hz means it is not there.
        if (api != RtAudio::LINUX_PULSE) {
            try {
                const auto more = FallbackRates(m_rt->getDeviceInfo(device));
                rates.insert(rates.end(), more.begin(), more.end());
            } catch (...) {
            }
        }
        for (const unsigned int rate : rates) {
            try {
                RtAudio::StreamParameters params;
                params.deviceId = device;
                params.nChannels = kChannels;
                RtAudio::StreamOptions options;
                options.streamName = "Zorvil";
                const bool converting = rate != static_cast<unsigned int>(kSampleRate);
                if (converting) options.flags = RTAUDIO_NONINTERLEAVED;
                unsigned int frames = kStreamFrames;
                m_rt->openStream(output ? &params : nullptr, output ? nullptr : &params,
                                 converting ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16, rate, &frames,
                                 callback, user, &options, &IgnoreError);
                if (!useRate(static_cast<uint32_t>(rate))) {
                    m_rt->closeStream();
                    continue;
                }
                m_rt->startStream();
                return static_cast<uint32_t>(rate);
            } catch (...) {
                CloseStream();
            }
        }
        return 0;
    }

    bool Running() const noexcept {
        try {
            return m_rt && m_rt->isStreamRunning();
        } catch (...) {
            return false;
        }
    }
};

class RtAudioWaveOut final : public IWaveOutPort, RtAudioPort {
public:
    explicit RtAudioWaveOut(DeviceEvent& event) : m_queue(event), m_bridge(m_queue) {}
    ~RtAudioWaveOut() override {
        CloseStream();
        m_queue.MarkDead();
    }

    bool Open(RtAudio::Api api, unsigned int device) {
        return OpenStream(api, device, true, &Callback, this,
                          [this](uint32_t rate) { return m_bridge.SetDeviceRate(rate); }) != 0;
    }
    bool Write(WAVEHDR& header) noexcept override { return Running() && m_queue.Push(header); }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return Running(); }
    uint32_t DeviceRate() const noexcept override { return m_bridge.DeviceRate(); }
    uint32_t Gaps() const noexcept override { return m_queue.Gaps(); }
    void SetCushion(size_t frames) noexcept override { m_queue.SetCushion(frames); }

private:
    static int Callback(void* out, void*, unsigned int frames, double, RtAudioStreamStatus,
                        void* user) {
        auto* self = static_cast<RtAudioWaveOut*>(user);
        if (self->m_bridge.Converting()) {
            auto* left = static_cast<float*>(out); // planar: left, then right
            self->m_bridge.Pull(left, left + frames, frames);
        } else {
            self->m_queue.PullInt16(static_cast<int16_t*>(out), frames);
        }
        return 0;
    }
    WaveOutQueue m_queue;
    OutputRateBridge m_bridge; // set before the stream starts; fixed while it runs
};

class RtAudioWaveIn final : public IWaveInPort, RtAudioPort {
public:
    explicit RtAudioWaveIn(DeviceEvent& event) : m_queue(event), m_bridge(m_queue) {}
    ~RtAudioWaveIn() override {
        CloseStream();
        m_queue.MarkDead();
    }

    bool Open(RtAudio::Api api, unsigned int device) {
        return OpenStream(api, device, false, &Callback, this,
                          [this](uint32_t rate) { return m_bridge.SetDeviceRate(rate); }) != 0;
    }
    bool AddBuffer(WAVEHDR& header) noexcept override { return m_queue.Add(header); }
    bool Start() noexcept override {
        if (!Running()) return false;
        m_queue.Start();
        return true;
    }
    void Stop() noexcept override { m_queue.Stop(); }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return Running(); }
    uint32_t DeviceRate() const noexcept override { return m_bridge.DeviceRate(); }

private:
    static int Callback(void*, void* in, unsigned int frames, double, RtAudioStreamStatus,
                        void* user) {
        auto* self = static_cast<RtAudioWaveIn*>(user);
        if (self->m_bridge.Converting()) {
            const auto* left = static_cast<const float*>(in);
            self->m_bridge.Push(left, left + frames, frames);
        } else {
            self->m_queue.PushInt16(static_cast<const int16_t*>(in), frames);
        }
        return 0;
    }
    WaveInQueue m_queue;
    InputRateBridge m_bridge; // set before the stream starts; fixed while it runs
};

template <typename Entry, typename Port, typename Base>
void AddDevices(std::vector<Entry>& list, bool output) {
    for (const ApiInfo& info : kApis) {
        auto rt = MakeRtAudio(info.api);
        if (!rt) continue;
        try {
            const unsigned int count = rt->getDeviceCount();
            for (unsigned int i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo dev = rt->getDeviceInfo(i);
                const unsigned int channels = output ? dev.outputChannels : dev.inputChannels;
                if (!dev.probed || channels < 1) continue;
                if (info.api == RtAudio::LINUX_PULSE) {
                    // RtAudio lists PulseAudio whether or not a server runs: try it.
                    DeviceEvent probeEvent;
                    Port probe(probeEvent);
                    if (!probe.Open(info.api, i)) continue;
                }
                const RtAudio::Api api = info.api;
                list.push_back({info.prefix + dev.name,
                                [api, i](DeviceEvent& event) -> std::unique_ptr<Base> {
                                    auto port = std::make_unique<Port>(event);
                                    if (!port->Open(api, i)) return nullptr;
                                    return port;
                                },
                                ListedRate(dev)});
            }
        } catch (...) {
        }
    }
}

} // namespace

namespace detail {

void AddRtAudioWaveOut(std::vector<WaveOutEntry>& list) {
    AddDevices<WaveOutEntry, RtAudioWaveOut, IWaveOutPort>(list, true);
}

void AddRtAudioWaveIn(std::vector<WaveInEntry>& list) {
    AddDevices<WaveInEntry, RtAudioWaveIn, IWaveInPort>(list, false);
}

std::unique_ptr<IWaveOutPort> OpenRtAudioWaveOut(int api, unsigned int device, DeviceEvent& event) {
    auto port = std::make_unique<RtAudioWaveOut>(event);
    if (!port->Open(static_cast<RtAudio::Api>(api), device)) return nullptr;
    return port;
}

std::unique_ptr<IWaveInPort> OpenRtAudioWaveIn(int api, unsigned int device, DeviceEvent& event) {
    auto port = std::make_unique<RtAudioWaveIn>(event);
    if (!port->Open(static_cast<RtAudio::Api>(api), device)) return nullptr;
    return port;
}

std::unique_ptr<IWaveOutPort> OpenRtAudioDefaultOut(bool pulse, DeviceEvent& event) {
    const RtAudio::Api api = pulse ? RtAudio::LINUX_PULSE : RtAudio::LINUX_ALSA;
    auto rt = MakeRtAudio(api);
    if (!rt) return nullptr;
    try {
        if (rt->getDeviceCount() == 0) return nullptr;
        const unsigned int device = rt->getDefaultOutputDevice();
        rt.reset();
        auto port = std::make_unique<RtAudioWaveOut>(event);
        if (!port->Open(api, device)) return nullptr;
        return port;
    } catch (...) {
        return nullptr;
    }
}

} // namespace detail

} // namespace zorvil::platform
