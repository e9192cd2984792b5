// CMidiDevice: what the MIDI input and output share: the open flag and the name the device was
// opened by; the device lists as the MIDI device dialogs offer them.
//
//     CMidiOut out;                       // derives CMidiDevice
//     out.OpenByName("MIDI Mapper");      // IsOpen(), Name() == "MIDI Mapper"
//
// Only the notification path the program uses exists (the driver calls the device on its own
// thread); the hidden window of the original design is not needed.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

class CMidiDevice {
public:
    static constexpr size_t kMaxNameLength = 31;

    CMidiDevice() = default;
    virtual ~CMidiDevice() = default;
    CMidiDevice(const CMidiDevice&) = delete;
    CMidiDevice& operator=(const CMidiDevice&) = delete;

    // Base: set the open flag, call OnOpen.
    virtual bool Open(int id);
    // Base: store the name.
    virtual bool OpenByName(std::string_view name);
    virtual void OnOpen() {}
    virtual bool Reset() { return true; }
    // Base: clear the open flag and the name, call OnClose.
    virtual bool Close();
    virtual void OnClose() {}
    virtual uint32_t Message(uint32_t, uintptr_t, uintptr_t) { return 0; }

    bool IsOpen() const noexcept { return m_bOpen.load(std::memory_order_acquire); }
    std::string Name() const;

protected:
    void SetName(std::string_view name);
    // The id of `name` in `names` (-1: "MIDI Mapper"), or -2 when none matches.
    static int FindId(std::string_view name, const std::vector<std::string>& names);

private:
    std::atomic<bool> m_bOpen{false};
    mutable std::mutex m_nameMutex; // guards m_strName
    std::string m_strName;
};

// The device lists: the input ports; "MIDI Mapper" followed by the output ports.
std::vector<std::string> MidiInDeviceList();
std::vector<std::string> MidiOutDeviceList();

// The entries of the MIDI device dialog's combo boxes: "* No MIDI *", then the list above.
inline constexpr const char* kNoMidiDevice = "* No MIDI *";
std::vector<std::string> MidiInDialogList();
std::vector<std::string> MidiOutDialogList();

} // namespace zorvil
