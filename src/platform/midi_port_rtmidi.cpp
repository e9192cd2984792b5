// MIDI ports of the ALSA sequencer through RtMidi, and the "MIDI Mapper": a sequencer port of
// Zorvil's own ("Zorvil:MIDI Mapper") that other programs connect to.
#include "platform/midi_port.h"

#include <RtMidi.h>

#include <algorithm>
#include <unistd.h>

namespace zorvil::platform {

namespace {

constexpr const char* kClientName = "Zorvil";
constexpr const char* kPrefix = "ALSA: ";

void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

template <typename Rt>
std::unique_ptr<Rt> MakeRtMidi() {
    // Without a sequencer device RtMidi reports its failure on stderr before it throws.
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return nullptr;
    try {
        std::vector<RtMidi::Api> apis;
        RtMidi::getCompiledApi(apis);
        if (std::find(apis.begin(), apis.end(), RtMidi::LINUX_ALSA) == apis.end()) return nullptr;
        auto rt = std::make_unique<Rt>(RtMidi::LINUX_ALSA, kClientName);
        rt->setErrorCallback(&IgnoreError, nullptr);
        return rt;
    } catch (...) {
        return nullptr; // no sequencer on this system
    }
}

// Our own ports show in the sequencer's lists too; they are not offered as devices.
bool OwnPort(const std::string& name) {
    return name.rfind(std::string(kClientName) + ":", 0) == 0;
}

class RtMidiInPort final : public MidiInPort {
public:
    explicit RtMidiInPort(IMidiInHandler& handler) : MidiInPort(handler) {}
    ~RtMidiInPort() override {
        try {
            if (m_rt) {
                m_rt->cancelCallback();
                m_rt->closePort();
            }
        } catch (...) {
        }
        m_rt.reset();
    }

    // port < 0: the virtual "MIDI Mapper" port.
    bool Open(int port, const std::string& name) {
        m_rt = MakeRtMidi<RtMidiIn>();
        if (!m_rt) return false;
        try {
            if (port < 0) {
                m_rt->openVirtualPort(kMidiMapperName);
            } else {
                // The list may have changed since it was read: find the port by name again.
                const unsigned int count = m_rt->getPortCount();
                unsigned int i = 0;
                while (i < count && m_rt->getPortName(i) != name)
                    ++i;
                if (i == count) return false;
                m_rt->openPort(i, "midi_in");
            }
            m_rt->ignoreTypes(false, false, false);
            m_rt->setCallback(&Callback, this);
            return m_rt->isPortOpen() || port < 0;
        } catch (...) {
            return false;
        }
    }

private:
    static void Callback(double, std::vector<unsigned char>* message, void* user) {
        if (message != nullptr && !message->empty())
            static_cast<RtMidiInPort*>(user)->Deliver({message->data(), message->size()});
    }
    std::unique_ptr<RtMidiIn> m_rt;
};

class RtMidiOutPort final : public IMidiOutPort {
public:
    ~RtMidiOutPort() override {
        try {
            if (m_rt) m_rt->closePort();
        } catch (...) {
        }
    }

    bool Open(int port, const std::string& name) {
        m_rt = MakeRtMidi<RtMidiOut>();
        if (!m_rt) return false;
        try {
            if (port < 0) {
                m_rt->openVirtualPort(kMidiMapperName);
                return true;
            }
            const unsigned int count = m_rt->getPortCount();
            unsigned int i = 0;
            while (i < count && m_rt->getPortName(i) != name)
                ++i;
            if (i == count) return false;
            m_rt->openPort(i, "midi_out");
            return m_rt->isPortOpen();
        } catch (...) {
            return false;
        }
    }

    bool SendShort(uint32_t word) noexcept override {
        const unsigned char bytes[3] = {static_cast<unsigned char>(word),
                                        static_cast<unsigned char>(word >> 8),
                                        static_cast<unsigned char>(word >> 16)};
        return Send(bytes, ShortMessageBytes(word));
    }
    bool SendLong(std::span<const uint8_t> bytes) noexcept override {
        return Send(bytes.data(), bytes.size());
    }

private:
    bool Send(const unsigned char* bytes, size_t n) noexcept {
        std::lock_guard lock(m_mutex);
        try {
            m_rt->sendMessage(bytes, n);
            return true;
        } catch (...) {
            return false;
        }
    }
    std::mutex m_mutex; // RtMidiOut is not safe for two senders at once
    std::unique_ptr<RtMidiOut> m_rt;
};

template <typename Rt>
std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    auto rt = MakeRtMidi<Rt>();
    if (!rt) return names;
    try {
        const unsigned int count = rt->getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            if (std::string name = rt->getPortName(i); !name.empty() && !OwnPort(name))
                names.push_back(std::move(name));
    } catch (...) {
    }
    return names;
}

} // namespace

namespace detail {

void AddRtMidiIn(std::vector<MidiInEntry>& list) {
    for (const std::string& name : PortNames<RtMidiIn>())
        list.push_back({kPrefix + name, [name](IMidiInHandler& h) -> std::unique_ptr<MidiInPort> {
                            auto port = std::make_unique<RtMidiInPort>(h);
                            if (!port->Open(0, name)) return nullptr;
                            return port;
                        }});
}

void AddRtMidiOut(std::vector<MidiOutEntry>& list) {
    for (const std::string& name : PortNames<RtMidiOut>())
        list.push_back({kPrefix + name, [name]() -> std::unique_ptr<IMidiOutPort> {
                            auto port = std::make_unique<RtMidiOutPort>();
                            if (!port->Open(0, name)) return nullptr;
                            return port;
                        }});
}

std::unique_ptr<MidiInPort> OpenRtMidiMapperIn(IMidiInHandler& handler) {
    auto port = std::make_unique<RtMidiInPort>(handler);
    if (!port->Open(-1, {})) return nullptr;
    return port;
}

std::unique_ptr<IMidiOutPort> OpenRtMidiMapperOut() {
    auto port = std::make_unique<RtMidiOutPort>();
    if (!port->Open(-1, {})) return nullptr;
    return port;
}

} // namespace detail

} // namespace zorvil::platform
