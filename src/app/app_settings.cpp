#include "app/app_settings.h"

#include "engine/wave_out_engine.h"

namespace zorvil {

namespace keys = platform::settings;

int CSettings::GetInt(const char* key, int defaultValue) const {
    return m_pProfile != nullptr ? m_pProfile->GetInt(keys::kSection, key, defaultValue)
                                 : defaultValue;
}

std::string CSettings::GetString(const char* key) const {
    return m_pProfile != nullptr ? m_pProfile->GetString(keys::kSection, key, "") : std::string();
}

std::string CSettings::MidiIn() const {
    return GetString(keys::kMidiIn);
}

std::string CSettings::MidiOut() const {
    return GetString(keys::kMidiOut);
}

bool CSettings::MidiThru() const {
    return GetInt(keys::kMidiThru, keys::kDefaultMidiThru) != 0;
}

std::string CSettings::WaveIn() const {
    return GetString(keys::kWaveIn);
}

std::string CSettings::WaveOut() const {
    return GetString(keys::kWaveOut);
}

int CSettings::StoredWaveOutBufSize() const {
    return GetInt(keys::kWaveOutBufSize, keys::kDefaultWaveOutBufSize);
}

int CSettings::WaveOutBufSize() const {
    return CEngineWaveOut::BoundBufferSize(StoredWaveOutBufSize());
}

int CSettings::RenderAdjust() const {
    return GetInt(keys::kRenderAdjust, keys::kDefaultRenderAdjust);
}

bool CSettings::WriteEngine(bool running) const {
    return m_pProfile != nullptr && m_pProfile->WriteInt(keys::kSection, keys::kEngine, running);
}

bool CSettings::WriteInt(const char* key, int value) const {
    return m_pProfile != nullptr && m_pProfile->WriteInt(keys::kSection, key, value);
}

bool CSettings::WriteString(const char* key, std::string_view value) const {
    return m_pProfile != nullptr && m_pProfile->WriteString(keys::kSection, key, value);
}

} // namespace zorvil
