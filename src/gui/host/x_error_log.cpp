#include "gui/host/x_error_log.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

namespace zorvil {

namespace {

std::atomic<uint64_t> g_loggedErrors{0};

extern "C" int LogXError(Display* display, XErrorEvent* error) {
    char text[160] = "unknown error";
    if (display != nullptr) XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr,
                 "zorvil: X error %s, request %u.%u, resource 0x%lx (the program goes on)\n", text,
                 static_cast<unsigned>(error->request_code),
                 static_cast<unsigned>(error->minor_code), error->resourceid);
    g_loggedErrors.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

} // namespace

void InstallXErrorLog() noexcept {
    XSetErrorHandler(&LogXError);
}

uint64_t LoggedXErrors() noexcept {
    return g_loggedErrors.load(std::memory_order_relaxed);
}

} // namespace zorvil
