// An X server of the test's own: Xvfb on a display number the server picks itself (-displayfd),
// so that tests of X11 editors meet a real X server without touching the machine's display and
// without two runs colliding on one number.
//
//     XvfbServer xvfb;                          // starts it; waits until it listens
//     ASSERT_TRUE(xvfb.Running());
//     Display* display = XOpenDisplay(xvfb.DisplayName().c_str());
//     ... // or setenv("DISPLAY", ...) for code that opens the default display
//
// The server dies with the test process (it is told so at start) and is stopped (SIGTERM, then
// SIGKILL) when the object goes.
#pragma once

#include <string>
#include <sys/types.h>

namespace zorvil::test {

class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const noexcept { return m_pid > 0; }
    // ":N", empty when the server did not start.
    const std::string& DisplayName() const noexcept { return m_displayName; }

private:
    void Stop() noexcept;

    pid_t m_pid = -1;
    std::string m_displayName;
};

} // namespace zorvil::test
