// A tiny host for testing our plug-ins on their own: loads a library with dlopen, calls its
// entry with a local callback that records every call, and closes the instance at the end.
// Deliberately independent of the project's own host, so plug-in faults and host faults show
// up in different tests.
//
//     TestHost host;                                 // answers and records the callbacks
//     PluginLibrary library("zorvil-probe");
//     PluginInstance probe(library, host);           // entry "main"
//     probe.Dispatch(effOpen);
//     EXPECT_EQ(host.Calls(audioMasterWantMidi), 2);
#pragma once

#include "host/vst2_interface.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil::test {

inline constexpr intptr_t kTestHostVersion = 2400;
inline constexpr intptr_t kTestHostCurrentId = 7;

struct HostCall {
    AEffect* effect;
    int32_t opcode;
    int32_t index;
    intptr_t value;
};

// The callback every test plug-in gets. One TestHost exists at a time; it answers
// audioMasterVersion (2400), audioMasterCurrentId (7), audioMasterWantMidi (1) and
// audioMasterGetSampleRate (44100), everything else 0.
class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    static intptr_t Callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                             void* ptr, float opt);

    const std::vector<HostCall>& AllCalls() const { return m_calls; }
    int Calls(int32_t opcode) const;
    void Forget() { m_calls.clear(); }

private:
    std::vector<HostCall> m_calls;
};

class PluginLibrary {
public:
    explicit PluginLibrary(std::string_view name);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return m_path; }
    void* Symbol(const char* name) const;
    VstPluginEntryProc Entry(const char* name = "main") const {
        return reinterpret_cast<VstPluginEntryProc>(Symbol(name));
    }
    template <typename Function>
    Function Lookup(const char* name) const {
        return reinterpret_cast<Function>(Symbol(name));
    }

private:
    std::string m_path;
    void* m_handle = nullptr;
};

// One instance, made by the library's entry and closed (effClose) when it goes out of scope.
class PluginInstance {
public:
    PluginInstance(const PluginLibrary& library, TestHost& host, const char* entry = "main");
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* operator->() const { return m_effect; }
    AEffect* Get() const { return m_effect; }
    // Leaves the instance to the test (for tests that close it themselves).
    AEffect* Release();

    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;
    // Asks for a text (names, displays, product strings) through a large zeroed buffer.
    std::string Text(int32_t opcode, int32_t index = 0) const;

private:
    AEffect* m_effect = nullptr;
};

// The names a shared library exports (its defined dynamic symbols), sorted.
std::vector<std::string> ExportedSymbols(const std::string& path);

// A list of events to hand to effProcessEvents, owning its records.
class EventList {
public:
    EventList& Midi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2,
                    uint8_t data3 = 0);
    EventList& Sysex(int32_t deltaFrames, std::vector<uint8_t> bytes);
    EventList& Other(int32_t type, int32_t deltaFrames);
    VstEvents* Get();

private:
    // Deques keep every record in place while more are added.
    std::deque<VstMidiEvent> m_midi;
    std::deque<VstMidiSysexEvent> m_sysex;
    std::deque<VstEvent> m_other;
    std::deque<std::vector<uint8_t>> m_dumps;
    std::vector<VstEvent*> m_pointers;
    std::vector<intptr_t> m_header; // numEvents, reserved, then the pointers
};

} // namespace zorvil::test
