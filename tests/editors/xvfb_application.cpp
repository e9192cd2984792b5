// The one QApplication of the editor tests, on Qt's X11 platform against an Xvfb of the test
// run's own: Xvfb picks a free display number itself (-displayfd), so runs beside each other and
// beside a user's own display never meet. The server is started before the first test and
// stopped after the last. Plug-ins open their own connections to it through DISPLAY.
//
// X errors a plug-in's connection raises are counted and logged instead of ending the process,
// as the program does.
#include "xvfb_application.h"

#include "gui/gui_application.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// Last: Xlib's macros (None, Status) would clash with the headers above.
#include <X11/Xlib.h>

// The sanitizers' verdict leaves out what is not ours: the buffer D-Bus (which Qt's X11 platform
// opens) keeps to the end, and faults inside the installed plug-ins of the system's plug-in
// folders, which the tests keep mapped to the end so that a report can name them. Our code and
// our own plug-ins stay fully checked.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:/usr/lib/vst/\n";
}
#endif
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:/usr/lib/vst/\n";
}
#endif

namespace zorvil::test {

namespace {

std::atomic<int> g_xErrors{0};

int CountXError(Display*, XErrorEvent* error) {
    g_xErrors.fetch_add(1);
    std::fprintf(stderr, "X error %d (request %d)\n", error->error_code, error->request_code);
    return 0;
}

class XvfbEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(m_xvfb.Start()) << "Xvfb did not start; see " << m_xvfb.LogPath();
        setenv("DISPLAY", m_xvfb.Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        XSetErrorHandler(&CountXError);
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app.reset();
        m_xvfb.Stop();
    }

    std::unique_ptr<QApplication> app;

private:
    XvfbServer m_xvfb{"1280x800x24"};
    int argc = 1;
    char name[13] = "test_editors";
    char* argv[2] = {name, nullptr};
};

XvfbEnvironment* const environment = [] {
    auto* made = new XvfbEnvironment; // owned by GoogleTest
    ::testing::AddGlobalTestEnvironment(made);
    return made;
}();

} // namespace

QApplication& GuiApplication() {
    return *environment->app;
}

int XErrorCount() {
    return g_xErrors.load();
}

} // namespace zorvil::test
