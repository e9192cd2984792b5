// The main frame's tests: an application on a manual clock with a temporary profile (as the
// application tests use) and a main frame around it, on Qt's offscreen platform.
#pragma once

#include "app/app_test_support.h"
#include "gui/app/main_frame.h"
#include "gui/app/qt_user_interface.h"
#include "gui/gui_application.h"
#include "modal_answers.h"

#include <QTest>

#include <memory>

namespace zorvil::test {

class FrameFixture : public AppFixture {
protected:
    FrameFixture() { GuiApplication(); }
    ~FrameFixture() override {
        m_frame.reset();
        if (m_app) m_app->ExitInstance();
    }

    // The frame, shown (its first showing adds the sequencer), around an application started
    // with `commandLine`.
    CMainFrame& Frame(const std::string& commandLine = {}) {
        if (!m_frame) {
            m_frame = std::make_unique<CMainFrame>(App(), m_qtUi);
            m_frame->move(40, 30);
            m_frame->show();
            // The keys reach the commands only in the active window.
            m_frame->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
            App().InitInstance(commandLine);
            m_frame->UpdateCommandStates();
        }
        return *m_frame;
    }

    QAction* Action(uint32_t id) { return Frame().Commands().Action(id); }
    bool Enabled(uint32_t id) { return Action(id)->isEnabled(); }

    CQtUserInterface m_qtUi;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace zorvil::test
