// The whole program in a user's hands: `zorvil` started on an X server and a JACK server of the
// test's own, with a fresh settings folder whose profile names Zorvil's JACK devices, and driven
// only through the mouse and the keyboard. The user opens the demo project through File > Open,
// draws notes in the piano roll, plays it (the test records Zorvil's JACK outputs and listens
// for the drawn notes), saves it under a new name, quits, starts again, opens it, renders it to
// a wave file of exactly the pattern's length and quits.
#include "devices/jack_test_client.h"
#include "files/temp_dir.h"
#include "support/jack_server.h"
#include "support/test_support.h"
#include "support/tone_analysis.h"
#include "support/xvfb_server.h"

#include "app/app_settings.h"
#include "files/project_file.h"
#include "files/render_plan.h"
#include "files/wave_file.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/jack_sanitizer_suppressions.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace zorvil::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kMainTitle = "Zorvil by Ostrelworks";

// Waits, checking every 20 ms, until `done` holds; false when `limit` passed first.
bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A window's contents, 0xRRGGBB per pixel, row by row.
struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// The test's hands and eyes on the X display named by DISPLAY: it finds top-level windows by
// title and reads their pixels through Xlib, and moves the pointer, clicks and types through
// xdotool (the X server's test extension, so the program sees real input, not synthetic
// events). Without a window manager the keyboard goes where the pointer is and a window becomes
// active when it is clicked.
class Desktop {
public:
    Desktop() : m_display(XOpenDisplay(nullptr)) {
        // A window that went away between two calls makes the call fail, not the process end.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~Desktop() {
        if (m_display != nullptr) XCloseDisplay(m_display);
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool Connected() const noexcept { return m_display != nullptr; }

    std::string Title(Window window) const {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False), 0,
                               1024, False, XInternAtom(m_display, "UTF8_STRING", False), &type,
                               &format, &items, &after, &data) == Success &&
            data != nullptr && format == 8)
            title.assign(reinterpret_cast<const char*>(data), items);
        if (data != nullptr) XFree(data);
        return title;
    }
    // The shown top-level windows and their titles.
    std::vector<std::pair<Window, std::string>> Windows() const {
        std::vector<std::pair<Window, std::string>> windows;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XSync(m_display, False);
        if (XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children,
                       &count) == 0)
            return windows;
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(m_display, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable)
                windows.emplace_back(children[i], Title(children[i]));
        }
        if (children != nullptr) XFree(children);
        return windows;
    }
    // Every visible title, for failure messages.
    std::string Titles() const {
        std::string text;
        for (const auto& [window, title] : Windows())
            text += "\"" + title + "\" ";
        return text;
    }
    // The first shown top-level window whose title satisfies `match`, once one is there.
    std::optional<Window> WaitForWindow(const std::function<bool(const std::string&)>& match,
                                        std::chrono::milliseconds limit) const {
        std::optional<Window> found;
        PollUntil(
            [&] {
                for (const auto& [window, title] : Windows())
                    if (!found && match(title)) found = window;
                return found.has_value();
            },
            limit);
        return found;
    }
    bool WaitUntilHidden(Window window, std::chrono::milliseconds limit) const {
        return PollUntil(
            [&] {
                return std::ranges::none_of(
                    Windows(), [&](const auto& shown) { return shown.first == window; });
            },
            limit);
    }
    std::optional<WindowImage> Capture(Window window) const {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(m_display, window, &attributes) == 0) return std::nullopt;
        XImage* image = XGetImage(m_display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (image == nullptr) return std::nullopt;
        WindowImage result{attributes.width, attributes.height, {}};
        for (int y = 0; y < attributes.height; ++y)
            for (int x = 0; x < attributes.width; ++x)
                result.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
        XDestroyImage(image);
        return result;
    }

    // Input through xdotool, at the window's own coordinates; false when xdotool fails.
    bool Click(Window window, int x, int y) const {
        return Xdotool({"mousemove", "--window", std::to_string(window), std::to_string(x),
                        std::to_string(y), "click", "1"});
    }
    // Through a point between the two, so that the program sees the pointer move while pressed.
    bool Drag(Window window, int fromX, int fromY, int toX, int toY) const {
        const auto to = [&](int x, int y) {
            return std::vector<std::string>{"mousemove", "--window", std::to_string(window),
                                            std::to_string(x), std::to_string(y)};
        };
        std::vector<std::string> arguments = to(fromX, fromY);
        arguments.insert(arguments.end(), {"mousedown", "1"});
        for (const auto& step : {to((fromX + toX) / 2, (fromY + toY) / 2), to(toX, toY)})
            arguments.insert(arguments.end(), step.begin(), step.end());
        arguments.insert(arguments.end(), {"mouseup", "1"});
        return Xdotool(arguments);
    }
    bool Keys(const std::vector<std::string>& keys) const { // e.g. {"ctrl+o"}, {"alt+f", "x"}
        std::vector<std::string> arguments{"key", "--delay", "30"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return Xdotool(arguments);
    }
    bool Type(const std::string& text) const { return Xdotool({"type", "--delay", "10", text}); }

private:
    static bool Xdotool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xdotool");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0)
            return false;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    Display* m_display;
};

// Where the piano roll's grid lies in the main window, found as a user finds it: by looking.
// The first measure's number sits in a red box one cell wide above the grid's first column;
// nothing else in the window is a red run of exactly that width (the box's own top line runs
// on into the header band's frame).
struct Grid {
    int left = 0; // the grid's first column line, in the window's coordinates
    int top = 0;  // its first row line

    static constexpr int kCellWidth = 22;
    static constexpr int kCellHeight = 12;
    static constexpr int kTopKey = 83; // the key of the first visible row

    int X(int step) const { return left + step * kCellWidth + kCellWidth / 2; }
    int Y(int key) const { return top + (kTopKey - key) * kCellHeight + kCellHeight / 2; }
};

std::optional<Grid> FindGrid(const WindowImage& image) {
    constexpr uint32_t kRed = 0xFF0000;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width;) {
            if (image.At(x, y) != kRed) {
                ++x;
                continue;
            }
            int end = x;
            while (end < image.width && image.At(end, y) == kRed)
                ++end;
            if (end - x == Grid::kCellWidth + 1) {
                // The box's bottom lies on the grid's top line, which runs on to the right.
                int top = y;
                while (top + 1 < image.height && image.At(end, top) != kRed)
                    ++top;
                return Grid{x, top};
            }
            x = end;
        }
    return std::nullopt;
}

// A drawn note shows in the note colours: full red, a little green for loud notes, no blue.
bool ShowsNote(const WindowImage& image, const Grid& grid, int step, int key) {
    const uint32_t pixel = image.At(grid.X(step), grid.Y(key));
    return (pixel >> 16) == 0xFF && (pixel & 0xFF) == 0 && ((pixel >> 8) & 0xFF) < 0x80;
}

double MidiFrequency(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

// The user's hands on one run of the program: `zorvil` started with the test's display (from
// the environment), settings folder and, through JACK_DEFAULT_SERVER, JACK server; its output
// goes to `log`. Ended if the test leaves it running.
class Session {
public:
    Session(Desktop& desktop, const std::string& config, const std::string& log)
        : m_desktop(desktop) {
        // Under the leak checker: D-Bus, which Qt's X11 platform opens, keeps a buffer to the
        // end; that is the library's own, not the program's.
        const std::string suppressions = config + "/lsan.supp";
        std::ofstream(suppressions) << "leak:libdbus-1.so\n";
        const char* lsan = getenv("LSAN_OPTIONS");
        const std::string lsanOptions =
            std::string(lsan != nullptr ? lsan : "") + ":suppressions=" + suppressions;
        const std::string program = ToolPath("zorvil");
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            BecomeServerChild(parent, log);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("LSAN_OPTIONS", lsanOptions.c_str(), 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Session() {
        if (m_pid > 0) TerminateChild(m_pid, 0ms);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Waits for the main window and its first painting (the piano roll's grid); false when it
    // did not come.
    bool Started() {
        m_main = m_desktop.WaitForWindow(
            [](const std::string& title) { return title.rfind(kMainTitle, 0) == 0; }, 30s);
        return m_main && PollUntil([&] { return FindGrid().has_value(); }, 30s);
    }
    Window Main() const { return *m_main; }
    std::string Title() const { return m_desktop.Title(*m_main); }

    // Clicks the status bar (nothing happens there), which makes the main window the active
    // one, then presses the keys.
    bool Keys(const std::vector<std::string>& keys) {
        const auto image = m_desktop.Capture(*m_main);
        return image && m_desktop.Click(*m_main, 20, image->height - 8) && m_desktop.Keys(keys);
    }
    // Answers the file dialog that `keys` open with `path` (Return to accept) and waits until
    // the dialog is gone. The first dialog of a run can take long to come on a loaded machine:
    // the keys are not given again (a second dialog would follow the first).
    bool ThroughFileDialog(const std::vector<std::string>& keys, const std::string& path) {
        if (!Keys(keys)) return false;
        const auto dialog = m_desktop.WaitForWindow(
            [](const std::string& title) { return title.rfind(kMainTitle, 0) != 0; }, 30s);
        if (!dialog) return false;
        // The name field has the focus; whatever it holds is replaced. A dialog that has just
        // been mapped on a loaded machine may lose the first keys: each attempt types the name
        // again. The name field's completion list may show over the dialog, and take the first
        // Return (or come only after it): Escape closes the list, Return accepts the name.
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!m_desktop.Keys({"ctrl+a"}) || !m_desktop.Type(path)) return false;
            bool listShown = false;
            for (const auto& [window, title] : m_desktop.Windows())
                listShown |= window != *m_main && window != *dialog;
            if ((listShown && !m_desktop.Keys({"Escape"})) || !m_desktop.Keys({"Return"}))
                return false;
            if (m_desktop.WaitUntilHidden(*dialog, 10s)) return true;
        }
        return false;
    }
    bool WaitForTitle(const std::string& title) {
        return PollUntil([&] { return Title() == title; }, 20s);
    }
    std::optional<Grid> FindGrid() const {
        const auto image = m_desktop.Capture(*m_main);
        return image ? test::FindGrid(*image) : std::nullopt;
    }
    // Whether any pixel of the main window (its child windows included) has this colour.
    bool ShowsColour(uint32_t colour) const {
        const auto image = m_desktop.Capture(*m_main);
        return image && std::ranges::find(image->pixels, colour) != image->pixels.end();
    }
    bool ShowsNote(const Grid& grid, int step, int key) const {
        const auto image = m_desktop.Capture(*m_main);
        return image && test::ShowsNote(*image, grid, step, key);
    }
    // File > Exit; the program's exit status.
    std::optional<int> Quit() {
        std::optional<int> status;
        if (!Keys({"alt+f", "x"})) return status;
        PollUntil(
            [&] {
                int raw = 0;
                if (waitpid(m_pid, &raw, WNOHANG) != m_pid) return false;
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                m_pid = -1;
                return true;
            },
            30s);
        return status;
    }

private:
    Desktop& m_desktop;
    pid_t m_pid = -1;
    std::optional<Window> m_main;
};

// The drawn notes: one made eight steps long by dragging its right end, one left as clicked.
constexpr int kDrawnKey = 66; // F#4: neither it nor an overtone of a note of the demo
constexpr NoteRecord kLongNote{0, kDrawnKey, 127, 8};
constexpr NoteRecord kShortNote{16, kDrawnKey, 127, 1};

TEST(FirstSession, OpenDrawPlaySaveQuitReopenAndRender) {
#if defined(__SANITIZE_THREAD__)
    // The program runs both Qt, which is not built with the thread checker (the window tests
    // have it skip such libraries), and libjack, whose threads the checker then rejects when
    // they end. The plain and address-checked runs take this walk; the threads are checked by
    // the window, device and engine tests.
    GTEST_SKIP() << "the whole program under the thread checker: Qt and libjack together";
#endif
    XvfbServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start; see " << xvfb.LogPath();
    auto jack = JackServer::StartOnFreeName(JackServer::Mode::Synchronous);
    ASSERT_TRUE(jack);
    setenv("DISPLAY", xvfb.Display().c_str(), 1); // for Xlib, xdotool and the program
    Desktop desktop;
    ASSERT_TRUE(desktop.Connected());

    TempDir folder;
    const std::string config = folder.File("config");
    const std::string log = folder.File("zorvil.log");
    platform::CProfile profile((std::filesystem::path(config) / "Ostrelworks" / "Zorvil.conf"));
    ASSERT_TRUE(profile.WriteString(platform::settings::kSection, platform::settings::kWaveOut,
                                    "MME: JACK"));
    const std::string demo = SourcePath("resources/demo/demo.tsn");
    const std::string song = folder.File("song.tsn");
    const std::string wave = folder.File("song.wav");
    auto logText = [&] {
        const std::vector<uint8_t> text = ReadBytes(log);
        return "\nthe program's output:\n" + std::string(text.begin(), text.end());
    };

    {
        Session first(desktop, config, log);
        ASSERT_TRUE(first.Started()) << "windows: " << desktop.Titles() << logText();

        // Zorvil's outputs appear in JACK's graph; a recorder listens to them.
        JackTestClient recorder;
        ASSERT_TRUE(recorder.Open());
        ASSERT_TRUE(PollUntil([&] { return recorder.PortExists("Zorvil:out_2"); }, 20s))
            << logText();
        ASSERT_TRUE(recorder.Connect("Zorvil:out_1", "ZorvilTest:in_1") &&
                    recorder.Connect("Zorvil:out_2", "ZorvilTest:in_2"));

        // L: the load command's file dialog; our synth loads and its own editor shows inside
        // the main window (the fill of its sliders).
        constexpr uint32_t kSynthEditorFill = 0x4fa3d8;
        ASSERT_FALSE(first.ShowsColour(kSynthEditorFill));
        ASSERT_TRUE(first.ThroughFileDialog({"l"}, PluginPath("zorvil-synth"))) << desktop.Titles();
        EXPECT_TRUE(PollUntil([&] { return first.ShowsColour(kSynthEditorFill); }, 20s))
            << "no synth editor after the load" << logText();

        // File > Open (Ctrl+O): the demo project with its synth.
        ASSERT_TRUE(first.ThroughFileDialog({"ctrl+o"}, demo)) << desktop.Titles();
        ASSERT_TRUE(first.WaitForTitle(std::string(kMainTitle) + " - " + demo)) << first.Title();

        // Draw: a click on an empty cell adds a one-step note; dragging its right end makes it
        // longer.
        const auto grid = first.FindGrid();
        ASSERT_TRUE(grid) << "no piano roll in the main window";
        ASSERT_TRUE(desktop.Click(first.Main(), grid->X(kLongNote.step), grid->Y(kDrawnKey)));
        ASSERT_TRUE(desktop.Drag(first.Main(), grid->left + Grid::kCellWidth - 3,
                                 grid->Y(kDrawnKey), grid->X(kLongNote.length - 1),
                                 grid->Y(kDrawnKey)));
        ASSERT_TRUE(desktop.Click(first.Main(), grid->X(kShortNote.step), grid->Y(kDrawnKey)));
        EXPECT_TRUE(PollUntil(
            [&] {
                return first.ShowsNote(*grid, kLongNote.length - 1, kDrawnKey) &&
                       first.ShowsNote(*grid, kShortNote.step, kDrawnKey) &&
                       !first.ShowsNote(*grid, kLongNote.length, kDrawnKey);
            },
            5s));

        // Stopped, Zorvil plays silence.
        const size_t silentFrom = recorder.AudioFrames(0);
        ASSERT_TRUE(
            recorder.WaitFor([&] { return recorder.AudioFrames(0) > silentFrom + 4410; }, 10s));
        const std::vector<float> before = recorder.Audio(0);
        EXPECT_TRUE(std::all_of(before.begin() + static_cast<ptrdiff_t>(silentFrom), before.end(),
                                [](float s) { return s == 0.0f; }));

        // Space plays: the first second holds the long drawn note. Its middle is measured, away
        // from the notes' starts and ends; a semitone is 21 Hz away, and a loaded machine may
        // let a buffer or two of Zorvil's output run dry, which smears the peak a little.
        ASSERT_TRUE(first.Keys({"space"}));
        auto onset = [&](const std::vector<float>& samples) {
            return std::find_if(samples.begin() + static_cast<ptrdiff_t>(silentFrom), samples.end(),
                                [](float s) { return std::abs(s) > 1e-4f; }) -
                   samples.begin();
        };
        constexpr ptrdiff_t kSecond = 44100;
        ASSERT_TRUE(recorder.WaitFor(
            [&] {
                const auto left = recorder.Audio(0);
                const auto right = recorder.Audio(1);
                return onset(left) + kSecond < static_cast<ptrdiff_t>(left.size()) &&
                       onset(right) + kSecond < static_cast<ptrdiff_t>(right.size());
            },
            20s))
            << "no sound reached JACK within 20 s" << logText();
        ASSERT_TRUE(first.Keys({"space"})); // pause
        for (int channel = 0; channel < 2; ++channel) {
            const std::vector<float> played = recorder.Audio(channel);
            const std::span<const float> middle(played.data() + onset(played) + kSecond / 5,
                                                3 * kSecond / 5);
            EXPECT_NEAR(StrongestFrequency(middle, 44100.0, MidiFrequency(kDrawnKey) - 8,
                                           MidiFrequency(kDrawnKey) + 8),
                        MidiFrequency(kDrawnKey), 3.0)
                << "channel " << channel;
            EXPECT_GT(FitTone(middle, MidiFrequency(kDrawnKey), 44100.0).amplitude, 0.01)
                << "channel " << channel;
        }

        // Options > Devices...: "Select devices"; the buffer size goes one entry down the list
        // (from 2205 to 2100 samples) and OK stores it.
        ASSERT_TRUE(first.Keys({"alt+o", "d"}));
        const auto devices = desktop.WaitForWindow(
            [](const std::string& title) { return title == "Select devices"; }, 30s);
        ASSERT_TRUE(devices) << desktop.Titles();
        ASSERT_TRUE(desktop.Keys({"alt+b", "Down", "Return"}));
        ASSERT_TRUE(desktop.WaitUntilHidden(*devices, 10s));
        EXPECT_TRUE(PollUntil(
            [&] {
                return profile.GetInt(platform::settings::kSection,
                                      platform::settings::kWaveOutBufSize, 0) == 2100;
            },
            10s));

        // Save As (Ctrl+A) under a new name: the title follows, the file holds the drawn notes
        // beside the demo's and the synth.
        ASSERT_TRUE(first.ThroughFileDialog({"ctrl+a"}, song)) << desktop.Titles();
        ASSERT_TRUE(first.WaitForTitle(std::string(kMainTitle) + " - " + song)) << first.Title();
        const ProjectFileReadResult saved = ReadProjectFile(song);
        ASSERT_EQ(saved.read.status, ProjectReadStatus::Ok);
        const auto& notes = saved.read.image.notes;
        EXPECT_NE(std::find(notes.begin(), notes.end(), kLongNote), notes.end());
        EXPECT_NE(std::find(notes.begin(), notes.end(), kShortNote), notes.end());
        EXPECT_EQ(notes.size(), ReadProjectFile(demo).read.image.notes.size() + 2);
        EXPECT_EQ(saved.read.image.effects.size(), 1u);

        EXPECT_EQ(first.Quit(), 0) << logText();
    }

    // Started again: the saved project opens with the drawn notes and renders to a wave file
    // of exactly the pattern's length.
    Session second(desktop, config, log);
    ASSERT_TRUE(second.Started()) << logText();
    ASSERT_EQ(second.Title(), kMainTitle);
    ASSERT_TRUE(second.ThroughFileDialog({"ctrl+o"}, song)) << desktop.Titles();
    ASSERT_TRUE(second.WaitForTitle(std::string(kMainTitle) + " - " + song)) << second.Title();
    const auto grid = second.FindGrid();
    ASSERT_TRUE(grid);
    EXPECT_TRUE(PollUntil([&] { return second.ShowsNote(*grid, kShortNote.step, kDrawnKey); }, 5s));

    const ProjectImage image = ReadProjectFile(song).read.image;
    const CSettings settings(&profile);
    const RenderPlan plan = MakeRenderPlan(image.measures, image.tempo, settings.WaveOutBufSize(),
                                           settings.RenderAdjust());
    const auto expectedSize =
        kWaveHeaderSize + static_cast<size_t>(plan.totalFrames) * kRenderBytesPerFrame;
    ASSERT_TRUE(second.ThroughFileDialog({"ctrl+w"}, wave)) << desktop.Titles();
    // The render runs in real time, as long as the pattern (16 s for the demo's 8 measures),
    // and says when it is done.
    const auto done = desktop.WaitForWindow(
        [](const std::string& title) { return title.rfind(kMainTitle, 0) != 0; }, 90s);
    ASSERT_TRUE(done) << "no message at the render's end; windows: " << desktop.Titles();
    ASSERT_TRUE(desktop.Keys({"Return"}));
    ASSERT_TRUE(desktop.WaitUntilHidden(*done, 10s));
    EXPECT_EQ(second.Quit(), 0) << logText();
    EXPECT_EQ(std::filesystem::file_size(wave), expectedSize);
}

} // namespace
} // namespace zorvil::test
