#include "engine/wave_in_engine.h"

#include "engine/wave_out_engine.h"

#include <bit>
#include <chrono>
#include <new>
#include <thread>

namespace zorvil {

namespace {

constexpr int kEngineWaitPolls = 500;
constexpr std::chrono::milliseconds kEngineWaitPoll{10};
// How often a block that found the engine busy looks again.
constexpr std::chrono::microseconds kBusyPoll{200};

} // namespace

CEngineWaveIn::~CEngineWaveIn() {
    // Close here, while OnBlock is still this class's: no block arrives once the port is gone.
    if (IsOpen()) CWaveIn::Close();
    // The engine may still be running the last block over our arrays: they outlive it.
    if (CEngineThread* engine = m_pEngine.load())
        for (int i = 0; i < kEngineWaitPolls && engine->IsBusy(); ++i)
            std::this_thread::sleep_for(kEngineWaitPoll);
}

float CEngineWaveIn::ConversionScale() noexcept {
    return std::bit_cast<float>(0x3800007Fu);
}

float CEngineWaveIn::ConvertSample(int v) noexcept {
    return (static_cast<float>(v) + 0.5f) * ConversionScale();
}

bool CEngineWaveIn::OpenWaveInByName(std::string_view stored, int bufferSize,
                                     CEngineThread* engine) {
    const StoredWaveName parsed = ParseStoredWaveName(stored);
    if (!parsed.usable) return false; // "ASIO: ": the previous input, if any, stays open
    if (!parsed.hadPrefix && !parsed.name.empty() && m_pProfile != nullptr)
        m_pProfile->WriteString(platform::settings::kSection, platform::settings::kWaveIn,
                                "MME: " + parsed.name);
    const int frames = CEngineWaveOut::BoundBufferSize(bufferSize);
    SetBufferFrames(frames);
    SetBufferCount(CEngineWaveOut::kSampleRate / frames);
    const bool opened = OpenByName(parsed.name);
    SetEngine(engine);
    return opened;
}

void CEngineWaveIn::OnBlock(CWaveBuffer& buffer) noexcept {
    CEngineThread* engine = m_pEngine.load();
    if (engine == nullptr || !IsOpen() || m_format.nBlockAlign == 0) {
        m_nDropped.fetch_add(1);
        return;
    }
    const int frames = static_cast<int>(buffer.Length() / m_format.nBlockAlign);
    // A device cycle longer than a buffer fills two or more at once, and the second comes while
    // the engine still works on the first: it waits for the engine, as long as the buffer
    // lasts. An engine busy for longer than that cannot keep up, and the block is dropped.
    int64_t polls = int64_t{frames} * 1000000 / CEngineWaveOut::kSampleRate / kBusyPoll.count();
    while (engine->IsBusy()) {
        if (polls-- <= 0) {
            m_nDropped.fetch_add(1);
            return;
        }
        std::this_thread::sleep_for(kBusyPoll);
    }
    if (frames > m_nCapacity) {
        // Only a larger block than ever before allocates.
        std::unique_ptr<float[]> left(new (std::nothrow) float[static_cast<size_t>(frames)]);
        std::unique_ptr<float[]> right(new (std::nothrow) float[static_cast<size_t>(frames)]);
        if (!left || !right) {
            m_nDropped.fetch_add(1);
            return;
        }
        m_pLeft = std::move(left);
        m_pRight = std::move(right);
        m_ppBuffers[0] = m_pLeft.get();
        m_ppBuffers[1] = m_pRight.get();
        m_nCapacity = frames;
    }
    for (int f = 0; f < frames; ++f) {
        m_pLeft[static_cast<size_t>(f)] = ConvertSample(GetSample(buffer, f, 0));
        m_pRight[static_cast<size_t>(f)] = ConvertSample(GetSample(buffer, f, 1));
    }
    if (engine->Trigger(m_ppBuffers, frames, 2, buffer.Time()))
        m_nTriggered.fetch_add(1);
    else
        m_nDropped.fetch_add(1);
}

} // namespace zorvil
