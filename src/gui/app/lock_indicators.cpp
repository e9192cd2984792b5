#include "gui/app/lock_indicators.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

// Xlib last: its macros (None, Bool, Status, ...) must not reach Qt's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace zorvil {

namespace {

bool IndicatorOn(Display* display, const char* name, bool& found) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return false;
    int index = 0;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, &index, &on, nullptr, nullptr)) return false;
    found = true;
    return on == True;
}

} // namespace

std::optional<LockIndicators> ReadLockIndicators() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return std::nullopt;
    bool found = false;
    LockIndicators locks;
    locks.caps = IndicatorOn(display, "Caps Lock", found);
    locks.num = IndicatorOn(display, "Num Lock", found);
    locks.scroll = IndicatorOn(display, "Scroll Lock", found);
    if (!found) return std::nullopt;
    return locks;
}

} // namespace zorvil
