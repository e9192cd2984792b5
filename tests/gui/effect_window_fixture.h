// The effect windows' tests: a main frame (FrameFixture) and an effect loaded into a slot with
// its information window, made the way the main frame makes one when it has none yet.
#pragma once

#include "frame_test_support.h"
#include "gui/host/child_frame.h"
#include "support/test_support.h"

#include <QMdiArea>

#include <string>

namespace zorvil::test {

class EffectWindowFixture : public FrameFixture {
protected:
    // Loads `library` and returns the slot's information window.
    CChildFrame& LoadWithFrame(const std::string& library) {
        Frame();
        m_slot = App().LoadEffect(library);
        EXPECT_GE(m_slot, 0);
        auto* frame = dynamic_cast<CChildFrame*>(App().EffectRecord(m_slot).frame);
        if (frame == nullptr) {
            frame = new CChildFrame(App(), Frame());
            Frame().MdiArea()->addSubWindow(frame);
            App().AttachEffectFrame(m_slot, frame);
            frame->AttachEffect(m_slot);
        }
        return *frame;
    }
    CSeqEffect& Effect() { return *App().Host().GetSeqEffect(m_slot); }

    int m_slot = -1;
};

} // namespace zorvil::test
