// The test's hands and eyes on an X display: it finds top-level windows by title and reads
// their pixels through Xlib, and moves the pointer, clicks and types through xdotool (the X
// server's test extension, so the program sees real input, not synthetic events).
//
// Without a window manager the keyboard goes where the pointer is and a window becomes active
// when it is clicked; Click() before keys makes sure they reach the intended window.
//
//     Desktop desktop(xvfb.Display());
//     const auto main = desktop.WaitForWindow([](const std::string& t) { return t == "App"; },
//     20s); desktop.Click(*main, 10, 10); desktop.Keys({"ctrl+o"}); desktop.Type("/tmp/song.tsn");
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay; // Xlib's display, kept out of this header: Xlib's macros (None, Bool,
                  // Status) clash with the names of the code under test

namespace zorvil::test {

using XWindow = unsigned long; // Xlib's Window

// Waits, checking every 20 ms, until `done` holds; false when `limit` passed first.
bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// A window's contents, 0xRRGGBB per pixel.
struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // row by row

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

class Desktop {
public:
    explicit Desktop(std::string display);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool Connected() const noexcept { return m_display != nullptr; }

    // The shown top-level windows and their titles.
    std::vector<std::pair<XWindow, std::string>> Windows() const;
    // The first shown top-level window whose title satisfies `match`, once one is there.
    std::optional<XWindow> WaitForWindow(const std::function<bool(const std::string&)>& match,
                                         std::chrono::milliseconds limit) const;
    // Waits until `window` is gone or hidden.
    bool WaitUntilHidden(XWindow window, std::chrono::milliseconds limit) const;
    std::string Title(XWindow window) const;
    // Every visible title, for failure messages.
    std::string Titles() const;

    XWindow Root() const;
    std::optional<WindowImage> Capture(XWindow window) const;
    // The window's picture as a PPM file (for a failing test's report).
    bool SavePicture(XWindow window, const std::string& path) const;

    // Input through xdotool; x and y are the window's own coordinates. False when xdotool fails.
    bool Click(XWindow window, int x, int y, int button = 1) const;
    bool Drag(XWindow window, int fromX, int fromY, int toX, int toY) const;
    bool Keys(const std::vector<std::string>& keys) const; // e.g. {"ctrl+o"}, {"alt+f", "x"}
    bool Type(const std::string& text) const;

private:
    bool Xdotool(std::vector<std::string> arguments) const;
    std::pair<int, int> ToRoot(XWindow window, int x, int y) const;

    std::string m_name;
    _XDisplay* m_display = nullptr;
};

} // namespace zorvil::test
