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
    return plan;
}

RenderCounter::Step RenderCounter::OnBuffer(size_t bufferBytes) noexcept {
    Step step;
    if (m_bFinished) {
        step.finished = true;
        return step;
    }
    // The first "RenderAdjust" buffers are played, not written.
    if (m_buffers++ < m_plan.renderAdjust) return step;
    const int64_t frames = std::min<int64_t>(
        static_cast<int64_t>(bufferBytes / kRenderBytesPerFrame), m_plan.totalFrames - m_frames);
    m_frames += frames;
    step.writeBytes = static_cast<size_t>(frames) * kRenderBytesPerFrame;
    m_bFinished = m_frames >= m_plan.totalFrames;
    step.finished = m_bFinished;
    return step;
}

} // namespace zorvil
