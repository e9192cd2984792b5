// The one QApplication of a window test program, made on first use (offscreen platform, as the
// test environment sets it) and kept until the program ends.
#pragma once

#include <QApplication>
#include <memory>

namespace zorvil::test {

inline QApplication& GuiApplication() {
    static std::unique_ptr<QApplication> app;
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    return *app;
}

} // namespace zorvil::test
