#include "block_capture.h"

#include <algorithm>
#include <thread>

namespace zorvil::test {

BlockCapture::BlockCapture(size_t reservedFrames, size_t reservedBlocks) {
    m_left.reserve(reservedFrames);
    m_right.reserve(reservedFrames);
    m_frames.reserve(reservedBlocks);
}

void BlockCapture::OutputBlock(float* const* buffers, int frames) noexcept {
    std::unique_lock lock(m_mutex);
    const auto count = static_cast<size_t>(std::max(frames, 0));
    if (m_left.size() + count <= m_left.capacity() && m_frames.size() < m_frames.capacity()) {
        m_left.insert(m_left.end(), buffers[0], buffers[0] + count);
        m_right.insert(m_right.end(), buffers[1], buffers[1] + count);
        m_frames.push_back(frames);
    }
    ++m_blocks;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_hold; });
}

void BlockCapture::Hold(bool hold) {
    const std::lock_guard lock(m_mutex);
    m_hold = hold;
    m_changed.notify_all();
}

void BlockCapture::WaitForBlocks(size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_blocks >= count; });
}

size_t BlockCapture::BlockCount() const {
    const std::lock_guard lock(m_mutex);
    return m_blocks;
}

std::vector<int> BlockCapture::BlockFrames() const {
    const std::lock_guard lock(m_mutex);
    return m_frames;
}

std::vector<float> BlockCapture::Left() const {
    const std::lock_guard lock(m_mutex);
    return m_left;
}

std::vector<float> BlockCapture::Right() const {
    const std::lock_guard lock(m_mutex);
    return m_right;
}

void BlockCapture::Clear() {
    const std::lock_guard lock(m_mutex);
    m_left.clear();
    m_right.clear();
    m_frames.clear();
    m_blocks = 0;
}

void EngineStepper::WaitIdle() {
    // The busy flag drops just after the output step returns; there is nothing to wait on.
    while (m_app.EngineThread().IsBusy())
        std::this_thread::yield();
}

void EngineStepper::Tick() {
    m_clock.AdvanceToNextTick();
    WaitIdle();
}

void EngineStepper::RunBlocks(BlockCapture& capture, size_t count) {
    const size_t target = capture.BlockCount() + count;
    while (capture.BlockCount() < target)
        Tick();
}

} // namespace zorvil::test
