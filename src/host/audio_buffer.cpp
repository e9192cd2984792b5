#include "host/audio_buffer.h"

#include <cstring>

namespace zorvil {

CAudioBuffer::CAudioBuffer(std::size_t frames) : m_frames(frames) {
    const std::size_t bytes = AllocationBytes(frames);
    m_samples.reset(static_cast<float*>(::operator new (bytes, std::align_val_t{kAlignment})));
    std::memset(m_samples.get(), 0, bytes);
}

} // namespace zorvil
