// SynthEditor: the demo synth's own editor, an X11 window drawn with plain Xlib.
//
// The host hands over its parent window's id (effEditOpen); the editor opens its own connection
// to the same display and makes a child window inside the parent, showing the program's name
// and one slider per parameter. Dragging a slider sets the parameter and tells the host
// (audioMasterAutomate). The key 'z' (given by the host through effEditKeyDown) switches between
// the normal and the large size and asks the host for the new size (audioMasterSizeWindow); the
// editor takes that key and leaves every other one to the host. Everything happens in the
// host's idle calls (effEditIdle): X events are read and the window is redrawn when the values
// it shows have changed, whoever changed them.
//
//     SynthEditor editor(controller);
//     if (editor.Open(parentXid)) ...      // false: no display
//     editor.Idle();                       // from effEditIdle, on the host's window thread
//
// Threads: the host's user-interface thread only (the parameter values it reads are atomics).
#pragma once

#include "host/vst2_interface.h"

#include <array>
#include <cstdint>
#include <string>

namespace zorvil::plugins {

// What the editor needs of its plug-in.
class SynthEditorController {
public:
    virtual ~SynthEditorController() = default;
    virtual int32_t ParameterCount() const noexcept = 0;
    virtual float ParameterValue(int32_t index) const noexcept = 0;
    virtual std::string ParameterText(int32_t index) const = 0; // name, value and label
    virtual std::string ProgramText() const = 0;
    // The user moved a control: set the value and tell the host.
    virtual void ChangeParameter(int32_t index, float value) = 0;
    // Asks the host for an editor of this size; true when it agreed.
    virtual bool RequestSize(int width, int height) = 0;
};

class SynthEditor {
public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 200;
    static constexpr int kLargeWidth = 420;
    static constexpr int kLargeHeight = 280;
    static constexpr int32_t kSizeKey = 'z';

    explicit SynthEditor(SynthEditorController& controller) : m_controller(controller) {}
    ~SynthEditor();
    SynthEditor(const SynthEditor&) = delete;
    SynthEditor& operator=(const SynthEditor&) = delete;

    // The editor's rectangle at its current size.
    const ERect& Rect() const noexcept { return m_rect; }
    bool Open(uintptr_t parent);
    void Close();
    bool IsOpen() const noexcept { return m_display != nullptr; }
    void Idle();
    // effEditKeyDown: true when the editor takes the key.
    bool KeyDown(int32_t character);

private:
    static constexpr int kMaxParameters = 8;

    void Draw();
    void HandleButton(int x, int y, bool press);
    void HandleMotion(int x);
    int SliderTop(int32_t index) const noexcept;
    void SetSize(int width, int height);

    SynthEditorController& m_controller;
    ERect m_rect{.top = 0, .left = 0, .bottom = kHeight, .right = kWidth};
    // Xlib's handles, kept opaque here so that users of this header need no X headers.
    void* m_display = nullptr;
    unsigned long m_window = 0;
    void* m_gc = nullptr;
    int32_t m_dragging = -1;
    std::array<float, kMaxParameters> m_drawnValues{};
    std::string m_drawnProgram;
    bool m_dirty = true;
};

} // namespace zorvil::plugins
