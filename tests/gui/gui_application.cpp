#include "gui_application.h"

#include <gtest/gtest.h>
#include <memory>

namespace zorvil::test {

namespace {

class GuiEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { app.reset(); }

    std::unique_ptr<QApplication> app;

private:
    int argc = 1;
    char name[9] = "test_gui";
    char* argv[2] = {name, nullptr};
};

GuiEnvironment* const environment = [] {
    auto* made = new GuiEnvironment; // owned by GoogleTest
    ::testing::AddGlobalTestEnvironment(made);
    return made;
}();

} // namespace

QApplication& GuiApplication() {
    return *environment->app;
}

} // namespace zorvil::test
