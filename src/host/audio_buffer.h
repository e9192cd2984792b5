// CAudioBuffer: a block of float samples in the shape plug-ins are handed their audio.
//
// Vectorised plug-ins load whole vectors: they may expect their buffers aligned for the widest
// loads, and many read a little past the last frame (up to a full vector) before they mask the
// tail. So every buffer a plug-in sees starts on a 64-byte boundary and is followed by at least
// 64 bytes of zeroed slack that belongs to nobody.
//
//     CAudioBuffer buffer(1024);       // 1024 frames, zero-filled, 64-byte aligned
//     float* samples = buffer.Data();  // samples[1024 ... 1039] are slack
//
// Allocates only in the constructor; a buffer that cannot be had throws std::bad_alloc.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace zorvil {

class CAudioBuffer {
public:
    static constexpr std::size_t kAlignment = 64;
    static constexpr std::size_t kSlackBytes = 64;

    CAudioBuffer() noexcept = default;
    explicit CAudioBuffer(std::size_t frames);

    float* Data() const noexcept { return m_samples.get(); }
    std::size_t Frames() const noexcept { return m_frames; }

    // Bytes allocated for `frames` samples: whole alignment units with the slack past them.
    static constexpr std::size_t AllocationBytes(std::size_t frames) noexcept {
        const std::size_t bytes = frames * sizeof(float) + kSlackBytes;
        return (bytes + kAlignment - 1) / kAlignment * kAlignment;
    }

private:
    struct Deleter {
        void operator()(float* samples) const noexcept {
            ::operator delete (samples, std::align_val_t{kAlignment});
        }
    };
    std::unique_ptr<float, Deleter> m_samples;
    std::size_t m_frames = 0;
};

} // namespace zorvil
