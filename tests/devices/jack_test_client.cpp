#include "devices/jack_test_client.h"

#include "platform/jack_cancellation.h"

#include <jack/midiport.h>

namespace zorvil::test {

JackTestClient::~JackTestClient() {
    Close();
}

bool JackTestClient::Open() {
    jack_status_t status{};
    m_client = jack_client_open("ZorvilTest", JackNoStartServer, &status);
    if (m_client == nullptr) return false;
    m_left.reserve(1 << 20);
    m_right.reserve(1 << 20);
    m_in[0] = jack_port_register(m_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    m_in[1] = jack_port_register(m_client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    m_out[0] = jack_port_register(m_client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    m_out[1] = jack_port_register(m_client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    m_midiIn = jack_port_register(m_client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_midiOut =
        jack_port_register(m_client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(m_client, &JackTestClient::Process, this);
    jack_on_shutdown(m_client, &JackTestClient::Shutdown, this);
    return jack_activate(m_client) == 0;
}

void JackTestClient::Close() {
    if (m_client == nullptr) return;
    if (!ServerGone()) jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
}

bool JackTestClient::Connect(const std::string& from, const std::string& to) {
    if (m_client == nullptr || jack_connect(m_client, from.c_str(), to.c_str()) != 0) return false;
    uint64_t start = 0;
    {
        std::lock_guard lock(m_mutex);
        start = m_cycles;
    }
    return WaitFor(
        [&] {
            std::lock_guard lock(m_mutex);
            return m_cycles >= start + 2;
        },
        std::chrono::milliseconds(5000));
}

bool JackTestClient::PortExists(const std::string& name) const {
    return m_client != nullptr && jack_port_by_name(m_client, name.c_str()) != nullptr;
}

int JackTestClient::Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackTestClient*>(arg);
    return platform::RunWithoutCancellation([self, frames] { return self->RunCycle(frames); });
}

int JackTestClient::RunCycle(jack_nframes_t frames) {
    auto* in1 = static_cast<const float*>(jack_port_get_buffer(m_in[0], frames));
    auto* in2 = static_cast<const float*>(jack_port_get_buffer(m_in[1], frames));
    auto* out1 = static_cast<float*>(jack_port_get_buffer(m_out[0], frames));
    auto* out2 = static_cast<float*>(jack_port_get_buffer(m_out[1], frames));
    void* midiIn = jack_port_get_buffer(m_midiIn, frames);
    void* midiOut = jack_port_get_buffer(m_midiOut, frames);
    {
        std::lock_guard lock(m_mutex);
        ++m_cycles;
        m_left.insert(m_left.end(), in1, in1 + frames);
        m_right.insert(m_right.end(), in2, in2 + frames);
        for (jack_nframes_t f = 0; f < frames; ++f) {
            out1[f] = m_level[0];
            out2[f] = m_level[1];
        }
        const jack_nframes_t count = jack_midi_get_event_count(midiIn);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, midiIn, i) == 0)
                m_midiReceived.emplace_back(event.buffer, event.buffer + event.size);
        }
        jack_midi_clear_buffer(midiOut);
        jack_nframes_t time = 0;
        for (auto& message : m_midiToSend)
            jack_midi_event_write(midiOut, time++ % frames, message.data(), message.size());
        m_midiToSend.clear();
    }
    m_changed.notify_all();
    return 0;
}

void JackTestClient::Shutdown(void* arg) {
    auto* self = static_cast<JackTestClient*>(arg);
    platform::RunWithoutCancellation([self] {
        {
            std::lock_guard lock(self->m_mutex);
            self->m_gone = true;
        }
        self->m_changed.notify_all();
    });
}

std::vector<float> JackTestClient::Left() const {
    std::lock_guard lock(m_mutex);
    return m_left;
}

std::vector<float> JackTestClient::Right() const {
    std::lock_guard lock(m_mutex);
    return m_right;
}

size_t JackTestClient::AudioFrames() const {
    std::lock_guard lock(m_mutex);
    return m_left.size();
}

std::vector<std::vector<uint8_t>> JackTestClient::MidiReceived() const {
    std::lock_guard lock(m_mutex);
    return m_midiReceived;
}

void JackTestClient::Clear() {
    std::lock_guard lock(m_mutex);
    m_left.clear();
    m_right.clear();
    m_midiReceived.clear();
}

void JackTestClient::SendMidi(std::vector<uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    m_midiToSend.push_back(std::move(bytes));
}

void JackTestClient::SetOutputLevel(float left, float right) {
    std::lock_guard lock(m_mutex);
    m_level[0] = left;
    m_level[1] = right;
}

bool JackTestClient::WaitFor(const std::function<bool()>& done,
                             std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) return done();
    }
    return true;
}

bool JackTestClient::ServerGone() const {
    std::lock_guard lock(m_mutex);
    return m_gone;
}

} // namespace zorvil::test
