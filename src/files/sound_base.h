// CSoundBase: the wave format of a sound (a WAVEFORMATEX record) with validating setters.
//
// Only the formats the program writes are accepted: 8 or 16 bits, 11025, 22050 or 44100 samples
// per second, 1 or 2 channels. A rejected value keeps the previous one and shows a warning with
// the value ("CSoundBase::SetBitsPerSample() : Invalid number of bits per sample : 12") in the
// application's warning box. Every accepted change recomputes the block align (bits / 8 *
// channels) and the average bytes per second (rate * block align).
//
//     CSoundBase sound(&ui);              // PCM, 16 bits, 44100 Hz, 2 channels
//     sound.SetSamplesPerSecond(22050);   // block align 4, 88200 bytes per second
#pragma once

#include "platform/user_interface.h"

#include <cstddef>
#include <cstdint>

namespace zorvil {

// WAVEFORMATEX: 18 bytes in a file, little-endian, in this order.
struct WaveFormat {
    uint16_t wFormatTag = 1; // 1 = PCM
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;

    bool operator==(const WaveFormat&) const = default;
};

inline constexpr size_t kWaveFormatSize = 18;
inline constexpr uint16_t kWaveFormatPcm = 1;

// The format every render writes: PCM, 2 channels, 44100 Hz, 176400 bytes per second, block
// align 4, 16 bits.
inline constexpr WaveFormat kRenderFormat{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};

// The caption of the warning box that shows the format messages.
inline constexpr const char* kSoundWarningCaption = "TsnSeq";

class CSoundBase {
public:
    // PCM, 16 bits, 44100 Hz, 2 channels. Without a user interface the warnings are dropped.
    explicit CSoundBase(IUserInterface* ui = nullptr);
    CSoundBase(const CSoundBase&) = default;
    CSoundBase& operator=(const CSoundBase&) = default;
    virtual ~CSoundBase();

    bool SetBitsPerSample(int bits);
    bool SetSamplesPerSecond(int rate);
    bool SetNumberOfChannels(int channels);

    int GetBitsPerSample() const noexcept { return m_format.wBitsPerSample; }
    int GetSamplesPerSecond() const noexcept { return static_cast<int>(m_format.nSamplesPerSec); }
    int GetNumberOfChannels() const noexcept { return m_format.nChannels; }
    const WaveFormat& GetFormat() const noexcept { return m_format; }

protected:
    void Warn(const char* format, int value);
    void Recompute() noexcept;

    WaveFormat m_format;
    IUserInterface* m_pUi;
};

} // namespace zorvil
