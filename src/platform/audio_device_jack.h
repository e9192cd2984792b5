// Zorvil's JACK client: one client named "Zorvil" that carries every JACK port the devices open
// (out_1/out_2 for the wave output, in_1/in_2 for the wave input, midi_in and midi_out).
//
// The devices attach a processor that the client's process callback runs once per period. The
// session lives from the first look at the lists until the program ends (without ports while no
// device is open); when the JACK server goes away the shutdown
// callback tells every processor (which hands its buffers back) and the session stays dead:
// the next open makes a new client, and fails while no server runs. The server is never
// started on our behalf.
//
//     auto session = JackSession::Get();          // null: no server
//     auto* port = session->RegisterPort("out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
//     session->Attach(this);                      // this->Process(n) every period
//     ...
//     session->Detach(this);                      // returns when Process no longer runs
//     session->UnregisterPort(port);
//
// The server's sample rate and period may change while it runs (PipeWire changes its quantum,
// and may change its rate); the session follows both, and tells every processor of a new rate.
#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace zorvil::platform {

class JackSession : public std::enable_shared_from_this<JackSession> {
public:
    class IProcessor {
    public:
        virtual ~IProcessor() = default;
        virtual void Process(jack_nframes_t frames) noexcept = 0; // JACK's real-time thread
        virtual void OnShutdown() noexcept = 0;                   // the server went away
        // The server runs at a new rate (libjack's notification thread, before the first
        // period at that rate where libjack allows).
        virtual void OnSampleRate(uint32_t) noexcept {}
    };

    static constexpr const char* kClientName = "Zorvil";

    // The live session, or a new one; null when no JACK server answers.
    static std::shared_ptr<JackSession> Get();
    // Whether a JACK server answers (opens the client when it is not open yet).
    static bool ServerRunning();
    // Closes the client when no device holds it any more (before the server is stopped on
    // purpose, or at the end of the program).
    static void CloseIdle();

    ~JackSession();
    JackSession(const JackSession&) = delete;
    JackSession& operator=(const JackSession&) = delete;

    bool Alive() const noexcept { return !m_dead.load(std::memory_order_acquire); }
    // The server's rate and period as last reported (0 once the server went away).
    uint32_t SampleRate() const noexcept;
    uint32_t Period() const noexcept { return m_period.load(std::memory_order_acquire); }

    jack_port_t* RegisterPort(const char* shortName, const char* type, unsigned long flags);
    void UnregisterPort(jack_port_t* port) noexcept;
    // Connect our port to the first physical ports of the other direction (best effort).
    void ConnectPhysical(jack_port_t* port, int index, bool playback) noexcept;

    bool Attach(IProcessor* processor) noexcept;
    void Detach(IProcessor* processor) noexcept;

    // Closes the client once. After the server went away this runs at once on the reaper's
    // thread: a dead client left open could be woken by a new server of the same name.
    void CloseClient() noexcept;

private:
    JackSession() = default;
    // libjack's callbacks. Not noexcept: libjack cancels its threads, and the cancel's unwind
    // leaves through these frames (see jack_cancellation.h).
    static int ProcessCallback(jack_nframes_t frames, void* arg);
    static void ShutdownCallback(jack_status_t code, const char* reason, void* arg);
    static int SampleRateCallback(jack_nframes_t rate, void* arg);
    static int BufferSizeCallback(jack_nframes_t frames, void* arg);
    void OnSampleRate(uint32_t rate) noexcept;
    void RunProcessors(jack_nframes_t frames) noexcept;
    void OnServerGone() noexcept;

    static constexpr size_t kMaxProcessors = 8;

    mutable std::mutex m_clientMutex; // guards m_client; every call on the client holds it
    jack_client_t* m_client = nullptr;
    std::atomic<bool> m_dead{false};
    std::atomic<uint32_t> m_rate{0};   // the server's sample rate
    std::atomic<uint32_t> m_period{0}; // frames per period
    std::mutex m_mutex; // guards m_processors; held by the process callback while it runs them
    std::array<IProcessor*, kMaxProcessors> m_processors{};
};

} // namespace zorvil::platform
