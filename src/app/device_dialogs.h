// The device dialogs' model: what each combo box of "Select MIDI Devices", "Select Wave Devices"
// and "Select devices" holds and which entry a stored setting selects, and IDeviceDialogs, through
// which the application asks the user interface to show a dialog and hand back the choice.
//
// Every device list is read from the system when the request is built, so a dialog shows the
// devices of the moment it opens. An entry has the text the user sees and the name the program
// stores: a wave device shows the rate it runs at beside its name where the system reports one
// ("MME: JACK    (48000 Hz)"), while its name stays "MME: JACK". A stored name selects the first
// entry whose name begins with it, ignoring case; the first entry ("* No MIDI *", "* No Wave *")
// when none does. A buffer size or render adjustment selects its own entry, else a default.
//
// The user interface presents the combos, selects the entries the request says, and returns the
// index chosen in each (and the pass-through check box); the application does the rest:
//
//     MidiDevicesRequest request = MakeMidiDevicesRequest(settings);
//     if (auto choice = dialogs.SelectMidiDevices(request)) {     // empty: cancelled
//         std::string input = request.input.Name(choice->input);  // "* No MIDI *" or a port
//         ...
//     }
//
// Threads: the user-interface thread.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

class CSettings;

// The wave buffer sizes offered, in frames: each divides 44100, so 44100 / size buffers make
// exactly one second.
inline constexpr std::array<int, 43> kBufferSizes = {
    11025, 8820, 7350, 6300, 4900, 4410, 3675, 3150, 2940, 2450, 2205, 2100, 1764, 1575, 1470,
    1260,  1225, 1050, 980,  900,  882,  735,  700,  630,  588,  525,  490,  450,  441,  420,
    350,   315,  300,  294,  252,  245,  225,  210,  196,  180,  175,  150,  147};
// The entry selected when the stored size is not among them (3675).
inline constexpr int kDefaultBufferSizeEntry = 6;
// Render adjustments offered: 0 to 10 output buffers; "4" selected when the stored one is not.
inline constexpr int kMaxRenderAdjust = 10;
inline constexpr int kDefaultRenderAdjustEntry = 4;

// Whether a wave device name begins with "ASIO: " (any case): a driver the program never opens.
bool IsAsioName(std::string_view name);

struct DeviceEntry {
    std::string name; // what the program stores and opens by
    std::string text; // what the combo box shows
};

// One combo box: its entries and the one selected when the dialog opens.
struct DeviceCombo {
    std::vector<DeviceEntry> entries;
    int selected = 0;

    // The name of entry `index` (empty for an index out of range).
    std::string Name(int index) const;
    // The integer at the start of entry `index`'s name (0 when there is none).
    int Value(int index) const;
};

// The first entry whose name begins with `stored`, ignoring case; 0 when none does.
int FindPrefixNoCase(const std::vector<DeviceEntry>& entries, std::string_view stored);

// The combos, filled from the system's lists of now.
DeviceCombo MidiInCombo(std::string_view stored);  // "* No MIDI *", the input ports
DeviceCombo MidiOutCombo(std::string_view stored); // "* No MIDI *", "MIDI Mapper", the ports
DeviceCombo WaveInCombo(std::string_view stored);  // "* No Wave *", "MME: " + each input
DeviceCombo WaveOutCombo(std::string_view stored); // "* No Wave *", "MME: Wave Mapper", ...
// One entry per size: "%d samples    (%d b/s)" with its buffers per second, or "%d" alone.
DeviceCombo BufferSizeCombo(int stored, bool withRate);
DeviceCombo RenderAdjustCombo(int stored); // "0" ... "10"

// "Select MIDI Devices".
struct MidiDevicesRequest {
    DeviceCombo input;
    DeviceCombo output;
    bool thru = false;
};
struct MidiDevicesChoice {
    int input = 0;
    int output = 0;
    bool thru = false;
};

// "Select Wave Devices". The input combo is disabled while the output's text begins with
// "ASIO: ".
struct WaveDevicesRequest {
    DeviceCombo input;
    DeviceCombo output;
    DeviceCombo bufferSize; // with buffers per second
};
struct WaveDevicesChoice {
    int input = 0;
    int output = 0;
    int bufferSize = 0;
};

// "Select devices".
struct DevicesRequest {
    DeviceCombo midiInput;
    DeviceCombo waveOutput;
    DeviceCombo bufferSize; // the size alone
    DeviceCombo renderAdjust;
};
struct DevicesChoice {
    int midiInput = 0;
    int waveOutput = 0;
    int bufferSize = 0;
    int renderAdjust = 0;
};

MidiDevicesRequest MakeMidiDevicesRequest(const CSettings& settings);
WaveDevicesRequest MakeWaveDevicesRequest(const CSettings& settings);
DevicesRequest MakeDevicesRequest(const CSettings& settings);

// The three modal dialogs; each returns nothing when the user cancelled.
class IDeviceDialogs {
public:
    virtual ~IDeviceDialogs() = default;
    virtual std::optional<MidiDevicesChoice> SelectMidiDevices(const MidiDevicesRequest&) = 0;
    virtual std::optional<WaveDevicesChoice> SelectWaveDevices(const WaveDevicesRequest&) = 0;
    virtual std::optional<DevicesChoice> SelectDevices(const DevicesRequest&) = 0;
};

} // namespace zorvil
