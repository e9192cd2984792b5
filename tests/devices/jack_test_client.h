// A small JACK client of the tests' own ("ZorvilTest"), as any other JACK program would be: it
// records what reaches in_1, in_2 and midi_in (into storage reserved up front), plays 0.5 on
// out_1 and -0.5 on out_2, and sends queued MIDI from midi_out in the next period (each message
// at the next frame, or at the frame it asks for).
//     ASSERT_TRUE(client.Open() && client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
//     client.WaitFor([&] { return client.Audio(0).size() > 44100; }, 5s);
#pragma once

#include "platform/jack_cancellation.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvil::test {

class JackTestClient {
    template <typename Body>
    decltype(auto) Locked(Body&& body) const { // runs `body` under the lock
        std::lock_guard lock(m_mutex);
        return body();
    }

public:
    ~JackTestClient() { Close(); } // (the mutex makes it non-copyable)

    bool Open() {
        m_client = jack_client_open("ZorvilTest", JackNoStartServer, nullptr);
        if (m_client == nullptr) return false;
        // Inputs at even indexes, outputs at odd ones.
        const char* names[] = {"in_1", "out_1", "in_2", "out_2", "midi_in", "midi_out"};
        for (int p = 0; p < 6; ++p)
            m_ports[p] = jack_port_register(
                m_client, names[p], p < 4 ? JACK_DEFAULT_AUDIO_TYPE : JACK_DEFAULT_MIDI_TYPE,
                p % 2 == 0 ? JackPortIsInput : JackPortIsOutput, 0);
        for (auto& samples : m_audio)
            samples.reserve(1 << 20);
        jack_set_process_callback(m_client, &JackTestClient::Process, this);
        jack_on_shutdown(m_client, &JackTestClient::Shutdown, this);
        return jack_activate(m_client) == 0;
    }

    void Close() {
        if (m_client == nullptr) return;
        if (!Locked([&] { return m_gone; })) jack_deactivate(m_client);
        jack_client_close(m_client);
        m_client = nullptr;
    }

    // Connects two ports and waits two periods, so that the connection carries what follows.
    bool Connect(const std::string& from, const std::string& to) {
        if (m_client == nullptr || jack_connect(m_client, from.c_str(), to.c_str()) != 0)
            return false;
        const uint64_t start = Locked([&] { return m_cycles; });
        return WaitFor([&] { return Locked([&] { return m_cycles >= start + 2; }); },
                       std::chrono::milliseconds(5000));
    }

    bool PortExists(const std::string& name) const {
        return m_client != nullptr && jack_port_by_name(m_client, name.c_str()) != nullptr;
    }
    // Audio that reached in_1 (channel 0) or in_2 (channel 1); MIDI that reached midi_in.
    std::vector<float> Audio(int channel) const {
        return Locked([&] { return m_audio[channel]; });
    }
    size_t AudioFrames(int channel) const {
        return Locked([&] { return m_audio[channel].size(); });
    }
    std::vector<std::vector<uint8_t>> MidiReceived() const {
        return Locked([&] { return m_midiReceived; });
    }
    void SendMidi(std::vector<uint8_t> bytes, std::optional<uint32_t> frame = std::nullopt) {
        Locked([&] { m_midiToSend.push_back({frame, std::move(bytes)}); });
    }
    // Frames the client has processed so far (every period of the server since it opened).
    uint64_t Frames() const {
        return Locked([&] { return m_frames; });
    }

    // Waits until `done` holds, checking after each period; false after `limit`. `done` may
    // use the accessors above.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::unique_lock lock(m_mutex);
            if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
                lock.unlock(); // `done` takes the lock itself
                return done();
            }
        }
        return true;
    }

private:
    // libjack's callbacks; their work runs without cancellation (see jack_cancellation.h).
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackTestClient*>(arg);
        platform::RunWithoutCancellation([self, frames] { self->RunCycle(frames); });
        return 0;
    }
    static void Shutdown(void* arg) {
        auto* self = static_cast<JackTestClient*>(arg);
        platform::RunWithoutCancellation([self] {
            self->Locked([self] { self->m_gone = true; });
            self->m_changed.notify_all();
        });
    }

    void RunCycle(jack_nframes_t frames) {
        void* buffers[6];
        for (int p = 0; p < 6; ++p)
            buffers[p] = jack_port_get_buffer(m_ports[p], frames);
        {
            std::lock_guard lock(m_mutex);
            ++m_cycles;
            m_frames += frames;
            for (int c = 0; c < 2; ++c) {
                auto* in = static_cast<const float*>(buffers[2 * c]);
                auto* out = static_cast<float*>(buffers[2 * c + 1]);
                m_audio[c].insert(m_audio[c].end(), in, in + frames);
                std::fill(out, out + frames, c == 0 ? 0.5f : -0.5f);
            }
            for (jack_nframes_t i = 0; i < jack_midi_get_event_count(buffers[4]); ++i) {
                jack_midi_event_t event{};
                if (jack_midi_event_get(&event, buffers[4], i) == 0)
                    m_midiReceived.emplace_back(event.buffer, event.buffer + event.size);
            }
            jack_midi_clear_buffer(buffers[5]);
            jack_nframes_t time = 0;
            for (auto& [frame, message] : m_midiToSend) {
                time = std::min(frame.value_or(time), frames - 1);
                jack_midi_event_write(buffers[5], time++ % frames, message.data(), message.size());
            }
            m_midiToSend.clear();
        }
        m_changed.notify_all();
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_ports[6] = {};

    mutable std::mutex m_mutex; // guards everything below
    mutable std::condition_variable m_changed;
    std::vector<float> m_audio[2];
    std::vector<std::vector<uint8_t>> m_midiReceived;
    std::vector<std::pair<std::optional<uint32_t>, std::vector<uint8_t>>> m_midiToSend;
    bool m_gone = false; // the server shut this client down
    uint64_t m_cycles = 0;
    uint64_t m_frames = 0;
};

} // namespace zorvil::test
