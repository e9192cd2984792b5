#include "e2e/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace zorvil::test {

namespace {

// Xlib reports errors (a window that went away between two calls) through a handler that ends
// the process by default; here such a call simply fails.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

Desktop::Desktop(std::string display) : m_name(std::move(display)) {
    XSetErrorHandler(IgnoreXError);
    m_display = XOpenDisplay(m_name.c_str());
}

Desktop::~Desktop() {
    if (m_display != nullptr) XCloseDisplay(m_display);
}

std::string Desktop::Title(XWindow window) const {
    const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
    const Atom netName = XInternAtom(m_display, "_NET_WM_NAME", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(m_display, window, netName, 0, 1024, False, utf8, &type, &format, &items,
                           &after, &data) == Success &&
        data != nullptr && format == 8)
        title.assign(reinterpret_cast<const char*>(data), items);
    if (data != nullptr) XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(m_display, window, &name) != 0 && name != nullptr) title = name;
        if (name != nullptr) XFree(name);
    }
    return title;
}

std::vector<std::pair<XWindow, std::string>> Desktop::Windows() const {
    std::vector<std::pair<XWindow, std::string>> windows;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XSync(m_display, False);
    if (XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count) == 0)
        return windows;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(m_display, children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable)
            continue;
        windows.emplace_back(children[i], Title(children[i]));
    }
    if (children != nullptr) XFree(children);
    return windows;
}

std::optional<XWindow> Desktop::WaitForWindow(const std::function<bool(const std::string&)>& match,
                                              std::chrono::milliseconds limit) const {
    std::optional<XWindow> found;
    PollUntil(
        [&] {
            for (const auto& [window, title] : Windows())
                if (match(title)) {
                    found = window;
                    return true;
                }
            return false;
        },
        limit);
    return found;
}

bool Desktop::WaitUntilHidden(XWindow window, std::chrono::milliseconds limit) const {
    return PollUntil(
        [&] {
            for (const auto& shown : Windows())
                if (shown.first == window) return false;
            return true;
        },
        limit);
}

std::string Desktop::Titles() const {
    std::string text;
    for (const auto& [window, title] : Windows())
        text += "\"" + title + "\" ";
    return text;
}

std::optional<WindowImage> Desktop::Capture(XWindow window) const {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(m_display, window, &attributes) == 0) return std::nullopt;
    XImage* image = XGetImage(m_display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return std::nullopt;
    WindowImage result{attributes.width, attributes.height, {}};
    result.pixels.reserve(static_cast<size_t>(attributes.width * attributes.height));
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            result.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return result;
}

XWindow Desktop::Root() const {
    return DefaultRootWindow(m_display);
}

bool Desktop::SavePicture(XWindow window, const std::string& path) const {
    const std::optional<WindowImage> image = Capture(window);
    if (!image) return false;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image->width << " " << image->height << "\n255\n";
    for (const uint32_t pixel : image->pixels) {
        const char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                             static_cast<char>(pixel)};
        out.write(rgb, 3);
    }
    return static_cast<bool>(out);
}

std::pair<int, int> Desktop::ToRoot(XWindow window, int x, int y) const {
    int rootX = x, rootY = y;
    Window child = 0;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), x, y, &rootX, &rootY,
                          &child);
    return {rootX, rootY};
}

bool Desktop::Xdotool(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "xdotool");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment{"DISPLAY=" + m_name};
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind("DISPLAY=", 0) != 0) environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), envp.data()) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Desktop::Click(XWindow window, int x, int y, int button) const {
    const auto [rootX, rootY] = ToRoot(window, x, y);
    return Xdotool({"mousemove", std::to_string(rootX), std::to_string(rootY), "click",
                    std::to_string(button)});
}

bool Desktop::Drag(XWindow window, int fromX, int fromY, int toX, int toY) const {
    const auto [x1, y1] = ToRoot(window, fromX, fromY);
    const auto [x2, y2] = ToRoot(window, toX, toY);
    // Through a point between the two, so that the program sees the pointer move while pressed.
    return Xdotool({"mousemove", std::to_string(x1), std::to_string(y1), "mousedown", "1",
                    "mousemove", std::to_string((x1 + x2) / 2), std::to_string((y1 + y2) / 2),
                    "mousemove", std::to_string(x2), std::to_string(y2), "mouseup", "1"});
}

bool Desktop::Keys(const std::vector<std::string>& keys) const {
    std::vector<std::string> arguments{"key", "--delay", "30"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    return Xdotool(arguments);
}

bool Desktop::Type(const std::string& text) const {
    return Xdotool({"type", "--delay", "10", text});
}

} // namespace zorvil::test
