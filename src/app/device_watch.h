// CDeviceWatch: notices when a device the application opened stops (the JACK server went away,
// a card was unplugged) and brings it back once it returns, telling the user both times.
//
// The devices that are open when the watch is made are watched: the wave output, the wave input,
// the MIDI input and the MIDI output. Poll() reports each one that no longer lives, once. While
// any is gone it looks, once a second by the application's clock, whether the device is listed
// again (a mapper, which stands for whatever works, is simply tried); when one is, it stops the
// engine, closes the device, opens it again under the name the settings hold, starts the engine
// again (if it ran) and reports the device back.
//
//     CDeviceWatch watch(app, [](const std::string& line) { std::cerr << line << '\n'; });
//     while (playing) {
//         watch.Poll();     // "wave output "JACK" stopped (the device went away); ..."
//         ...               // "wave output "JACK" is back"
//     }
//
// Threads: the user-interface thread, like the engine control it uses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvil {

class CZorvilApp;

class CDeviceWatch {
public:
    static constexpr uint32_t kRetryMs = 1000;

    // Empty: nothing is reported.
    using Report = std::function<void(const std::string& line)>;

    CDeviceWatch(CZorvilApp& app, Report report);

    void Poll();
    // Looks at once for every watched device that stopped and reopens those listed again, as
    // the Restart command does (the engine stopped around it, started again if it ran).
    void ReopenNow();
    // True while a watched device is gone.
    bool AnyGone() const noexcept;

private:
    struct Device {
        std::string kind; // "wave output", ...
        std::string name; // as the device was opened
        std::function<bool()> alive;
        std::function<bool()> listed;
        std::function<bool()> reopen;
        bool gone = false;
    };

    // Watches `device` when it is open: `name` is the name it was opened by, `list` names the
    // devices there are now, `open` opens it again under that name.
    template <typename DeviceT>
    void Watch(std::string kind, DeviceT& device, std::string name,
               std::vector<std::string> (*list)(), std::function<bool()> open);
    void TryToReopen();
    void Tell(const std::string& line) const;

    CZorvilApp& m_app;
    Report m_report;
    std::vector<Device> m_devices;
    uint32_t m_lastTry = 0;
};

} // namespace zorvil
