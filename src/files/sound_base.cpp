#include "files/sound_base.h"

#include <cstdio>

namespace zorvil {

CSoundBase::CSoundBase(IUserInterface* ui) : m_pUi(ui) {
    m_format.wFormatTag = kWaveFormatPcm;
    m_format.cbSize = 0;
    SetBitsPerSample(16);
    SetSamplesPerSecond(44100);
    SetNumberOfChannels(2);
}

CSoundBase::~CSoundBase() = default;

bool CSoundBase::SetBitsPerSample(int bits) {
    if (bits != 8 && bits != 16) {
        Warn("CSoundBase::SetBitsPerSample() : Invalid number of bits per sample : %d", bits);
        return false;
    }
    m_format.wBitsPerSample = static_cast<uint16_t>(bits);
    Recompute();
    return true;
}

bool CSoundBase::SetSamplesPerSecond(int rate) {
    if (rate != 11025 && rate != 22050 && rate != 44100) {
        Warn("CSoundBase::SetSamplesPerSecond() : Invalid number of samples per second : %d", rate);
        return false;
    }
    m_format.nSamplesPerSec = static_cast<uint32_t>(rate);
    Recompute();
    return true;
}

bool CSoundBase::SetNumberOfChannels(int channels) {
    if (channels != 1 && channels != 2) {
        Warn("CSoundBase::SetNumberOfChannels() : Invalid number of channels : %d", channels);
        return false;
    }
    m_format.nChannels = static_cast<uint16_t>(channels);
    Recompute();
    return true;
}

void CSoundBase::Recompute() noexcept {
    m_format.nBlockAlign = static_cast<uint16_t>(m_format.wBitsPerSample / 8 * m_format.nChannels);
    m_format.nAvgBytesPerSec = m_format.nSamplesPerSec * m_format.nBlockAlign;
}

void CSoundBase::Warn(const char* format, int value) {
    if (!m_pUi) return;
    char text[500];
    std::snprintf(text, sizeof text, format, value);
    m_pUi->MessageBox(text, kSoundWarningCaption, MessageButtons::Ok, MessageIcon::Warning);
}

} // namespace zorvil
