// JACK MIDI ports of Zorvil's own client: Zorvil:midi_in and Zorvil:midi_out.
#include "platform/audio_device_jack.h"
#include "platform/midi_port.h"

#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace zorvil::platform {

namespace {

constexpr const char* kJackMidiName = "JACK MIDI";

// A single-reader, single-writer byte ring (writers serialise among themselves); the two
// positions only grow, and their difference is what the ring holds.
class ByteRing {
public:
    explicit ByteRing(size_t capacity) : m_bytes(capacity) {}

    size_t WriteSpace() const noexcept {
        return m_bytes.size() -
               (m_head.load(std::memory_order_relaxed) - m_tail.load(std::memory_order_acquire));
    }
    size_t ReadSpace() const noexcept {
        return m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_relaxed);
    }
    // Writes a message's size and its bytes, and publishes them together: the reader never sees
    // a size whose bytes are not there yet.
    void WriteMessage(uint32_t size, const uint8_t* bytes) noexcept {
        size_t head = m_head.load(std::memory_order_relaxed);
        uint8_t prefix[sizeof size];
        std::memcpy(prefix, &size, sizeof size);
        for (uint8_t b : prefix)
            m_bytes[head++ % m_bytes.size()] = b;
        for (size_t i = 0; i < size; ++i)
            m_bytes[head++ % m_bytes.size()] = bytes[i];
        m_head.store(head, std::memory_order_release);
    }
    void Read(void* data, size_t n) noexcept {
        auto* out = static_cast<uint8_t*>(data);
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        for (size_t i = 0; i < n; ++i)
            out[i] = m_bytes[(tail + i) % m_bytes.size()];
        m_tail.store(tail + n, std::memory_order_release);
    }

private:
    std::vector<uint8_t> m_bytes;
    std::atomic<size_t> m_head{0}; // written by the sender
    std::atomic<size_t> m_tail{0}; // written by the process callback
};

class JackMidiIn final : public MidiInPort, JackSession::IProcessor {
public:
    JackMidiIn(std::shared_ptr<JackSession> session, IMidiInHandler& handler)
        : MidiInPort(handler), m_session(std::move(session)) {}
    ~JackMidiIn() override {
        m_session->Detach(this);
        m_session->UnregisterPort(m_port);
    }

    bool Open() {
        m_port = m_session->RegisterPort("midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
        return m_port != nullptr && m_session->Attach(this);
    }

    bool Alive() const noexcept override { return m_session->Alive(); }

    // A period's events come together, each at its frame in the period: what came in during the
    // last period is handed over now, so an event at frame t arrived (frames - t) frames ago, at
    // the server's own rate.
    void Process(jack_nframes_t frames) noexcept override {
        void* buffer = jack_port_get_buffer(m_port, frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        const uint64_t rate = m_session->SampleRate();
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
            const uint64_t ago = frames > event.time ? frames - event.time : 0;
            const auto ageMs = static_cast<uint32_t>(rate > 0 ? (ago * 1000 + rate / 2) / rate : 0);
            Deliver({event.buffer, event.size}, ageMs);
        }
    }
    void OnShutdown() noexcept override {}

private:
    std::shared_ptr<JackSession> m_session;
    jack_port_t* m_port = nullptr;
};

// Senders (the MIDI input's thread, the engine thread) write size-prefixed messages into a
// ring under a lock; the process callback, the only reader, moves them into the port buffer.
class JackMidiOut final : public IMidiOutPort, JackSession::IProcessor {
public:
    static constexpr size_t kRingBytes = 1 << 17;
    static constexpr size_t kMaxMessage = 1 << 16;
    static constexpr std::chrono::milliseconds kDrainLimit{250};

    explicit JackMidiOut(std::shared_ptr<JackSession> session)
        : m_session(std::move(session)), m_ring(kRingBytes), m_scratch(kMaxMessage) {}
    // What was sent last (the note-offs of a reset before closing) still leaves: the port goes
    // only once the process callback has taken everything and the server has run one more
    // period (a client that reads this port before Zorvil in the graph's order gets a period's
    // events one period later), or after kDrainLimit when the server has stopped calling it.
    ~JackMidiOut() override {
        const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
        const auto waitUntil = [&](auto done) {
            while (!done() && Alive() && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        waitUntil([&] { return m_ring.ReadSpace() == 0; });
        const uint64_t drained = m_periods.load(std::memory_order_acquire);
        waitUntil([&] { return m_periods.load(std::memory_order_acquire) >= drained + 2; });
        m_session->Detach(this);
        m_session->UnregisterPort(m_port);
    }

    bool Open() {
        m_port = m_session->RegisterPort("midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
        return m_port != nullptr && m_session->Attach(this);
    }

    bool SendShort(uint32_t word) noexcept override {
        uint8_t bytes[4];
        std::memcpy(bytes, &word, 4);
        return Send({bytes, ShortMessageBytes(word)});
    }
    bool SendLong(std::span<const uint8_t> bytes) noexcept override { return Send(bytes); }
    bool Alive() const noexcept override { return m_session->Alive(); }

    void Process(jack_nframes_t frames) noexcept override {
        void* buffer = jack_port_get_buffer(m_port, frames);
        jack_midi_clear_buffer(buffer);
        uint32_t size = 0;
        while (m_ring.ReadSpace() >= sizeof size) {
            m_ring.Read(&size, sizeof size);
            m_ring.Read(m_scratch.data(), size);
            // Every message leaves at the start of the period, in the order it was sent;
            // a message that does not fit the period's buffer is lost.
            jack_midi_event_write(buffer, 0, m_scratch.data(), size);
        }
        m_periods.fetch_add(1, std::memory_order_release);
    }
    void OnShutdown() noexcept override {}

private:
    bool Send(std::span<const uint8_t> bytes) noexcept {
        if (bytes.empty() || bytes.size() > kMaxMessage || !Alive()) return false;
        const auto size = static_cast<uint32_t>(bytes.size());
        std::lock_guard lock(m_writeMutex);
        if (m_ring.WriteSpace() < sizeof size + size) return false;
        m_ring.WriteMessage(size, bytes.data());
        return true;
    }

    std::shared_ptr<JackSession> m_session;
    jack_port_t* m_port = nullptr;
    ByteRing m_ring;
    std::mutex m_writeMutex;            // one writer at a time into the ring
    std::vector<uint8_t> m_scratch;     // read side only
    std::atomic<uint64_t> m_periods{0}; // periods the process callback has run; read by closing
};

} // namespace

namespace detail {

std::unique_ptr<MidiInPort> OpenJackMidiIn(IMidiInHandler& handler) {
    auto session = JackSession::Get();
    if (!session) return nullptr;
    auto port = std::make_unique<JackMidiIn>(std::move(session), handler);
    if (!port->Open()) return nullptr;
    return port;
}

std::unique_ptr<IMidiOutPort> OpenJackMidiOut() {
    auto session = JackSession::Get();
    if (!session) return nullptr;
    auto port = std::make_unique<JackMidiOut>(std::move(session));
    if (!port->Open()) return nullptr;
    return port;
}

void AddJackMidiIn(std::vector<MidiInEntry>& list) {
    if (!JackSession::ServerRunning()) return;
    list.push_back({kJackMidiName, [](IMidiInHandler& h) { return OpenJackMidiIn(h); }});
}

void AddJackMidiOut(std::vector<MidiOutEntry>& list) {
    if (!JackSession::ServerRunning()) return;
    list.push_back({kJackMidiName, [] { return OpenJackMidiOut(); }});
}

} // namespace detail

} // namespace zorvil::platform
