// The keyboard's lock indicators (Caps Lock, Num Lock, Scroll Lock) as the X server reports
// them, for the status bar's CAP, NUM and SCRL panes.
//
//     if (auto locks = ReadLockIndicators()) capsPane->setText(locks->caps ? "CAP" : "");
//
// Threads: the user-interface thread (it uses the program's X connection).
#pragma once

#include <optional>

namespace zorvil {

struct LockIndicators {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Nothing when the program does not run on an X display (Qt's offscreen platform, Wayland
// without XWayland) or the server has no such indicators.
std::optional<LockIndicators> ReadLockIndicators();

} // namespace zorvil
