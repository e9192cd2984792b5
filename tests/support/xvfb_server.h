// An X server of the test's own: Xvfb on the first free display number (Xvfb picks it and tells
// us through -displayfd), for tests that show real windows, such as a plug-in's editor or the
// whole program driven as a user would drive it. No window manager runs on it: top-level windows
// appear where they ask to be and the keyboard follows the pointer.
//
//     XvfbServer x;
//     ASSERT_TRUE(x.Start()) << x.LogPath();
//     setenv("DISPLAY", x.Display().c_str(), 1);   // or pass it to a child only
//
// The server dies with the test process (it is told so at start); Stop() or the destructor ends
// it sooner.
#pragma once

#include <string>
#include <sys/types.h>

namespace zorvil::test {

class XvfbServer {
public:
    // The screen: width, height and depth, e.g. "1280x1024x24".
    explicit XvfbServer(std::string screen = "1280x1024x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts Xvfb and waits until it names its display. False when it does not within 10 s.
    bool Start();
    // Stops it (SIGTERM, then SIGKILL after 5 s) and waits for it to leave.
    void Stop();
    bool Running() const noexcept { return m_pid > 0; }
    // ":N", valid while running.
    const std::string& Display() const noexcept { return m_display; }
    const std::string& LogPath() const noexcept { return m_log; }

private:
    std::string m_screen;
    std::string m_display;
    std::string m_log;
    pid_t m_pid = -1;
};

} // namespace zorvil::test
