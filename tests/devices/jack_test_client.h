// A small JACK client of the tests' own ("ZorvilTest"): it listens to Zorvil's audio and MIDI
// outputs, and plays audio and MIDI into Zorvil's inputs, as any other JACK program would.
//
//     JackTestClient client;
//     ASSERT_TRUE(client.Open());
//     client.Connect("Zorvil:out_1", "ZorvilTest:in_1");
//     client.WaitFor([&] { return client.AudioFrames() > 44100; }, 5s);
//     client.SendMidi({0x90, 60, 100});                // next period, into ZorvilTest:midi_out
//
// The process callback records what arrives (into storage reserved up front) and sends what
// was queued; the test thread reads under the same lock.
#pragma once

#include <jack/jack.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zorvil::test {

class JackTestClient {
public:
    JackTestClient() = default;
    ~JackTestClient();
    JackTestClient(const JackTestClient&) = delete;
    JackTestClient& operator=(const JackTestClient&) = delete;

    bool Open();
    void Close();
    // Connects two ports and waits two periods, so that the connection carries what follows.
    bool Connect(const std::string& from, const std::string& to);
    bool PortExists(const std::string& name) const;

    // Audio that reached in_1 / in_2 since the last Clear (frames, left and right).
    std::vector<float> Left() const;
    std::vector<float> Right() const;
    size_t AudioFrames() const;
    // MIDI that reached midi_in, one message per element.
    std::vector<std::vector<uint8_t>> MidiReceived() const;
    void Clear();

    // Queue a MIDI message for out port midi_out (sent in the next period).
    void SendMidi(std::vector<uint8_t> bytes);
    // Play this constant value on out_1 / out_2 from now on.
    void SetOutputLevel(float left, float right);

    // Waits until `done` holds, checking after each period; false after `limit`.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) const;

    // True once the server has shut this client down.
    bool ServerGone() const;

private:
    // libjack's callbacks; their work runs without cancellation (see jack_cancellation.h).
    static int Process(jack_nframes_t frames, void* arg);
    int RunCycle(jack_nframes_t frames);
    static void Shutdown(void* arg);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_in[2] = {nullptr, nullptr};
    jack_port_t* m_out[2] = {nullptr, nullptr};
    jack_port_t* m_midiIn = nullptr;
    jack_port_t* m_midiOut = nullptr;

    mutable std::mutex m_mutex; // guards everything below
    mutable std::condition_variable m_changed;
    std::vector<float> m_left, m_right;
    std::vector<std::vector<uint8_t>> m_midiReceived;
    std::vector<std::vector<uint8_t>> m_midiToSend;
    float m_level[2] = {0.0f, 0.0f};
    bool m_gone = false;
    uint64_t m_cycles = 0;
};

} // namespace zorvil::test
