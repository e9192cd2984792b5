// The editor window on the offscreen platform, with the recording probe's editor (300 x 200, an
// empty product string, takes 'x' and Space): opening, sizes, title, system menu, keys, close.
#include "effect_window_fixture.h"
#include "gui/app/commands.h"
#include "gui/host/child_frame.h"
#include "gui/host/effect_wnd.h"
#include "host/probe_access.h"

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>

#include <gmock/gmock.h>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using EffectWndTest = EffectWindowFixture;

TEST_F(EffectWndTest, OpensAtItsEditorsSizeNeverGrowsPastItAndClosesTheEditorUnderTheLock) {
    EXPECT_EQ(CEffectWnd::OpenEditorWindow(LoadWithFrame(PluginPath("zorvil-probe"))), nullptr)
        << "a plug-in without an editor gets no window";
    CChildFrame& owner = LoadWithFrame(PluginPath("zorvil-probe-editor"));
    ProbeAccess probe("zorvil-probe-editor");
    ASSERT_TRUE(probe.Valid());
    probe.Clear(Effect());
    CEffectWnd* window = CEffectWnd::OpenEditorWindow(owner);
    ASSERT_NE(window, nullptr);
    QCoreApplication::processEvents();

    // effEditGetRect, effEditOpen into the native child's window, the rectangle again, the names.
    EXPECT_THAT(probe.Log(Effect()), HasSubstr("dispatch 13 0 0 0\ndispatch 14 0 0 0\n"));
    EXPECT_TRUE(Effect().m_bEditorOpen.load());
    EXPECT_EQ(window->widget()->size(), QSize(300, 200)); // exactly its rectangle
    EXPECT_EQ(window->windowTitle(), "zorvil-probe-editor - Preset : Probe A");
    // The system menu: the preset and bank items, then only Move and Close of Qt's.
    std::vector<std::string> items;
    for (QAction* action : window->systemMenu()->actions())
        items.push_back(action->isSeparator() ? "-" : action->text().remove(u'&').toStdString());
    EXPECT_THAT(items, ElementsAre("Presets...", "Rename preset...", "-", "Load Bank...",
                                   "Save Bank", "Save Bank As...", "-", "Move", "Close"));

    // Cascade (or any size change) larger than the editor: back to the editor's size at once;
    // smaller stays.
    const QSize full = window->size();
    Frame().MdiArea()->cascadeSubWindows();
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->resize(full + QSize(120, 80));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), full);
    window->resize(full.width() + 50, full.height() - 30);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(full.width(), full.height() - 30));

    // Closing sends effEditClose and leaves the effect's lock free.
    probe.Clear(Effect());
    QPointer<CEffectWnd> guard(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    if (CSeqEffect* effect = App().Host().GetSeqEffect(m_slot)) {
        EXPECT_THAT(probe.Log(*effect), HasSubstr("dispatch 15 0 0 0\n"));
        EXPECT_FALSE(effect->m_bEditorOpen.load());
        EXPECT_TRUE(effect->GetLock().try_lock());
        effect->GetLock().unlock();
    } else {
        EXPECT_EQ(App().EffectRecord(m_slot).libraryPath, "");
    }
}

TEST_F(EffectWndTest, KeysGoToThePlugInFirstAndTheHostKeepsWhatItLeaves) {
    CEffectWnd* window =
        CEffectWnd::OpenEditorWindow(LoadWithFrame(PluginPath("zorvil-probe-editor")));
    ASSERT_NE(window, nullptr);
    Frame().MdiArea()->setActiveSubWindow(window);
    window->EditorParent()->setFocus();
    ProbeAccess probe("zorvil-probe-editor");
    QSignalSpy started(Action(command::kStartStop), &QAction::triggered);
    QSignalSpy wentToStart(Action(command::kGoToStartKey), &QAction::triggered);

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* sent; // effEditKeyDown then effEditKeyUp, when the press reaches the window
    } cases[] = {
        {Qt::Key_A, Qt::ShiftModifier, "dispatch 59 97 0 1\ndispatch 60 97 0 1\n"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier,
         "dispatch 59 122 0 10\ndispatch 60 122 0 10\n"},
        // Taken by the plug-in: the sequencer does not start.
        {Qt::Key_Space, Qt::NoModifier, "dispatch 59 32 7 0\ndispatch 60 32 7 0\n"},
        // Left by the plug-in: the main frame's "Go to start" runs.
        {Qt::Key_0, Qt::KeypadModifier, "dispatch 59 96 24 0\n"},
    };
    for (const auto& c : cases) {
        probe.Clear(Effect());
        QTest::keyClick(window->EditorParent(), c.key, c.modifiers);
        EXPECT_THAT(probe.Log(Effect()), HasSubstr(c.sent)) << c.sent;
        // Offered once: the press is not sent a second time.
        const std::string log = probe.Log(Effect());
        const std::string press(c.sent, std::string_view(c.sent).find('\n') + 1);
        EXPECT_EQ(log.find(press), log.rfind(press)) << log;
    }
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(wentToStart.count(), 1);
}

} // namespace
} // namespace zorvil::test
