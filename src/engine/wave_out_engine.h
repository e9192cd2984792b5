// CEngineWaveOut: the program's wave output. It owns a pool of buffers holding one second of
// sound, converts each block the engine produces into free buffers and queues them; the device
// thread hands played buffers back to the pool.
//
// Pool: with S frames per buffer ("WaveOutBufSize"), 44100 / S buffers of (44100 + n - 1) / n
// frames each. A 32-bit busy set marks buffers in use (buffer i uses bit i mod 32) and the
// search takes the lowest free index, so at most the first 32 buffers are ever written. A block
// that finds no free buffer loses the rest of its audio; the engine never waits here.
//
// Conversion: v = ((|x + 1| - |x - 1|) * 0.5) * 32767.505859375f - 0.5, truncated toward zero,
// which clamps x to [-1, 1] and lands in -32768 ... 32767 (1.0 -> 32767, -1.0 -> -32768,
// 0.0 -> 0, 2.0 -> 32767).
//
//     CEngineWaveOut out;
//     out.SetProfile(&profile);
//     out.OpenWaveOutByName("MME: JACK", 2205);   // 20 buffers of 2205 frames, open or not
//     out.WriteBlock(left, right, 2205);          // engine thread
//     out.Close();                                // returns once every buffer is back
//
// Threads: WriteBlock on the engine thread; OnEvent and OnDone on the device thread; the rest on
// the interface thread. The busy set and the in-flight count are atomics changed by both the
// engine and the device thread. The pool is rebuilt only by OpenWaveOutByName (the engine is
// stopped around it) and by an Open that finds the pool of a closed device; a WriteBlock that
// meets a rebuild drops its block.
#pragma once

#include "engine/wave_out.h"
#include "platform/profile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <vector>

namespace zorvil {

// Told about every buffer WriteBlock has queued (render bookkeeping: the render to a wave file
// writes the same buffers to its file while it runs). Engine thread; must not block.
class IWaveOutRenderHook {
public:
    virtual ~IWaveOutRenderHook() = default;
    virtual void OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept = 0;
};

class CEngineWaveOut : public CWaveOut {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kBusyBits = 32;
    static constexpr int kDefaultBufferSize = 2205;
    // Buffer sizes outside what the device dialogs offer (147 ... 11025 frames) would ask for
    // no pool at all (more than 44100) or for blocks beyond the engine's mix buffers.
    static constexpr int kMinBufferSize = 147;
    static constexpr int kMaxBufferSize = 11025;

    CEngineWaveOut() = default;
    ~CEngineWaveOut() override;

    // The float with bits 0x46FFFF03, and the conversion of one sample.
    static float ConversionScale() noexcept;
    static int ConvertSample(float x) noexcept;
    // A stored "WaveOutBufSize" bounded to what the pool and the engine can use (else 2205).
    static int BoundBufferSize(int frames) noexcept;

    void SetProfile(platform::CProfile* profile) noexcept { m_pProfile = profile; }
    void SetRenderHook(IWaveOutRenderHook* hook) noexcept { m_pRenderHook.store(hook); }

    // The application's open: strips "MME: " (any case); "ASIO: " fails and leaves the pool as
    // it was; another non-empty name is written back as "MME: " + name under "WaveOut". Then
    // opens by name and rebuilds the pool with 44100 / S buffers whatever the result.
    bool OpenWaveOutByName(std::string_view stored, int bufferSize);
    // Offline rendering: the immediate virtual output (each buffer handed back as soon as it is
    // written), opened without looking at any audio system, and a pool for `bufferSize`.
    bool OpenOffline(int bufferSize);

    // Opens the device; a pool built while it was closed (buffers of 0 bytes) is built again,
    // with as many buffers, at the size the open device needs.
    bool Open(int id, const platform::WAVEFORMATEX* format = nullptr) override;

    // Engine thread: convert and queue F frames of the two channel arrays. A chunk never exceeds
    // the buffer's allocation, and the header's length is set to the chunk written.
    void WriteBlock(const float* left, const float* right, int frames) noexcept;

    // Resets, waits (checking every 50 ms) until no buffer is in flight, then closes.
    bool Close() override;
    void OnEvent() noexcept override;
    void OnDone(platform::WAVEHDR& header) noexcept override;

    // Waits until at most `count` buffers are in flight (checking after every pass of the
    // device thread); false when `limit` passed first. Engine stop waits for 0 this way.
    bool WaitForInFlight(int count, std::chrono::milliseconds limit);

    int BufferCount() const noexcept { return m_nBufferCount.load(); }
    int BufferFrames() const noexcept { return m_nCapacity.load(); }
    int InFlight() const noexcept { return m_nInFlight.load(); }
    uint32_t BusySet() const noexcept { return m_dwBusy.load(); }
    // Buffer i of the pool (tests), or null.
    const CWaveBuffer* PoolBuffer(int i) const noexcept;

private:
    void BuildPool(int count);
    bool WaitForAllReturned();

    std::atomic<int32_t> m_nBufferCount{0};
    std::atomic<int32_t> m_nInFlight{0};
    std::atomic<uint32_t> m_dwBusy{0};
    std::atomic<int32_t> m_nCapacity{0};   // frames per buffer
    mutable std::shared_mutex m_poolMutex; // shared: WriteBlock, OnEvent; exclusive: rebuild
    std::vector<std::unique_ptr<CWaveBuffer>> m_pool;
    platform::CProfile* m_pProfile = nullptr;
    std::atomic<IWaveOutRenderHook*> m_pRenderHook{nullptr};
};

} // namespace zorvil
