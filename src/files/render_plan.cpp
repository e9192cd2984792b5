#include "files/render_plan.h"

#include <algorithm>
#include <cmath>

namespace zorvil {

int32_t RenderFrameCount(int measures, double tempo) noexcept {
    if (measures < 1 || !(tempo > 0.0)) return 0;
    const double frames = measures * (60000.0 / tempo) * 176.4;
    if (!(frames < 2147483647.0)) return 2147483647;
    return static_cast<int32_t>(frames);
}

RenderPlan MakeRenderPlan(int measures, double tempo, int32_t bufferFrames,
                          int32_t renderAdjust) noexcept {
    RenderPlan plan;
    plan.totalFrames = RenderFrameCount(measures, tempo);
    plan.bufferFrames = std::max(bufferFrames, 1);
    plan.renderAdjust = std::max(renderAdjust, 0);
    const int32_t fullBuffers = plan.totalFrames / plan.bufferFrames;
    // Keep the last buffer number within 32 bits for any adjust.
    plan.lastFullBuffer = static_cast<int32_t>(
        std::min<int64_t>(int64_t{plan.renderAdjust} + fullBuffers, 2147483647));
    plan.tailBytes = (plan.totalFrames % plan.bufferFrames) * kRenderBytesPerFrame;
    return plan;
}

RenderCounter::Step RenderCounter::OnBuffer(size_t bufferBytes) noexcept {
    Step step;
    const int64_t last = m_plan.lastFullBuffer;
    if (m_bufferCounter > last + 1) {
        step.finished = true;
        return step;
    }
    if (m_bufferCounter > m_plan.renderAdjust && m_bufferCounter <= last)
        step.writeBytes = bufferBytes;
    else if (m_bufferCounter == last + 1)
        step.writeBytes = std::min(bufferBytes, static_cast<size_t>(m_plan.tailBytes));
    ++m_bufferCounter;
    step.finished = m_bufferCounter > last + 1;
    return step;
}

} // namespace zorvil
