#include "player_harness.h"

#include "../host/probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace zorvil::test {

Player::Player(uint32_t clockStart)
    : m_clock(clockStart), m_start(clockStart), m_app(std::make_unique<CZorvilApp>(m_clock, m_ui)) {
    m_app->SetOutputDevice(&m_capture);
}

Player::~Player() {
    m_app->Pattern().Stop();
    m_app->StartTimer(0);
    m_app.reset();
}

int Player::Load(const std::string& plugin) {
    return m_app->Host().LoadPlugin(PluginPath(plugin));
}

int Player::LoadSynth() {
    const int slot = Load("zorvil-synth");
    if (slot >= 0) {
        CEffect* synth = m_app->Host().GetEffect(slot);
        synth->SetParameter(1, 0.0f); // attack 1 ms
        synth->SetParameter(2, 0.0f); // release 5 ms
    }
    return slot;
}

int Player::LoadListeningProbe() {
    const int slot = Load("zorvil-probe");
    if (slot >= 0) m_app->Host().GetEffect(slot)->SetParameter(0, 0.0f);
    return slot;
}

std::vector<std::string> Player::ProbeMidi(int slot) {
    std::vector<std::string> lines;
    const CEffect* effect = m_app->Host().GetEffect(slot);
    if (effect == nullptr) return lines;
    std::istringstream log(ProbeAccess("zorvil-probe").Log(*effect));
    for (std::string line; std::getline(log, line);) {
        if (line.rfind("midi ", 0) == 0) lines.push_back(line);
    }
    return lines;
}

void Player::StartEngine() {
    m_app->SetStartTime(m_clock.Now());
    ASSERT_TRUE(m_app->StartTimer(kBlockPeriod));
}

void Player::Play() {
    CPattern& pattern = m_app->Pattern();
    pattern.SetTempo(kTempo);
    if (pattern.GetStepsPerMeasure() != 16) pattern.SetStepsPerMeasure(16);
    pattern.Start();
    ASSERT_EQ(pattern.GetStepPeriod(), kStepPeriod);
}

void Player::Pause() {
    m_app->Pattern().Stop();
}

void Player::RunUntil(uint32_t ms) {
    EngineStepper stepper(m_clock, *m_app);
    while (Now() < ms) {
        const auto until = m_clock.UntilNextTick();
        if (!until || Now() + *until > ms) {
            m_clock.Advance(ms - Now());
            break;
        }
        stepper.Tick();
    }
}

uint32_t Player::Now() const {
    return m_clock.Now() - m_start;
}

size_t Player::EventSample(uint32_t ms) {
    // Blocks are made at kFirstBlock + 20 k ms.
    const uint32_t block = ms < kFirstBlock ? 0 : (ms - kFirstBlock) / kBlockPeriod + 1;
    return static_cast<size_t>(block) * kBlockFrames + (kBlockFrames - 1);
}

size_t FirstSound(const std::vector<float>& samples, size_t from, float threshold) {
    for (size_t i = from; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > threshold) return i;
    }
    return std::string::npos;
}

float Peak(const std::vector<float>& samples, size_t from, size_t to) {
    float peak = 0.0f;
    for (size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

} // namespace zorvil::test
