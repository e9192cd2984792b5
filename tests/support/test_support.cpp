#include "support/test_support.h"

namespace zorvil::test {

std::string PluginPath(std::string_view name) {
    return std::string(ZORVIL_PLUGIN_DIR) + "/" + std::string(name) + ".so";
}

std::string ToolPath(std::string_view name) {
    return std::string(ZORVIL_BIN_DIR) + "/" + std::string(name);
}

std::string SourcePath(std::string_view relative) {
    return std::string(ZORVIL_SOURCE_DIR) + "/" + std::string(relative);
}

} // namespace zorvil::test
