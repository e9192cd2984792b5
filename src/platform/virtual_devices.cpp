#include "platform/virtual_devices.h"

#include "platform/audio_device_backends.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace zorvil::platform {

namespace {

std::atomic<int> g_enabled{-1}; // -1: not decided yet, read the environment

// The open ports and the journal; guarded by g_registryMutex. A port registers itself when it
// is made and leaves when it is destroyed.
std::mutex g_registryMutex;
VirtualWaveOut* g_waveOut = nullptr;
VirtualWaveIn* g_waveIn = nullptr;
VirtualMidiIn* g_midiIn = nullptr;
VirtualMidiOut* g_midiOut = nullptr;
std::vector<std::string> g_journal;

constexpr const char* KindOf(const VirtualWaveOut*) noexcept {
    return "wave out";
}
constexpr const char* KindOf(const VirtualWaveIn*) noexcept {
    return "wave in";
}
constexpr const char* KindOf(const VirtualMidiIn*) noexcept {
    return "MIDI in";
}
constexpr const char* KindOf(const VirtualMidiOut*) noexcept {
    return "MIDI out";
}

template <typename T>
void Register(T*& slot, T* port) {
    std::lock_guard lock(g_registryMutex);
    slot = port;
    g_journal.push_back(std::string("open ") + KindOf(port));
}

template <typename T>
void Unregister(T*& slot, T* port) noexcept {
    std::lock_guard lock(g_registryMutex);
    if (slot == port) slot = nullptr;
    try {
        g_journal.push_back(std::string("close ") + KindOf(port));
    } catch (...) {
        // out of memory: the line is lost
    }
}

template <typename T>
T* Current(T* const& slot) {
    std::lock_guard lock(g_registryMutex);
    return slot;
}

constexpr size_t kRealTimeFrames = 441; // 10 ms

} // namespace

void EnableVirtualDevices(bool enabled) noexcept {
    g_enabled.store(enabled ? 1 : 0);
}

bool VirtualDevicesEnabled() noexcept {
    int state = g_enabled.load();
    if (state < 0) {
        const char* env = std::getenv("ZORVIL_VIRTUAL_DEVICES");
        state = env != nullptr && env[0] != '\0' && std::strcmp(env, "0") != 0 ? 1 : 0;
        g_enabled.store(state);
    }
    return state == 1;
}

// ---- wave output ----------------------------------------------------------------------------

VirtualWaveOut::VirtualWaveOut(Mode mode, DeviceEvent& event) : m_mode(mode), m_queue(event) {
    m_scratch.resize(2 * kRealTimeFrames);
    if (m_mode == Mode::RealTime) m_thread = std::thread([this] { Run(); });
    Register(g_waveOut, this);
}

VirtualWaveOut::~VirtualWaveOut() {
    Unregister(g_waveOut, this);
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
    m_queue.MarkDead();
}

bool VirtualWaveOut::Write(WAVEHDR& header) noexcept {
    if (!m_queue.Push(header)) return false;
    {
        std::lock_guard lock(m_mutex);
        ++m_written;
    }
    if (m_mode == Mode::Immediate) ConsumeAll();
    return true;
}

size_t VirtualWaveOut::Written() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_written;
}

size_t VirtualWaveOut::Consume(size_t frames) {
    size_t played = 0;
    std::lock_guard lock(m_mutex);
    while (played < frames) {
        const size_t n = std::min(frames - played, kRealTimeFrames);
        const size_t got = m_queue.PullInt16(m_scratch.data(), n);
        if (m_capture)
            m_captured.insert(m_captured.end(), m_scratch.begin(), m_scratch.begin() + 2 * got);
        played += got;
        if (got < n) break; // the queue ran dry
    }
    return played;
}

void VirtualWaveOut::ConsumeAll() {
    while (m_queue.Queued() > 0 && !m_queue.Dead())
        Consume(kRealTimeFrames);
}

void VirtualWaveOut::SetCapture(bool on) {
    std::lock_guard lock(m_mutex);
    m_capture = on;
}

std::vector<int16_t> VirtualWaveOut::Captured() const {
    std::lock_guard lock(m_mutex);
    return m_captured;
}

void VirtualWaveOut::Run() noexcept {
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    while (!m_stop.load()) {
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        std::lock_guard lock(m_mutex);
        m_queue.PullInt16(m_scratch.data(), kRealTimeFrames);
    }
}

// ---- wave input, MIDI -----------------------------------------------------------------------

VirtualWaveIn::~VirtualWaveIn() {
    Unregister(g_waveIn, this);
    m_queue.MarkDead();
}

bool VirtualWaveIn::Start() noexcept {
    if (!Alive()) return false;
    m_queue.Start();
    return true;
}

void VirtualWaveIn::Feed(std::span<const int16_t> interleaved) noexcept {
    m_queue.PushInt16(interleaved.data(), interleaved.size() / 2);
}

VirtualMidiIn::~VirtualMidiIn() {
    Unregister(g_midiIn, this);
}

VirtualMidiOut::~VirtualMidiOut() {
    Unregister(g_midiOut, this);
}

bool VirtualMidiOut::SendShort(uint32_t word) noexcept {
    uint8_t bytes[4];
    std::memcpy(bytes, &word, 4);
    return SendLong({bytes, ShortMessageBytes(word)});
}

bool VirtualMidiOut::SendLong(std::span<const uint8_t> bytes) noexcept {
    if (!Alive() || bytes.empty()) return false;
    try {
        std::lock_guard lock(m_mutex);
        m_messages.emplace_back(bytes.begin(), bytes.end());
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<std::vector<uint8_t>> VirtualMidiOut::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void VirtualMidiOut::Clear() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

VirtualWaveOut* VirtualDevices::WaveOut() {
    return Current(g_waveOut);
}
VirtualWaveIn* VirtualDevices::WaveIn() {
    return Current(g_waveIn);
}
VirtualMidiIn* VirtualDevices::MidiIn() {
    return Current(g_midiIn);
}
VirtualMidiOut* VirtualDevices::MidiOut() {
    return Current(g_midiOut);
}

std::vector<std::string> VirtualDevices::Journal() {
    std::lock_guard lock(g_registryMutex);
    return g_journal;
}

void VirtualDevices::ClearJournal() {
    std::lock_guard lock(g_registryMutex);
    g_journal.clear();
}

// ---- list entries ---------------------------------------------------------------------------

namespace detail {

void AddVirtualWaveOut(std::vector<WaveOutEntry>& list) {
    if (!VirtualDevicesEnabled()) return;
    const std::pair<const char*, VirtualWaveOut::Mode> kinds[] = {
        {kVirtualWaveOutName, VirtualWaveOut::Mode::RealTime},
        {kVirtualWaveOutManualName, VirtualWaveOut::Mode::Manual},
        {kVirtualWaveOutImmediateName, VirtualWaveOut::Mode::Immediate}};
    for (const auto& [name, mode] : kinds)
        list.push_back({name, [mode](DeviceEvent& event) -> std::unique_ptr<IWaveOutPort> {
                            return std::make_unique<VirtualWaveOut>(mode, event);
                        }});
}

void AddVirtualWaveIn(std::vector<WaveInEntry>& list) {
    if (!VirtualDevicesEnabled()) return;
    list.push_back({kVirtualWaveInName, [](DeviceEvent& event) -> std::unique_ptr<IWaveInPort> {
                        auto port = std::make_unique<VirtualWaveIn>(event);
                        Register(g_waveIn, port.get());
                        return port;
                    }});
}

void AddVirtualMidiIn(std::vector<MidiInEntry>& list) {
    if (!VirtualDevicesEnabled()) return;
    list.push_back({kVirtualMidiInName, [](IMidiInHandler& h) -> std::unique_ptr<MidiInPort> {
                        auto port = std::make_unique<VirtualMidiIn>(h);
                        Register(g_midiIn, port.get());
                        return port;
                    }});
}

void AddVirtualMidiOut(std::vector<MidiOutEntry>& list) {
    if (!VirtualDevicesEnabled()) return;
    list.push_back({kVirtualMidiOutName, []() -> std::unique_ptr<IMidiOutPort> {
                        auto port = std::make_unique<VirtualMidiOut>();
                        Register(g_midiOut, port.get());
                        return port;
                    }});
}

} // namespace detail

} // namespace zorvil::platform
