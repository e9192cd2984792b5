#include "plugin_test_host.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>

namespace zorvil::test {

intptr_t TestHostCallback(AEffect* /*effect*/, int32_t opcode, int32_t /*index*/,
                          intptr_t /*value*/, void* /*ptr*/, float /*opt*/) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterCurrentId:
        return 7;
    case audioMasterWantMidi:
        return 1;
    case audioMasterGetSampleRate:
        return 44100;
    default:
        return 0;
    }
}

PluginLibrary::PluginLibrary(std::string_view name)
    : m_path(PluginPath(name)), m_handle(dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(m_handle, nullptr) << m_path << ": " << dlerror();
}

PluginLibrary::~PluginLibrary() {
    if (m_handle != nullptr) dlclose(m_handle);
}

void* PluginLibrary::Symbol(const char* name) const {
    return m_handle != nullptr ? dlsym(m_handle, name) : nullptr;
}

PluginInstance::PluginInstance(const PluginLibrary& library, const char* entry) {
    const VstPluginEntryProc function = library.Entry(entry);
    EXPECT_NE(function, nullptr) << library.Path() << " has no " << entry;
    if (function != nullptr) m_effect = function(&TestHostCallback);
    EXPECT_NE(m_effect, nullptr);
    if (m_effect != nullptr) {
        EXPECT_EQ(m_effect->magic, kEffectMagic);
    }
}

PluginInstance::~PluginInstance() {
    if (m_effect != nullptr) m_effect->dispatcher(m_effect, effClose, 0, 0, nullptr, 0.0f);
}

intptr_t PluginInstance::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) const {
    return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
}

std::vector<std::string> ExportedSymbols(const std::string& path) {
    const std::string command = "nm -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::vector<std::string> symbols;
    if (!pipe) return symbols;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), line.size(), pipe.get()) != nullptr) {
        // "<address> <type> <name>"
        std::string text(line.data());
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        const auto space = text.rfind(' ');
        symbols.push_back(space == std::string::npos ? text : text.substr(space + 1));
    }
    std::sort(symbols.begin(), symbols.end());
    return symbols;
}

EventList& EventList::Midi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
    VstMidiEvent& event = m_midi.emplace_back();
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    m_pointers.push_back(reinterpret_cast<VstEvent*>(&event));
    return *this;
}

VstEvents* EventList::Get() {
    m_header.assign(2 + m_pointers.size(), 0);
    auto* events = reinterpret_cast<VstEvents*>(m_header.data());
    events->numEvents = static_cast<int32_t>(m_pointers.size());
    if (!m_pointers.empty()) {
        std::memcpy(m_header.data() + 2, m_pointers.data(), m_pointers.size() * sizeof(VstEvent*));
    }
    return events;
}

} // namespace zorvil::test
