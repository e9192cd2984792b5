#include "synth/synth_editor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>

namespace zorvil::plugins {

namespace {

constexpr int kMargin = 16;
constexpr int kTitleHeight = 40;
constexpr int kSliderHeight = 14;
constexpr int kRowHeight = 48;
constexpr int kTextGap = 6;

constexpr unsigned long kBackground = 0x20242c;
constexpr unsigned long kTrack = 0x3a404c;
constexpr unsigned long kFill = 0x4fa3d8;
constexpr unsigned long kText = 0xe8e8e8;

Display* AsDisplay(void* display) noexcept {
    return static_cast<Display*>(display);
}
GC AsGc(void* gc) noexcept {
    return static_cast<GC>(gc);
}

} // namespace

SynthEditor::~SynthEditor() {
    Close();
}

bool SynthEditor::Open(uintptr_t parent) {
    if (IsOpen() || parent == 0) return false;
    Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    m_display = display;
    const int width = m_rect.right - m_rect.left;
    const int height = m_rect.bottom - m_rect.top;
    m_window = XCreateSimpleWindow(display, static_cast<Window>(parent), 0, 0,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   0, kBackground);
    XSelectInput(display, m_window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask);
    m_gc = XCreateGC(display, m_window, 0, nullptr);
    XMapWindow(display, m_window);
    XFlush(display);
    m_dirty = true;
    return true;
}

void SynthEditor::Close() {
    if (!IsOpen()) return;
    Display* const display = AsDisplay(m_display);
    XFreeGC(display, AsGc(m_gc));
    XDestroyWindow(display, m_window);
    XCloseDisplay(display); // flushes the requests above
    m_display = nullptr;
    m_gc = nullptr;
    m_window = 0;
    m_dragging = -1;
}

int SynthEditor::SliderTop(int32_t index) const noexcept {
    return kTitleHeight + index * kRowHeight + kRowHeight - kSliderHeight - kTextGap;
}

void SynthEditor::Idle() {
    if (!IsOpen()) return;
    Display* const display = AsDisplay(m_display);
    while (XPending(display) > 0) {
        XEvent event{};
        XNextEvent(display, &event);
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) m_dirty = true;
            break;
        case ButtonPress:
            HandleButton(event.xbutton.x, event.xbutton.y, true);
            break;
        case ButtonRelease:
            HandleButton(event.xbutton.x, event.xbutton.y, false);
            break;
        case MotionNotify:
            HandleMotion(event.xmotion.x);
            break;
        default:
            break;
        }
    }
    // Values the host or the engine changed show too.
    const int32_t count = std::min(m_controller.ParameterCount(), kMaxParameters);
    for (int32_t i = 0; i < count; ++i) {
        if (m_controller.ParameterValue(i) != m_drawnValues[static_cast<std::size_t>(i)])
            m_dirty = true;
    }
    if (m_controller.ProgramText() != m_drawnProgram) m_dirty = true;
    if (m_dirty) Draw();
}

void SynthEditor::HandleButton(int x, int y, bool press) {
    if (!press || x < 0) {
        m_dragging = -1;
        return;
    }
    const int32_t count = std::min(m_controller.ParameterCount(), kMaxParameters);
    for (int32_t i = 0; i < count; ++i) {
        const int top = SliderTop(i);
        if (y >= top - kTextGap && y <= top + kSliderHeight + kTextGap) {
            m_dragging = i;
            HandleMotion(x);
            return;
        }
    }
}

void SynthEditor::HandleMotion(int x) {
    if (m_dragging < 0) return;
    const int width = (m_rect.right - m_rect.left) - 2 * kMargin;
    const float value =
        std::clamp(static_cast<float>(x - kMargin) / static_cast<float>(width), 0.0f, 1.0f);
    m_controller.ChangeParameter(m_dragging, value);
    m_dirty = true;
}

void SynthEditor::Draw() {
    Display* const display = AsDisplay(m_display);
    GC const gc = AsGc(m_gc);
    const int width = m_rect.right - m_rect.left;
    const int height = m_rect.bottom - m_rect.top;
    XSetForeground(display, gc, kBackground);
    XFillRectangle(display, m_window, gc, 0, 0, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));

    XSetForeground(display, gc, kText);
    m_drawnProgram = m_controller.ProgramText();
    const std::string title = "Zorvil Demo Synth - " + m_drawnProgram;
    XDrawString(display, m_window, gc, kMargin, kMargin + 10, title.c_str(),
                static_cast<int>(title.size()));

    const int32_t count = std::min(m_controller.ParameterCount(), kMaxParameters);
    const int trackWidth = width - 2 * kMargin;
    for (int32_t i = 0; i < count; ++i) {
        const float value = m_controller.ParameterValue(i);
        m_drawnValues[static_cast<std::size_t>(i)] = value;
        const int top = SliderTop(i);
        const std::string text = m_controller.ParameterText(i);
        XSetForeground(display, gc, kText);
        XDrawString(display, m_window, gc, kMargin, top - kTextGap, text.c_str(),
                    static_cast<int>(text.size()));
        XSetForeground(display, gc, kTrack);
        XFillRectangle(display, m_window, gc, kMargin, top, static_cast<unsigned>(trackWidth),
                       kSliderHeight);
        XSetForeground(display, gc, kFill);
        const auto filled =
            static_cast<unsigned>(std::lround(value * static_cast<float>(trackWidth)));
        if (filled > 0) XFillRectangle(display, m_window, gc, kMargin, top, filled, kSliderHeight);
    }
    const char hint[] = "z: size";
    XSetForeground(display, gc, kTrack);
    XDrawString(display, m_window, gc, width - kMargin - 42, height - kTextGap, hint,
                sizeof hint - 1);
    XFlush(display);
    m_dirty = false;
}

bool SynthEditor::KeyDown(int32_t character) {
    if (character != kSizeKey) return false;
    const bool large = (m_rect.right - m_rect.left) == kLargeWidth;
    SetSize(large ? kWidth : kLargeWidth, large ? kHeight : kLargeHeight);
    return true;
}

void SynthEditor::SetSize(int width, int height) {
    m_rect = {.top = 0,
              .left = 0,
              .bottom = static_cast<int16_t>(height),
              .right = static_cast<int16_t>(width)};
    if (IsOpen()) {
        XResizeWindow(AsDisplay(m_display), m_window, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        m_dirty = true;
    }
    m_controller.RequestSize(width, height);
}

} // namespace zorvil::plugins
