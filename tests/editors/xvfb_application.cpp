// The one QApplication of the editor tests, on Qt's X11 platform against an Xvfb of the test
// run's own: Xvfb picks a free display number itself (-displayfd), so runs beside each other and
// beside a user's own display never meet. The server is started before the first test and
// stopped after the last. Plug-ins open their own connections to it through DISPLAY.
//
// X errors a plug-in's connection raises are counted and logged instead of ending the process,
// as the program does.
#include "xvfb_application.h"

#include "gui/gui_application.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Last: Xlib's macros (None, Status) would clash with the headers above.
#include <X11/Xlib.h>

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
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        XSetErrorHandler(&CountXError);
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app.reset();
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    std::unique_ptr<QApplication> app;

private:
    pid_t m_pid = -1;
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
