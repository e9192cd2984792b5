// Helpers shared by every test executable: where our built plug-ins and tools live.
#pragma once

#include <string>
#include <string_view>

namespace zorvil::test {

// Full path of one of our plug-ins in build/plugins, e.g. PluginPath("zorvil-synth").
std::string PluginPath(std::string_view name);

// Full path of a tool in build/bin, e.g. ToolPath("zorvil-cli").
std::string ToolPath(std::string_view name);

// Full path of a file in the source tree, e.g. SourcePath("tests/data/demo.tsn").
std::string SourcePath(std::string_view relative);

} // namespace zorvil::test
