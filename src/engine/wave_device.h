// CWaveDevice: what the wave output and the wave input share: the open flag, the wave format,
// the device name, the device thread with its event, and sample access in device buffers.
//
// The driver (platform/audio_device.h) signals the device event whenever it hands a buffer back;
// the device thread wakes and calls OnEvent, which the derived class fills in (return played
// buffers to the pool, deliver recorded ones). Only this event path exists: the window and
// callback-procedure notification of the original design are not used by the program.
//
//     class CMyOut : public CWaveOut { void OnEvent() noexcept override { ... } };
//     CMyOut out;
//     out.OpenByName("Wave Mapper");              // starts the device thread
//     out.SetSample(buffer, frame, 0, -32768);     // 16-bit: a signed word at 4 * frame
//
// Threads: Open, OpenByName and Close on the user-interface thread; OnEvent on the device thread;
// SetSample and GetSample wherever the buffer is held. WaitForState lets the interface thread
// wait, with a time-out, for what the device thread changes.
#pragma once

#include "midi/wave_buffer.h"
#include "platform/audio_device.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zorvil {

class CWaveDevice {
public:
    static constexpr size_t kMaxNameLength = 31;

    CWaveDevice();
    virtual ~CWaveDevice();
    CWaveDevice(const CWaveDevice&) = delete;
    CWaveDevice& operator=(const CWaveDevice&) = delete;

    // Base: set the open flag; no format resets the object's own format to 44100/16/2.
    virtual bool Open(int id, const platform::WAVEFORMATEX* format);
    // Base: store the name.
    virtual bool OpenByName(std::string_view name, const platform::WAVEFORMATEX* format);
    virtual bool Reset() noexcept = 0;
    virtual bool PrepareHeader(platform::WAVEHDR& header) noexcept = 0;
    virtual bool UnprepareHeader(platform::WAVEHDR& header) noexcept = 0;
    // Base: stop the device thread, clear the name and the open flag.
    virtual bool Close();
    virtual void OnEvent() noexcept = 0;
    virtual void SetSample(CWaveBuffer& buffer, int frame, int channel, int value) noexcept;
    virtual int GetSample(const CWaveBuffer& buffer, int frame, int channel) const noexcept;

    bool IsOpen() const noexcept { return m_bOpen.load(std::memory_order_acquire); }
    const platform::WAVEFORMATEX& Format() const noexcept { return m_format; }
    std::string Name() const;

    // The 44100 Hz, 16-bit, stereo format the program uses.
    static platform::WAVEFORMATEX DefaultFormat() noexcept { return {}; }

protected:
    bool StartDeviceThread();
    void StopDeviceThread();
    platform::DeviceEvent& Event() noexcept { return m_event; }
    void SetName(std::string_view name);
    void ResetFormat() noexcept { m_format = DefaultFormat(); }

    // Starts the device thread and opens a port with `open(Event())`; when that gives nothing
    // the thread is stopped again.
    template <typename OpenPort>
    auto StartThreadAndOpen(OpenPort&& open)
        -> decltype(open(std::declval<platform::DeviceEvent&>())) {
        if (!StartDeviceThread()) return nullptr;
        auto port = open(m_event);
        if (!port) StopDeviceThread();
        return port;
    }
    // The id of `name`: -1 for "Wave Mapper", its index in `devices`, or -2 when none matches
    // (case-sensitive).
    static int FindDeviceId(std::string_view name,
                            const std::vector<platform::WaveDeviceInfo>& devices) noexcept;

    // Waits until `done` holds, checking again after each pass of the device thread and every
    // `step`; false when `limit` passed first.
    bool WaitForState(const std::function<bool()>& done, std::chrono::milliseconds step,
                      std::chrono::milliseconds limit);

    platform::WAVEFORMATEX m_format;

private:
    void ThreadBody() noexcept;

    std::atomic<bool> m_bOpen{false};
    platform::DeviceEvent m_event;
    std::thread m_thread;
    std::atomic<bool> m_bStopThread{false};
    mutable std::mutex m_nameMutex; // guards m_strName
    std::string m_strName;

    std::mutex m_stateMutex; // pairs with m_stateChanged
    std::condition_variable m_stateChanged;
};

// The device lists as the device dialogs offer them (without "* No Wave *" and the "MME: "
// prefix, which the dialogs add): the output list starts with "Wave Mapper".
std::vector<std::string> WaveOutDeviceList();
std::vector<std::string> WaveInDeviceList();

// The entries of the wave device dialogs' combo boxes: "* No Wave *", then "MME: " + each name
// of the list above (so "MME: Wave Mapper" comes second among the outputs).
inline constexpr const char* kNoWaveDevice = "* No Wave *";
std::vector<std::string> WaveOutDialogList();
std::vector<std::string> WaveInDialogList();

// Strips the driver-kind prefix of a stored wave device name: "MME: " (any case) goes,
// "ASIO: " (any case) makes the name unusable. The first element is false for an ASIO name.
struct StoredWaveName {
    bool usable = true;
    bool hadPrefix = false;
    std::string name;
};
StoredWaveName ParseStoredWaveName(std::string_view stored);

} // namespace zorvil
