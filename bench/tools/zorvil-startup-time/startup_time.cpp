// zorvil-startup-time: how long the program takes from its start to its first shown window.
//
// It starts the program RUNS times (default 10) on the X display of $DISPLAY, each time with a
// fresh settings folder (a new user's start: no devices, no plug-ins), watches the root window
// for the first window the program maps (a top-level window whose _NET_WM_PID is the program's)
// and prints each time and their median. Run it under Xvfb:
//
//     Xvfb :9 & DISPLAY=:9 build/bin/zorvil-startup-time build/bin/zorvil 10
//
// A window that does not appear within 20 s counts as a failure (exit status 1).
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLimit = std::chrono::seconds(20);

std::optional<long> WindowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<long> pid;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr && items == 1 && format == 32)
        pid = *reinterpret_cast<long*>(data);
    if (data != nullptr) XFree(data);
    return pid;
}

// Milliseconds from fork to the program's first mapped window, or nothing.
std::optional<double> OneStart(Display* display, const char* program) {
    char folder[] = "/tmp/zorvil-startup-XXXXXX";
    if (mkdtemp(folder) == nullptr) return std::nullopt;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True); // forget what happened before
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("XDG_CONFIG_HOME", folder, 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::optional<double> result;
    while (!result && Clock::now() - start < kLimit) {
        if (XPending(display) == 0) {
            usleep(200);
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) break; // it ended without a window
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify) continue;
        if (WindowPid(display, event.xmap.window) != std::optional<long>(child)) continue;
        result = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "%s: no X display (set DISPLAY, e.g. under Xvfb)\n", argv[0]);
        return 2;
    }
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const std::optional<double> ms = OneStart(display, argv[1]);
        if (!ms) {
            std::fprintf(stderr, "run %d: no window within %lld s\n", run + 1,
                         static_cast<long long>(kLimit.count()));
            XCloseDisplay(display);
            return 1;
        }
        std::printf("run %d: %.1f ms\n", run + 1, *ms);
        times.push_back(*ms);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("median of %zu starts to the first shown window: %.1f ms\n", n, median);
    XCloseDisplay(display);
    return 0;
}
