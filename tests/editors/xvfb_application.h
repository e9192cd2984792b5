// The editor tests' display: an Xvfb of their own with Qt on its X11 platform (see the .cpp).
// GuiApplication() (gui/gui_application.h) is the QApplication on it.
#pragma once

namespace zorvil::test {

// X errors raised on plug-ins' connections so far (logged, never fatal).
int XErrorCount();

} // namespace zorvil::test
