// The program's X error handler under a real X server (an Xvfb of the test's own): a plug-in
// editor's failed requests, on the program's thread or on a thread of the plug-in's own, are
// logged and the program goes on (Xlib's default handler would end the test process here).
#include "gui/host/x_error_log.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

// Last: Xlib's macros (None, Bool, ...) would clash with GoogleTest's names.
#include <X11/Xlib.h>

namespace zorvil::test {
namespace {

// An editor's request for a window that is gone (its embedding widget closed first).
void FailOnGoneWindow(const std::string& displayName, int& failures) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) return;
    const Window gone =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 300, 200, 0, 0, 0);
    XDestroyWindow(display, gone);
    XSync(display, False);
    XMapWindow(display, gone);            // BadWindow
    XResizeWindow(display, gone, 10, 10); // BadWindow
    XSync(display, False);
    failures += 2;
    XCloseDisplay(display);
}

TEST(XErrorLog, FailedEditorRequestsAreLoggedAndTheProgramGoesOn) {
    XvfbServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start; see " << xvfb.LogPath();
    InstallXErrorLog();
    const uint64_t before = LoggedXErrors();
    int failures = 0;
    testing::internal::CaptureStderr();
    FailOnGoneWindow(xvfb.Display(), failures);
    std::thread editorThread([&] { FailOnGoneWindow(xvfb.Display(), failures); });
    editorThread.join();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(failures, 4);
    EXPECT_EQ(LoggedXErrors(), before + 4);
    EXPECT_NE(log.find("zorvil: X error BadWindow"), std::string::npos) << log;
}

} // namespace
} // namespace zorvil::test
