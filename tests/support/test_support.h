// Helpers shared by every test executable: where our built plug-ins and tools live.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace zorvil::test {

// Full path of one of our plug-ins in build/plugins, e.g. PluginPath("zorvil-synth").
std::string PluginPath(std::string_view name);

// Full path of a tool in build/bin, e.g. ToolPath("zorvil-cli").
std::string ToolPath(std::string_view name);

// Full path of a file in the source tree, e.g. SourcePath("tests/data/demo.tsn").
std::string SourcePath(std::string_view relative);

// Runs `run` with the process's file size limit at `bytes` (SIGXFSZ ignored), so that a write
// beyond it fails part-way as on a full disk; the limit and the signal's handling are restored
// afterwards. False when the limit could not be set (`run` did not run).
bool WithFileSizeLimit(uint64_t bytes, const std::function<void()>& run);

// In a child process just forked to run a server for the test: makes it die with `parent` (the
// test process), whatever ends that, and sends its output into a new file at `logPath`.
void BecomeServerChild(pid_t parent, const std::string& logPath);

// Ends a child process of the test (a server it started): SIGTERM, SIGKILL once `grace` has
// passed, and waits for it to leave.
void TerminateChild(pid_t pid, std::chrono::milliseconds grace);

} // namespace zorvil::test
