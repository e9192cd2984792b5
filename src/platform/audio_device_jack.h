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
// The callbacks that carry them keep the rules below: they call nothing on the server and hold
// no lock of ours across a libjack call.
//
// Closing. libjack stops a client's threads by cancelling them wherever they are, so a close
// that lands while its notification thread still handles what a dying server sent last leaves
// libjack's own locks held, and that close, every later one and every later open then wait for
// them for ever. So clients are closed on a thread of ours (the closer), one after the other; a
// dead client only once its notification thread has left; and nothing of ours waits for a close
// longer than kCloseLimit. No lock of ours is held across a libjack call that talks to the
// server: a call on the client only counts itself in (a close waits for it), and the session
// (what libjack's callbacks point to) stays until libjack has let go of the client. While a
// close hangs nonetheless, no new client is opened: libjack would make it wait for that close.
#pragma once

#include <jack/jack.h>

#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

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
    // How long anyone waits for libjack to close a client, or for another thread to open one.
    static constexpr std::chrono::milliseconds kCloseLimit{5000};

    // The live session, or a new one; null when no JACK server answers.
    static std::shared_ptr<JackSession> Get();
    // Whether a JACK server answers (opens the client when it is not open yet).
    static bool ServerRunning();
    // Closes the client when no device holds it any more (before the server is stopped on
    // purpose, or at the end of the program); waits for that at most kCloseLimit.
    static void CloseIdle();
    // Waits until the clients handed to the closer are closed; false when a close has been under
    // way for kCloseLimit. (A dead client that is closed after a new server of the same name
    // started crashes in libjack: start servers only after this.)
    static bool WaitForCloses();

    ~JackSession() = default;
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

private:
    class Closer;

    JackSession() = default;
    static std::shared_ptr<JackSession> Open();
    // The shared pointer's deleter: the client closes on the closer's thread, which deletes the
    // session afterwards.
    static void Release(JackSession* session) noexcept;
    // Runs call(client) unless the session is dead or closing (then `fallback`); a close waits
    // until the call has returned.
    template <typename Result, typename Call>
    Result WithClient(Result fallback, Call&& call) const noexcept;
    bool HasClient() const noexcept;
    // For the close: no new calls, the calls under way finished; the client, once.
    jack_client_t* TakeClient() noexcept;
    // A dead client: waits (at most kCloseLimit) until libjack's notification thread has left.
    void WaitForNotifierToLeave() const noexcept;

    // libjack's callbacks. Not noexcept: libjack cancels its threads, and the cancel's unwind
    // leaves through these frames (see jack_cancellation.h).
    static int ProcessCallback(jack_nframes_t frames, void* arg);
    static void InfoShutdownCallback(jack_status_t code, const char* reason, void* arg);
    static void ShutdownCallback(void* arg);
    static int SampleRateCallback(jack_nframes_t rate, void* arg);
    static int BufferSizeCallback(jack_nframes_t frames, void* arg);
    void OnSampleRate(uint32_t rate) noexcept;
    void RunProcessors(jack_nframes_t frames) noexcept;
    void OnServerGone() noexcept;

    static constexpr size_t kMaxProcessors = 8;

    mutable std::mutex m_clientMutex; // guards the three below, never across a libjack call
    mutable std::condition_variable m_callsDone;
    jack_client_t* m_client = nullptr;
    mutable int m_calls = 0;                   // calls on the client under way
    bool m_closing = false;                    // the client is taken for closing: no new calls
    std::atomic<pthread_t> m_realtimeThread{}; // libjack's process thread for this client
    std::atomic<bool> m_dead{false};
    std::atomic<uint32_t> m_rate{0};   // the server's sample rate
    std::atomic<uint32_t> m_period{0}; // frames per period
    // Set when the notification thread that told of the server's end has left (shared with a
    // thread-local object on that thread, which may outlive the session).
    struct ThreadLeft {
        std::mutex mutex;
        std::condition_variable changed;
        bool left = false; // guarded by mutex
    };
    std::shared_ptr<ThreadLeft> m_notifierLeft = std::make_shared<ThreadLeft>();
    std::mutex m_mutex; // guards m_processors; held by the process callback while it runs them
    std::array<IProcessor*, kMaxProcessors> m_processors{};
};

} // namespace zorvil::platform
