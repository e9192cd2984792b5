// What the parameter dialog shows of an effect's parameters, without a widget: the list lines
// "%02d: name", the plug-in's text for a value with its unit label, the raw value "%8f", and the
// mapping between a value (0.0 to 1.0) and the inverted slider (0 at the top for 1.0, 65535 at
// the bottom for 0.0).
//
//     for (const std::string& line : ParameterLines(effect)) list.add(line);
//     slider.setValue(SliderPosition(effect.GetParameter(index)));
//     effect.SetParameter(index, SliderValue(slider.value()));
//
// Threads: the user-interface thread (the calls go to the plug-in's dispatcher).
#pragma once

#include <string>
#include <vector>

namespace zorvil {

class CEffect;

inline constexpr int kSliderMaximum = 65535;

// The slider position for a value: 65535 - (value x 65535, truncated). A plug-in's value
// outside 0.0 to 1.0 stands at the nearer end; one that is no number, at the bottom.
int SliderPosition(float value) noexcept;
// The value for a slider position: (65535 - position) x the float nearest 1 / 65535, so that
// the top gives exactly 1.0 and the bottom 0.0.
float SliderValue(int position) noexcept;

// One line per parameter, "%02d: " and the name the plug-in gives.
std::vector<std::string> ParameterLines(CEffect& effect);
// The plug-in's display text of the parameter's value, a space and its unit label.
std::string ParameterText(CEffect& effect, int index);
// The raw value as "%8f".
std::string ParameterValueText(float value);

} // namespace zorvil
