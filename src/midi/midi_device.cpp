#include "midi/midi_device.h"

#include "platform/midi_port.h"

namespace zorvil {

bool CMidiDevice::Open(int) {
    m_bOpen.store(true, std::memory_order_release);
    OnOpen();
    return true;
}

bool CMidiDevice::OpenByName(std::string_view name) {
    SetName(name);
    return true;
}

bool CMidiDevice::Close() {
    m_bOpen.store(false, std::memory_order_release);
    SetName({});
    OnClose();
    return true;
}

std::string CMidiDevice::Name() const {
    std::lock_guard lock(m_nameMutex);
    return m_strName;
}

void CMidiDevice::SetName(std::string_view name) {
    std::lock_guard lock(m_nameMutex);
    m_strName = std::string(name.substr(0, kMaxNameLength));
}

int CMidiDevice::FindId(std::string_view name, const std::vector<std::string>& names) {
    if (name == platform::kMidiMapperName) return -1;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -2;
}

std::vector<std::string> MidiInDeviceList() {
    std::vector<std::string> list;
    for (auto& port : platform::MidiInPorts())
        list.push_back(port.name);
    return list;
}

std::vector<std::string> MidiOutDeviceList() {
    std::vector<std::string> list{platform::kMidiMapperName};
    for (auto& port : platform::MidiOutPorts())
        list.push_back(port.name);
    return list;
}

namespace {

std::vector<std::string> DialogList(std::vector<std::string> names) {
    names.insert(names.begin(), kNoMidiDevice);
    return names;
}

} // namespace

std::vector<std::string> MidiInDialogList() {
    return DialogList(MidiInDeviceList());
}
std::vector<std::string> MidiOutDialogList() {
    return DialogList(MidiOutDeviceList());
}

} // namespace zorvil
