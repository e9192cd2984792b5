#include "platform/rate_bridge.h"

namespace zorvil::platform {

namespace detail {

std::unique_ptr<RateStage> MakeRateStage(uint32_t deviceRate, bool toDevice) {
    auto stage = std::make_unique<RateStage>();
    stage->deviceRate = deviceRate == 0 ? kSampleRate : deviceRate;
    if (stage->deviceRate != kSampleRate) {
        stage->converter = toDevice ? RateConverter::Create(kSampleRate, stage->deviceRate)
                                    : RateConverter::Create(stage->deviceRate, kSampleRate);
        if (!stage->converter) return nullptr;
    }
    return stage;
}

bool RateBridgeBase::SetDeviceRate(uint32_t rate) noexcept {
    try {
        const RateStage* current = m_stage.Peek();
        if (current != nullptr && current->deviceRate == (rate == 0 ? kSampleRate : rate))
            return true;
        auto stage = MakeRateStage(rate, m_toDevice);
        if (!stage) return false;
        const uint32_t deviceRate = stage->deviceRate;
        m_stage.Publish(std::move(stage));
        m_rate.store(deviceRate, std::memory_order_release);
        return true;
    } catch (...) {
        return false; // out of memory: the previous rate stays
    }
}

} // namespace detail

void OutputRateBridge::Pull(float* left, float* right, size_t frames) noexcept {
    const auto stage = m_stage.Read();
    if (!stage || !stage->converter) {
        m_queue.PullFloat(left, right, frames);
        return;
    }
    stage->converter->Pull(left, right, frames,
                           [this](float* l, float* r, size_t n) { m_queue.PullFloat(l, r, n); });
}

void InputRateBridge::Push(const float* left, const float* right, size_t frames) noexcept {
    const auto stage = m_stage.Read();
    if (!stage || !stage->converter) {
        m_queue.PushFloat(left, right, frames);
        return;
    }
    stage->converter->Push(left, right, frames, [this](const float* l, const float* r, size_t n) {
        m_queue.PushFloat(l, r, n);
    });
}

} // namespace zorvil::platform
