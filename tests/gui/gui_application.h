// The one QApplication of the window tests: made before the first test (on the offscreen
// platform, which the test environment selects) and destroyed after the last one, before the
// program's static objects go, so that Qt's own clean-up runs in order.
#pragma once

#include <QApplication>

namespace zorvil::test {

// The application; valid from the first test's start to the last one's end.
QApplication& GuiApplication();

} // namespace zorvil::test
