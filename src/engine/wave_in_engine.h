// CEngineWaveIn: the program's wave input. Each recorded buffer becomes two float arrays that it
// hands to the engine thread as one block request; while it runs, it is the engine's clock.
//
// Conversion: f = (v + 0.5) * 3.051804e-5, a float with bits 0x3800007F (about 1 / 32767.5):
// -32768 -> -0.99999988, 32767 -> 0.99999988, 0 -> 1.5259e-5.
//
//     CEngineWaveIn in;
//     in.SetProfile(&profile);
//     in.OpenWaveInByName("MME: JACK", 2205, &engineThread);   // 20 buffers of 2205 frames
//     in.Start();                         // each buffer: engineThread.Trigger(arrays, 2205, 2, t)
//
// A block that arrives while the engine is still busy with the previous one waits for it, at most
// as long as the block lasts, and is dropped after that (the arrays it would overwrite are still
// being read). The arrays grow only when a larger block arrives, so a steady stream allocates
// nothing.
//
// Threads: OnBlock on the device thread; the arrays are written there and read by the engine
// thread while it runs the block; the busy check keeps the two apart. The engine thread object
// must outlive the wave input (or be unlinked with SetEngine(nullptr)): the destructor waits
// until the engine has finished a block that may still read the arrays.
#pragma once

#include "engine/engine_thread.h"
#include "engine/wave_in.h"
#include "platform/profile.h"

#include <atomic>
#include <memory>

namespace zorvil {

class CEngineWaveIn : public CWaveIn {
public:
    CEngineWaveIn() = default;
    ~CEngineWaveIn() override;

    static float ConversionScale() noexcept;
    static float ConvertSample(int v) noexcept;

    void SetProfile(platform::CProfile* profile) noexcept { m_pProfile = profile; }
    void SetEngine(CEngineThread* engine) noexcept { m_pEngine.store(engine); }
    CEngineThread* Engine() const noexcept { return m_pEngine.load(); }

    // The application's open: "MME: " (any case) is stripped, "ASIO: " fails without touching
    // the device, another non-empty name is written back as "MME: " + name under "WaveIn".
    // Buffers: S frames each, 44100 / S of them. The engine link is set whatever the result.
    bool OpenWaveInByName(std::string_view stored, int bufferSize, CEngineThread* engine);

    void OnBlock(CWaveBuffer& buffer) noexcept override;

    // Blocks handed to the engine and blocks dropped (tests, measurements).
    uint32_t Triggered() const noexcept { return m_nTriggered.load(); }
    uint32_t Dropped() const noexcept { return m_nDropped.load(); }

private:
    platform::CProfile* m_pProfile = nullptr;
    std::atomic<CEngineThread*> m_pEngine{nullptr};
    int m_nCapacity = -1; // frames the arrays hold; device thread only
    std::unique_ptr<float[]> m_pLeft;
    std::unique_ptr<float[]> m_pRight;
    float* m_ppBuffers[2] = {nullptr, nullptr};
    std::atomic<uint32_t> m_nTriggered{0};
    std::atomic<uint32_t> m_nDropped{0};
};

} // namespace zorvil
