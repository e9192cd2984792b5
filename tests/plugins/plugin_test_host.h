// A tiny host for testing our plug-ins on their own: loads a library with dlopen, calls its
// entry with a local callback, and closes the instance at the end. Deliberately independent of
// the project's own host, so plug-in faults and host faults show up in different tests.
//
//     PluginLibrary library("zorvil-probe");
//     PluginInstance probe(library);                 // entry "main"
//     probe.Dispatch(effOpen);
#pragma once

#include "host/vst2_interface.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil::test {

// The callback every test plug-in gets. It answers audioMasterVersion (2400),
// audioMasterCurrentId (7), audioMasterWantMidi (1) and audioMasterGetSampleRate (44100),
// everything else 0.
intptr_t TestHostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                          float opt);

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
    explicit PluginInstance(const PluginLibrary& library, const char* entry = "main");
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* operator->() const { return m_effect; }
    AEffect* Get() const { return m_effect; }

    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;

private:
    AEffect* m_effect = nullptr;
};

// The names a shared library exports (its defined dynamic symbols), sorted.
std::vector<std::string> ExportedSymbols(const std::string& path);

// A list of MIDI events to hand to effProcessEvents, owning its records.
class EventList {
public:
    EventList& Midi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);
    VstEvents* Get();

private:
    std::deque<VstMidiEvent> m_midi; // a deque keeps every record in place while more are added
    std::vector<VstEvent*> m_pointers;
    std::vector<intptr_t> m_header; // numEvents, reserved, then the pointers
};

} // namespace zorvil::test
