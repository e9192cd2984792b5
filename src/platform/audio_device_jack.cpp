#include "platform/audio_device_jack.h"

#include "platform/audio_device_backends.h"
#include "platform/jack_cancellation.h"
#include "platform/rate_bridge.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>

namespace zorvil::platform {

namespace {

// The session devices share. It stays, without ports, while no device is open: the client keeps
// its name "Zorvil" for patchbays and connections made by hand, instead of appearing and
// leaving (and perhaps coming back as "Zorvil-01") with every look at the device lists.
std::mutex g_sessionMutex; // guards g_session
std::shared_ptr<JackSession> g_session;

void Quiet(const char*) {}

// Closes the clients of sessions whose server went away. libjack forbids closing a client from
// its own shutdown callback, yet the client must be closed at once: left open, a restarted
// server of the same name wakes it. The callback hands the session over; this one thread, started
// from an ordinary thread of ours, closes it.
class DeadClientReaper {
public:
    DeadClientReaper() : m_thread([this](std::stop_token stop) { Run(stop); }) {}
    ~DeadClientReaper() {
        m_thread.request_stop();
        m_wake.notify_all();
    }

    void Hand(std::shared_ptr<JackSession> session) {
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(std::move(session));
        }
        m_wake.notify_one();
    }

private:
    void Run(std::stop_token stop) {
        std::unique_lock lock(m_mutex);
        while (!stop.stop_requested()) {
            m_wake.wait(lock, [&] { return stop.stop_requested() || !m_pending.empty(); });
            while (!m_pending.empty()) {
                std::shared_ptr<JackSession> session = std::move(m_pending.front());
                m_pending.pop_front();
                lock.unlock();
                session->CloseClient();
                session.reset(); // the last owner may be here
                lock.lock();
            }
        }
    }

    std::mutex m_mutex; // guards m_pending
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<JackSession>> m_pending; // sessions whose server died
    std::jthread m_thread;                              // last: starts once the rest exists
};

DeadClientReaper& Reaper() {
    static DeadClientReaper reaper;
    return reaper;
}

} // namespace

std::shared_ptr<JackSession> JackSession::Get() {
    std::lock_guard lock(g_sessionMutex);
    if (g_session && g_session->Alive()) return g_session;
    g_session.reset(); // a session whose server went away
    // libjack reports a missing server on stderr; the device lists ask often, so keep it quiet.
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (client == nullptr) return nullptr;
    Reaper(); // started here, on a thread of ours, before any shutdown callback can need it
    std::shared_ptr<JackSession> session(new JackSession());
    session->m_client = client;
    jack_set_process_callback(client, &JackSession::ProcessCallback, session.get());
    session->m_rate.store(jack_get_sample_rate(client), std::memory_order_release);
    session->m_period.store(jack_get_buffer_size(client), std::memory_order_release);
    jack_set_sample_rate_callback(client, &JackSession::SampleRateCallback, session.get());
    jack_set_buffer_size_callback(client, &JackSession::BufferSizeCallback, session.get());
    jack_on_info_shutdown(client, &JackSession::ShutdownCallback, session.get());
    if (jack_activate(client) != 0) return nullptr; // the destructor closes the client
    g_session = session;
    return session;
}

bool JackSession::ServerRunning() {
    return Get() != nullptr;
}

void JackSession::CloseIdle() {
    std::lock_guard lock(g_sessionMutex);
    if (g_session && g_session.use_count() == 1) g_session.reset();
}

JackSession::~JackSession() {
    CloseClient();
}

void JackSession::CloseClient() noexcept {
    std::lock_guard lock(m_clientMutex);
    if (m_client == nullptr) return;
    if (Alive()) jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
}

uint32_t JackSession::SampleRate() const noexcept {
    return Alive() ? m_rate.load(std::memory_order_acquire) : 0;
}

jack_port_t* JackSession::RegisterPort(const char* shortName, const char* type,
                                       unsigned long flags) {
    std::lock_guard lock(m_clientMutex);
    if (!Alive() || m_client == nullptr) return nullptr;
    return jack_port_register(m_client, shortName, type, flags, 0);
}

void JackSession::UnregisterPort(jack_port_t* port) noexcept {
    std::lock_guard lock(m_clientMutex);
    if (port != nullptr && Alive() && m_client != nullptr) jack_port_unregister(m_client, port);
}

void JackSession::ConnectPhysical(jack_port_t* port, int index, bool playback) noexcept {
    std::lock_guard lock(m_clientMutex);
    if (port == nullptr || !Alive() || m_client == nullptr) return;
    const char* type = jack_port_type(port);
    const unsigned long flags =
        JackPortIsPhysical | (playback ? JackPortIsInput : JackPortIsOutput);
    const char** ports = jack_get_ports(m_client, nullptr, type, flags);
    if (ports == nullptr) return;
    int count = 0;
    while (ports[count] != nullptr)
        ++count;
    if (count > 0) {
        const char* other = ports[std::min(index, count - 1)];
        if (playback)
            jack_connect(m_client, jack_port_name(port), other);
        else
            jack_connect(m_client, other, jack_port_name(port));
    }
    jack_free(ports);
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

void JackSession::ShutdownCallback(jack_status_t, const char*, void* arg) {
    RunWithoutCancellation(
        [self = static_cast<JackSession*>(arg)]() noexcept { self->OnServerGone(); });
}

void JackSession::OnServerGone() noexcept {
    m_dead.store(true, std::memory_order_release);
    {
        std::lock_guard lock(m_mutex);
        for (IProcessor* p : m_processors)
            if (p != nullptr) p->OnShutdown();
    }
    // Not from this callback (libjack forbids it), but at once, on the reaper's thread.
    if (auto keep = weak_from_this().lock()) {
        try {
            Reaper().Hand(std::move(keep));
        } catch (...) {
            // Out of memory: the client is closed when the session goes.
        }
    }
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
