// PulseAudio and ALSA wave devices through RtAudio. (JACK has a client of our own,
// audio_device_jack.cpp: one client named "Zorvil" for every port, and a server that stops
// under a running stream is handled without racing the stream's owner.)
#include "platform/audio_device_backends.h"

#include <RtAudio.h>

#include <algorithm>
#include <dlfcn.h>

namespace zorvil::platform {

namespace {

constexpr unsigned int kStreamFrames = 512;

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

    bool OpenStream(RtAudio::Api api, unsigned int device, bool output, RtAudioCallback callback,
                    void* user) {
        m_rt = MakeRtAudio(api);
        if (!m_rt) return false;
        try {
            RtAudio::StreamParameters params;
            params.deviceId = device;
            params.nChannels = kChannels;
            RtAudio::StreamOptions options;
            options.streamName = "Zorvil";
            unsigned int frames = kStreamFrames;
            m_rt->openStream(output ? &params : nullptr, output ? nullptr : &params, RTAUDIO_SINT16,
                             kSampleRate, &frames, callback, user, &options, &IgnoreError);
            m_rt->startStream();
            return true;
        } catch (...) {
            return false;
        }
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
    explicit RtAudioWaveOut(DeviceEvent& event) : m_queue(event) {}
    ~RtAudioWaveOut() override {
        CloseStream();
        m_queue.MarkDead();
    }

    bool Open(RtAudio::Api api, unsigned int device) {
        return OpenStream(api, device, true, &Callback, this);
    }
    bool Write(WAVEHDR& header) noexcept override { return Running() && m_queue.Push(header); }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return Running(); }

private:
    static int Callback(void* out, void*, unsigned int frames, double, RtAudioStreamStatus,
                        void* user) {
        auto* self = static_cast<RtAudioWaveOut*>(user);
        self->m_queue.PullInt16(static_cast<int16_t*>(out), frames);
        return 0;
    }
    WaveOutQueue m_queue;
};

class RtAudioWaveIn final : public IWaveInPort, RtAudioPort {
public:
    explicit RtAudioWaveIn(DeviceEvent& event) : m_queue(event) {}
    ~RtAudioWaveIn() override {
        CloseStream();
        m_queue.MarkDead();
    }

    bool Open(RtAudio::Api api, unsigned int device) {
        return OpenStream(api, device, false, &Callback, this);
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

private:
    static int Callback(void*, void* in, unsigned int frames, double, RtAudioStreamStatus,
                        void* user) {
        auto* self = static_cast<RtAudioWaveIn*>(user);
        self->m_queue.PushInt16(static_cast<const int16_t*>(in), frames);
        return 0;
    }
    WaveInQueue m_queue;
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
                list.push_back(
                    {info.prefix + dev.name, [api, i](DeviceEvent& event) -> std::unique_ptr<Base> {
                         auto port = std::make_unique<Port>(event);
                         if (!port->Open(api, i)) return nullptr;
                         return port;
                     }});
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
