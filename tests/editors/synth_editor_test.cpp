// Plug-in editors embedded for real, under Xvfb: our demo synth's Xlib editor (drawing, mouse,
// its size key, close) and Debian's DPF plug-ins where they are installed.
#include "gui/effect_window_fixture.h"
#include "gui/host/child_frame.h"
#include "gui/host/effect_wnd.h"
#include "xvfb_application.h"

#include <QMdiArea>
#include <QtGui/qguiapplication_platform.h>
#include <gmock/gmock.h>

#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <vector>

// Last: Xlib's macros (None, Status, KeyPress) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zorvil::test {
namespace {

// A connection of the test's own, to look at the windows as the X server sees them.
struct XConnection {
    XConnection() : display(XOpenDisplay(nullptr)) {}
    ~XConnection() {
        if (display != nullptr) XCloseDisplay(display);
    }
    std::vector<Window> Children(Window parent) const {
        Window root = 0;
        Window up = 0;
        Window* list = nullptr;
        unsigned count = 0;
        std::vector<Window> children;
        if (XQueryTree(display, parent, &root, &up, &list, &count) != 0 && list != nullptr) {
            children.assign(list, list + count);
            XFree(list);
        }
        return children;
    }
    QSize Size(Window window) const {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        return {attributes.width, attributes.height};
    }
    QPoint ScreenPosition(Window window) const {
        int x = 0;
        int y = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        return {x, y};
    }
    unsigned long Pixel(Window window, int x, int y) const {
        XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return ~0ul;
        const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    }
    void Click(Window window, int x, int y) const {
        for (const int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.window = window;
            event.xbutton.x = x;
            event.xbutton.y = y;
            event.xbutton.button = Button1;
            event.xbutton.same_screen = True;
            XSendEvent(display, window, False,
                       type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
        }
        XSync(display, False);
    }
    Display* display;
};

// The synth editor's colours and its first slider's place (plugins/synth/synth_editor.cpp).
constexpr unsigned long kFill = 0x4fa3d8;
constexpr unsigned long kTrack = 0x3a404c;
constexpr int kSliderLeft = 16;
constexpr int kSliderWidth = 300 - 2 * 16;
constexpr int kFirstSliderMiddle = 40 + 48 - 14 - 6 + 7;

class EditorTest : public EffectWindowFixture {
protected:
    // Large enough that no editor is clipped: X keeps no pixels of hidden parts.
    CChildFrame& LoadLarge(const std::string& library) {
        Frame().resize(1200, 780);
        return LoadWithFrame(library);
    }
    // The idle calls the program's timer makes, with the events they answer.
    void Idle(CSeqEffect& effect, int times = 5) {
        for (int i = 0; i < times; ++i) {
            QCoreApplication::processEvents();
            if (effect.m_bEditorOpen.load()) effect.Dispatch(effEditIdle);
            SyncAll();
        }
    }
    // Qt's requests and ours have reached the server.
    void SyncAll() {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            XSync(x11->display(), False);
        XSync(m_x.display, False);
    }
    XConnection m_x;
};

// Our synth's editor, then (where installed, and not under the leak checker: their editors draw
// through OpenGL, whose driver library is unloaded before the exit, so its leaks can be named by
// no suppression) Debian's Nekobi and 3BandEQ beside it.
TEST_F(EditorTest, EditorsLiveInTheirWindowsDrawFollowTheMouseResizeTileAndClose) {
    ASSERT_NE(m_x.display, nullptr);
    const int errorsBefore = XErrorCount();
    CChildFrame& owner = LoadLarge(PluginPath("zorvil-synth"));
    owner.OpenEditor(); // a synth's editor opened when it loaded: this finds it
    CEffectWnd* synth = owner.EditorWindow();
    ASSERT_NE(synth, nullptr);
    synth->move(0, 0);
    CSeqEffect& effect = Effect();
    EXPECT_TRUE(effect.m_bEditorOpen.load());
    EXPECT_EQ(synth->windowTitle(), "Zorvil Demo Synth - Preset : Soft Pad");
    Idle(effect);

    // The editor is an X child of the window's native widget, at its rectangle's size.
    const auto parent = static_cast<Window>(synth->EditorParent()->winId());
    const std::vector<Window> children = m_x.Children(parent);
    ASSERT_EQ(children.size(), 1u);
    const Window editor = children[0];
    EXPECT_EQ(m_x.Size(editor), QSize(300, 200));
    EXPECT_EQ(synth->EditorParent()->size(), QSize(300, 200));

    // Volume of "Soft Pad" (-6 dB, about 0.71 of the way): filled at the left, not at the right.
    EXPECT_EQ(m_x.Pixel(editor, kSliderLeft + 4, kFirstSliderMiddle), kFill);
    EXPECT_EQ(m_x.Pixel(editor, kSliderLeft + kSliderWidth - 4, kFirstSliderMiddle), kTrack);

    // A click at a quarter sets the parameter; the slider shows it at the next idle call.
    m_x.Click(editor, kSliderLeft + kSliderWidth / 4, kFirstSliderMiddle);
    Idle(effect);
    EXPECT_NEAR(effect.GetParameter(0), 0.25f, 0.01f);
    EXPECT_EQ(m_x.Pixel(editor, kSliderLeft + kSliderWidth / 2, kFirstSliderMiddle), kTrack);

    // 'z' is the editor's: it grows and asks the host for the size (audioMasterSizeWindow); the
    // request reaches the window on this thread when the posted work is run.
    synth->EditorParent()->setFocus();
    QTest::keyClick(synth->EditorParent(), Qt::Key_Z);
    Idle(effect);
    EXPECT_EQ(m_x.Size(editor), QSize(420, 280));
    App().ProcessPosted();
    QCoreApplication::processEvents();
    EXPECT_EQ(synth->EditorParent()->size(), QSize(420, 280));

    std::vector<CEffectWnd*> windows{synth};
#if !defined(__SANITIZE_ADDRESS__)
    for (const char* library : {"/usr/lib/vst/Nekobi-vst.so", "/usr/lib/vst/3BandEQ-vst.so"}) {
        if (!std::filesystem::exists(library)) continue;
        CChildFrame& other = LoadLarge(library);
        // Kept mapped after the unload, so that a sanitizer's report at exit can name it.
        dlopen(library, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        other.OpenEditor();
        ASSERT_NE(other.EditorWindow(), nullptr) << library;
        windows.push_back(other.EditorWindow());
    }
#endif
    Frame().MdiArea()->tileSubWindows();
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents();
        for (int slot = 0; slot < static_cast<int>(windows.size()); ++slot)
            App().Host().GetSeqEffect(slot)->Dispatch(effEditIdle);
        SyncAll();
    }
    for (CEffectWnd* window : windows) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        const std::vector<Window> shown =
            m_x.Children(static_cast<Window>(window->EditorParent()->winId()));
        ASSERT_FALSE(shown.empty());
        // Tiling moved the sub-windows: each editor moved with its own.
        EXPECT_EQ(m_x.ScreenPosition(shown[0]), window->EditorParent()->mapToGlobal(QPoint(0, 0)));
        // The window holds the editor whole, however the plug-in sized itself.
        window->FitToEditor(nullptr);
        QCoreApplication::processEvents();
        EXPECT_EQ(window->EditorParent()->size(), window->ClientRect().size());
    }
    // What the screen shows there is the editor: our synth's volume slider.
    const QPoint slider =
        synth->EditorParent()->mapToGlobal(QPoint(kSliderLeft + 4, kFirstSliderMiddle));
    EXPECT_EQ(m_x.Pixel(DefaultRootWindow(m_x.display), slider.x(), slider.y()), kFill);

    // Closing closes the editor: its X window goes, without an X error.
    synth->close();
    XSync(m_x.display, False);
    EXPECT_TRUE(m_x.Children(parent).empty());
    EXPECT_EQ(XErrorCount(), errorsBefore);
    for (CEffectWnd* window : windows)
        if (window != synth) window->close();
    QCoreApplication::processEvents();
}

} // namespace
} // namespace zorvil::test
