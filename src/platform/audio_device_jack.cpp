#include "platform/audio_device_jack.h"

#include "platform/audio_device_backends.h"
#include "platform/jack_cancellation.h"
#include "platform/rate_bridge.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zorvil::platform {

namespace {

using Clock = std::chrono::steady_clock;

void Quiet(const char*) {}

// The session devices share. It stays, without ports, while no device is open: the client keeps
// its name "Zorvil" for patchbays and connections made by hand, instead of appearing and
// leaving (and perhaps coming back as "Zorvil-01") with every look at the device lists.
std::mutex g_sessionMutex; // guards the three below, never across a libjack call
std::condition_variable g_sessionChanged;
std::shared_ptr<JackSession> g_session;
bool g_opening = false; // a thread is opening a client

// Tells when one of libjack's threads has left: made on that thread by a callback, it goes with
// the thread (also when libjack cancels it) and sets the flags it was given.
template <typename Flag>
class ThreadExitWatch {
public:
    ~ThreadExitWatch() {
        for (const auto& flag : m_flags) {
            {
                std::lock_guard lock(flag->mutex);
                flag->left = true;
            }
            flag->changed.notify_all();
        }
    }
    void Add(std::shared_ptr<Flag> flag) { m_flags.push_back(std::move(flag)); }

private:
    std::vector<std::shared_ptr<Flag>> m_flags;
};

} // namespace

// Closes clients one after the other, on a thread of its own: libjack forbids closing a client
// from its own callbacks, and its close may block for ever (see the header). Whoever waits for a
// close waits at most kCloseLimit. Made before the first client, never destroyed: a device may
// let go of its session while the program ends.
class JackSession::Closer {
public:
    static Closer& Instance() {
        static Closer* const closer = new Closer;
        return *closer;
    }

    // The server of `session` went away (libjack's shutdown callback: no thread may be started
    // there). Its client closes once libjack's notification thread and the calls under way are
    // done; the closer keeps the session until then.
    void HandDead(std::shared_ptr<JackSession> session) noexcept {
        Hand([session = std::move(session)]() mutable {
            session->WaitForNotifierToLeave();
            if (jack_client_t* client = session->TakeClient()) jack_client_close(client);
            session.reset(); // perhaps the last owner: nothing left to close then
        });
    }

    // Nobody holds `session` any more: its client closes, then the session goes. Waits for that
    // at most kCloseLimit.
    void CloseAndDelete(JackSession* session) noexcept {
        const uint64_t ticket = Hand([session] {
            if (jack_client_t* client = session->TakeClient()) jack_client_close(client);
            delete session;
        });
        std::unique_lock lock(m_mutex);
        m_changed.wait_until(lock, Clock::now() + kCloseLimit,
                             [&] { return m_finished >= ticket; });
    }

    // Waits until every close handed over has finished. False when one has been under way for
    // kCloseLimit: libjack hangs in it, and would make any new client wait for it too.
    bool WaitIdle() {
        std::unique_lock lock(m_mutex);
        while (m_finished < m_handed) {
            const auto limit =
                m_busySince ? *m_busySince + kCloseLimit : Clock::now() + kCloseLimit;
            if (m_busySince && Clock::now() >= limit) return false;
            m_changed.wait_until(lock, limit);
        }
        return true;
    }

private:
    Closer() {
        try {
            std::thread([this] { Run(); }).detach();
            m_running = true;
        } catch (const std::system_error&) {
            // No thread: closes run on the thread that hands them over.
        }
    }

    // Queues a close; the ticket it gets (0: it ran at once).
    uint64_t Hand(std::function<void()> close) noexcept {
        try {
            uint64_t ticket = 0;
            {
                std::lock_guard lock(m_mutex);
                if (m_running) {
                    m_jobs.push_back(std::move(close));
                    ticket = ++m_handed;
                }
            }
            if (ticket != 0) {
                m_changed.notify_all();
                return ticket;
            }
        } catch (...) {
            // Out of memory: closed here.
        }
        if (close) close();
        return 0;
    }

    void Run() noexcept {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_jobs.empty(); });
            std::function<void()> close = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busySince = Clock::now();
            lock.unlock();
            close();
            close = nullptr;
            lock.lock();
            m_busySince.reset();
            ++m_finished;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex; // guards everything below
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    uint64_t m_handed = 0;                        // closes handed over so far
    uint64_t m_finished = 0;                      // of them, finished
    std::optional<Clock::time_point> m_busySince; // the start of the close under way
    bool m_running = false;                       // the thread runs
};

std::shared_ptr<JackSession> JackSession::Get() {
    std::unique_lock lock(g_sessionMutex);
    // Another thread may be opening the client; libjack calls are never made under the lock.
    if (!g_sessionChanged.wait_for(lock, kCloseLimit, [] { return !g_opening; })) return nullptr;
    if (g_session && g_session->Alive()) return g_session;
    std::shared_ptr<JackSession> gone = std::move(g_session); // a session whose server went away
    g_opening = true;
    lock.unlock();
    gone.reset();
    std::shared_ptr<JackSession> opened;
    try {
        opened = Open();
    } catch (...) {
        // Out of memory: no session.
    }
    lock.lock();
    g_opening = false;
    g_session = opened;
    g_sessionChanged.notify_all();
    return opened;
}

std::shared_ptr<JackSession> JackSession::Open() {
    // A close that libjack has not finished holds the lock it opens clients under.
    if (!Closer::Instance().WaitIdle()) return nullptr;
    // libjack reports a missing server on stderr; the device lists ask often, so keep it quiet.
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    std::shared_ptr<JackSession> session(new JackSession(), &JackSession::Release);
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (client == nullptr) return nullptr;
    {
        std::lock_guard lock(session->m_clientMutex);
        session->m_client = client;
    }
    jack_set_process_callback(client, &JackSession::ProcessCallback, session.get());
    session->m_rate.store(jack_get_sample_rate(client), std::memory_order_release);
    session->m_period.store(jack_get_buffer_size(client), std::memory_order_release);
    jack_set_sample_rate_callback(client, &JackSession::SampleRateCallback, session.get());
    jack_set_buffer_size_callback(client, &JackSession::BufferSizeCallback, session.get());
    jack_on_info_shutdown(client, &JackSession::InfoShutdownCallback, session.get());
    // A second notice, for the thread that learns of the end after the one that told first.
    jack_on_shutdown(client, &JackSession::ShutdownCallback, session.get());
    if (jack_activate(client) != 0) return nullptr; // the deleter closes the client
    session->m_realtimeThread.store(jack_client_thread_id(client));
    return session;
}

void JackSession::Release(JackSession* session) noexcept {
    if (!session->HasClient()) {
        delete session; // closed already: its server went away
        return;
    }
    Closer::Instance().CloseAndDelete(session);
}

bool JackSession::WaitForCloses() {
    return Closer::Instance().WaitIdle();
}

bool JackSession::ServerRunning() {
    return Get() != nullptr;
}

void JackSession::CloseIdle() {
    std::shared_ptr<JackSession> idle;
    {
        std::lock_guard lock(g_sessionMutex);
        if (!g_opening && g_session && g_session.use_count() == 1) idle = std::move(g_session);
    }
    idle.reset(); // the last owner: the client closes
}

template <typename Result, typename Call>
Result JackSession::WithClient(Result fallback, Call&& call) const noexcept {
    jack_client_t* client = nullptr;
    {
        std::lock_guard lock(m_clientMutex);
        if (m_client == nullptr || m_closing || !Alive()) return fallback;
        client = m_client;
        ++m_calls;
    }
    const Result result = call(client);
    {
        std::lock_guard lock(m_clientMutex);
        --m_calls;
    }
    m_callsDone.notify_all();
    return result;
}

bool JackSession::HasClient() const noexcept {
    std::lock_guard lock(m_clientMutex);
    return m_client != nullptr;
}

jack_client_t* JackSession::TakeClient() noexcept {
    std::unique_lock lock(m_clientMutex);
    m_closing = true;
    // On the closer's thread, which nobody waits for beyond kCloseLimit.
    m_callsDone.wait(lock, [this] { return m_calls == 0; });
    return std::exchange(m_client, nullptr);
}

void JackSession::WaitForNotifierToLeave() const noexcept {
    ThreadLeft& notifier = *m_notifierLeft;
    std::unique_lock lock(notifier.mutex);
    notifier.changed.wait_until(lock, Clock::now() + kCloseLimit, [&] { return notifier.left; });
}

uint32_t JackSession::SampleRate() const noexcept {
    return Alive() ? m_rate.load(std::memory_order_acquire) : 0;
}

jack_port_t* JackSession::RegisterPort(const char* shortName, const char* type,
                                       unsigned long flags) {
    return WithClient(static_cast<jack_port_t*>(nullptr), [&](jack_client_t* client) noexcept {
        return jack_port_register(client, shortName, type, flags, 0);
    });
}

void JackSession::UnregisterPort(jack_port_t* port) noexcept {
    if (port == nullptr) return;
    WithClient(
        0, [port](jack_client_t* client) noexcept { return jack_port_unregister(client, port); });
}

void JackSession::ConnectPhysical(jack_port_t* port, int index, bool playback) noexcept {
    if (port == nullptr) return;
    WithClient(0, [&](jack_client_t* client) noexcept {
        const char* type = jack_port_type(port);
        const unsigned long flags =
            JackPortIsPhysical | (playback ? JackPortIsInput : JackPortIsOutput);
        const char** ports = jack_get_ports(client, nullptr, type, flags);
        if (ports == nullptr) return 0;
        int count = 0;
        while (ports[count] != nullptr)
            ++count;
        if (count > 0) {
            const char* other = ports[std::min(index, count - 1)];
            if (playback)
                jack_connect(client, jack_port_name(port), other);
            else
                jack_connect(client, other, jack_port_name(port));
        }
        jack_free(ports);
        return 0;
    });
}

bool JackSession::Attach(IProcessor* processor) noexcept {
    std::lock_guard lock(m_mutex);
    if (!Alive()) return false;
    for (auto& slot : m_processors)
        if (slot == nullptr) {
            slot = processor;
            return true;
        }
    return false;
}

void JackSession::Detach(IProcessor* processor) noexcept {
    std::lock_guard lock(m_mutex);
    for (auto& slot : m_processors)
        if (slot == processor) slot = nullptr;
}

int JackSession::ProcessCallback(jack_nframes_t frames, void* arg) {
    return RunWithoutCancellation([frames, self = static_cast<JackSession*>(arg)]() noexcept {
        self->RunProcessors(frames);
        return 0;
    });
}

void JackSession::RunProcessors(jack_nframes_t frames) noexcept {
    // Attach and Detach hold the lock only to change one slot.
    std::lock_guard lock(m_mutex);
    for (IProcessor* p : m_processors)
        if (p != nullptr) p->Process(frames);
}

int JackSession::SampleRateCallback(jack_nframes_t rate, void* arg) {
    return RunWithoutCancellation([rate, self = static_cast<JackSession*>(arg)]() noexcept {
        self->OnSampleRate(rate);
        return 0;
    });
}

void JackSession::OnSampleRate(uint32_t rate) noexcept {
    if (m_rate.exchange(rate, std::memory_order_acq_rel) == rate) return;
    // Rare (a server that changes its rate while running): the processors make their new
    // converters here, while the process callback waits for this one period.
    std::lock_guard lock(m_mutex);
    for (IProcessor* p : m_processors)
        if (p != nullptr) p->OnSampleRate(rate);
}

int JackSession::BufferSizeCallback(jack_nframes_t frames, void* arg) {
    // Nothing on the audio path depends on the period: every processor takes what comes.
    static_cast<JackSession*>(arg)->m_period.store(frames, std::memory_order_release);
    return 0;
}

void JackSession::InfoShutdownCallback(jack_status_t, const char*, void* arg) {
    ShutdownCallback(arg);
}

void JackSession::ShutdownCallback(void* arg) {
    RunWithoutCancellation(
        [self = static_cast<JackSession*>(arg)]() noexcept { self->OnServerGone(); });
}

void JackSession::OnServerGone() noexcept {
    // libjack tells on its notification thread, or first on the process thread when that one
    // sees the end first; the notification thread then tells again. After the notice it still
    // handles what the server sent before it went, under libjack's own locks, then leaves by
    // itself. The close waits for that: it would cancel the thread wherever it is.
    if (!pthread_equal(pthread_self(), m_realtimeThread.load())) {
        try {
            thread_local ThreadExitWatch<ThreadLeft> watch;
            watch.Add(m_notifierLeft);
        } catch (...) {
            // Out of memory: the close waits out its limit instead.
        }
    }
    if (m_dead.exchange(true, std::memory_order_acq_rel)) return; // told before
    {
        std::lock_guard lock(m_mutex);
        for (IProcessor* p : m_processors)
            if (p != nullptr) p->OnShutdown();
    }
    // The client must be closed at once: left open, a restarted server of the same name wakes
    // it. Not from this callback (libjack forbids it), but on the closer's thread.
    if (auto keep = weak_from_this().lock()) Closer::Instance().HandDead(std::move(keep));
}

// ---- wave ports -----------------------------------------------------------------------------

namespace {

constexpr const char* kJackDeviceName = "JACK";

// Sets the bridge to the server's current rate. Called before the port is attached and again
// after, so that a rate change between the two is not missed.
bool FollowRate(detail::RateBridgeBase& bridge, const JackSession& session) noexcept {
    return bridge.SetDeviceRate(session.SampleRate());
}

class JackWaveOut final : public IWaveOutPort, JackSession::IProcessor {
public:
    JackWaveOut(std::shared_ptr<JackSession> session, DeviceEvent& event)
        : m_session(std::move(session)), m_queue(event), m_bridge(m_queue) {}
    ~JackWaveOut() override {
        m_session->Detach(this);
        for (auto* port : m_ports)
            m_session->UnregisterPort(port);
    }

    bool Open() {
        m_ports[0] = m_session->RegisterPort("out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        m_ports[1] = m_session->RegisterPort("out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (m_ports[0] == nullptr || m_ports[1] == nullptr || !FollowRate(m_bridge, *m_session) ||
            !m_session->Attach(this) || !FollowRate(m_bridge, *m_session))
            return false;
        m_session->ConnectPhysical(m_ports[0], 0, true);
        m_session->ConnectPhysical(m_ports[1], 1, true);
        return true;
    }

    bool Write(WAVEHDR& header) noexcept override {
        return m_session->Alive() && m_queue.Push(header);
    }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return m_session->Alive() && !m_queue.Dead(); }

    void Process(jack_nframes_t frames) noexcept override {
        auto* left = static_cast<float*>(jack_port_get_buffer(m_ports[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(m_ports[1], frames));
        m_bridge.Pull(left, right, frames);
    }
    void OnShutdown() noexcept override { m_queue.MarkDead(); }
    uint32_t Gaps() const noexcept override { return m_queue.Gaps(); }
    void SetCushion(size_t frames) noexcept override { m_queue.SetCushion(frames); }
    void OnSampleRate(uint32_t rate) noexcept override { m_bridge.SetDeviceRate(rate); }
    uint32_t DeviceRate() const noexcept override { return m_bridge.DeviceRate(); }

private:
    std::shared_ptr<JackSession> m_session;
    WaveOutQueue m_queue;
    OutputRateBridge m_bridge; // the server's rate from the engine's 44100 Hz
    jack_port_t* m_ports[2] = {nullptr, nullptr};
};

class JackWaveIn final : public IWaveInPort, JackSession::IProcessor {
public:
    JackWaveIn(std::shared_ptr<JackSession> session, DeviceEvent& event)
        : m_session(std::move(session)), m_queue(event), m_bridge(m_queue) {}
    ~JackWaveIn() override {
        m_session->Detach(this);
        for (auto* port : m_ports)
            m_session->UnregisterPort(port);
    }

    bool Open() {
        m_ports[0] = m_session->RegisterPort("in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        m_ports[1] = m_session->RegisterPort("in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        if (m_ports[0] == nullptr || m_ports[1] == nullptr || !FollowRate(m_bridge, *m_session) ||
            !m_session->Attach(this) || !FollowRate(m_bridge, *m_session))
            return false;
        m_session->ConnectPhysical(m_ports[0], 0, false);
        m_session->ConnectPhysical(m_ports[1], 1, false);
        return true;
    }

    bool AddBuffer(WAVEHDR& header) noexcept override {
        return m_session->Alive() && m_queue.Add(header);
    }
    bool Start() noexcept override {
        if (!Alive()) return false;
        m_queue.Start();
        return true;
    }
    void Stop() noexcept override { m_queue.Stop(); }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return m_session->Alive() && !m_queue.Dead(); }

    void Process(jack_nframes_t frames) noexcept override {
        auto* left = static_cast<const float*>(jack_port_get_buffer(m_ports[0], frames));
        auto* right = static_cast<const float*>(jack_port_get_buffer(m_ports[1], frames));
        m_bridge.Push(left, right, frames);
    }
    void OnShutdown() noexcept override { m_queue.MarkDead(); }
    void OnSampleRate(uint32_t rate) noexcept override { m_bridge.SetDeviceRate(rate); }
    uint32_t DeviceRate() const noexcept override { return m_bridge.DeviceRate(); }

private:
    std::shared_ptr<JackSession> m_session;
    WaveInQueue m_queue;
    InputRateBridge m_bridge; // the server's rate to the engine's 44100 Hz
    jack_port_t* m_ports[2] = {nullptr, nullptr};
};

} // namespace

namespace detail {

std::unique_ptr<IWaveOutPort> OpenJackWaveOut(DeviceEvent& event) {
    auto session = JackSession::Get();
    if (!session) return nullptr;
    auto port = std::make_unique<JackWaveOut>(std::move(session), event);
    if (!port->Open()) return nullptr;
    return port;
}

void AddJackWaveOut(std::vector<WaveOutEntry>& list) {
    const auto session = JackSession::Get();
    if (!session) return;
    list.push_back({kJackDeviceName, [](DeviceEvent& e) { return OpenJackWaveOut(e); },
                    session->SampleRate()});
}

void AddJackWaveIn(std::vector<WaveInEntry>& list) {
    const auto session = JackSession::Get();
    if (!session) return;
    list.push_back({kJackDeviceName,
                    [](DeviceEvent& event) -> std::unique_ptr<IWaveInPort> {
                        auto session = JackSession::Get();
                        if (!session) return nullptr;
                        auto port = std::make_unique<JackWaveIn>(std::move(session), event);
                        if (!port->Open()) return nullptr;
                        return port;
                    },
                    session->SampleRate()});
}

} // namespace detail

} // namespace zorvil::platform
