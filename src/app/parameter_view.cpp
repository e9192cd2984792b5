#include "app/parameter_view.h"

#include "host/effect.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace zorvil {

namespace {

// The float nearest 1 / 65535; 65535 times it rounds to exactly 1.0f.
constexpr float kSliderStep = std::bit_cast<float>(uint32_t{0x37800080});
static_assert(kSliderStep * 65535.0f == 1.0f);

// The texts a plug-in writes: a name into 68 bytes, a display text or label into 32.
constexpr std::size_t kNameLength = 67;
constexpr std::size_t kTextLength = 31;

} // namespace

int SliderPosition(float value) noexcept {
    if (!(value > 0.0f)) return kSliderMaximum; // 0, below, or no number at all
    if (value >= 1.0f) return 0;
    return kSliderMaximum - static_cast<int>(value * 65535.0);
}

float SliderValue(int position) noexcept {
    return static_cast<float>(kSliderMaximum - position) * kSliderStep;
}

std::vector<std::string> ParameterLines(CEffect& effect) {
    std::vector<std::string> lines;
    const AEffect* record = effect.GetAEffect();
    const int count = record != nullptr ? record->numParams : 0;
    for (int index = 0; index < count; ++index) {
        std::string name;
        effect.DispatchString(effGetParamName, index, name, kNameLength);
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02d: ", index);
        lines.push_back(prefix + name);
    }
    return lines;
}

std::string ParameterText(CEffect& effect, int index) {
    std::string display;
    std::string label;
    effect.DispatchString(effGetParamDisplay, index, display, kTextLength);
    effect.DispatchString(effGetParamLabel, index, label, kTextLength);
    return display + " " + label;
}

std::string ParameterValueText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%8f", static_cast<double>(value));
    return text;
}

} // namespace zorvil
