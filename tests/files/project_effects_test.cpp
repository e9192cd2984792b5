// Effect records of projects with our real plug-ins: capture from one host, apply in another.
#include "files/project_effects.h"

#include "host/probe_access.h"
#include "program_value.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace zorvil {
namespace {

using test::PluginPath;

using test::ProgramValue;

// A host with the project's effects on it, one at a time (only one host may exist).
struct Session {
    test::ScriptedUserInterface ui;
    CSeqHost host;
    CProjectEffects effects{host, ui};
};

TEST(ProjectEffects, AChunkPluginRoundTripsAndSlotOrderIsKept) {
    ProjectImage image;
    {
        Session session;
        ASSERT_EQ(session.host.LoadPlugin(PluginPath("zorvil-probe")), 0);
        ASSERT_EQ(session.host.LoadPlugin(PluginPath("zorvil-probe-chunk")), 1);
        ASSERT_TRUE(session.host.RemoveEffect(0)); // slot 1 only: one record
        CSeqEffect& chunkProbe = *session.host.GetSeqEffect(1);
        chunkProbe.Dispatch(effSetProgram, 0, 1);
        chunkProbe.SetParameter(1, 0.4375f);
        image.effects = session.effects.Capture();
    }
    ASSERT_EQ(image.effects.size(), 1u);
    EXPECT_EQ(image.effects[0].program, 1);
    const auto read = ParseProject(*SerializeProject(image));
    ASSERT_EQ(read.image.effects.size(), 1u);

    Session session;
    EXPECT_EQ(session.effects.Apply(read.image.effects), (std::vector<int>{0}));
    CSeqEffect& chunkProbe = *session.host.GetSeqEffect(0);
    EXPECT_EQ(chunkProbe.Dispatch(effGetProgram), 1);
    EXPECT_FLOAT_EQ(ProgramValue(chunkProbe, 1, 1), 0.4375f);
}

TEST(ProjectEffects, DamagedRecordsAreSkippedAndTheRestLoads) {
    const std::vector<EffectImage> records = {
        {"/no/such/plugin.so", 0, {1, 2, 3}},
        {std::string(256, 'x'), 0, {}},
        {PluginPath("zorvil-probe"), 7, {}}, // no bank, a program it does not have
        {PluginPath("zorvil-probe"), 1, {}},
    };
    Session session;
    EXPECT_EQ(session.effects.Apply(records), (std::vector<int>{0, 1}));
    EXPECT_EQ(session.host.GetSeqEffect(0)->Dispatch(effGetProgram), 0);
    EXPECT_EQ(session.host.GetSeqEffect(1)->Dispatch(effGetProgram), 1);
    const auto messages = session.ui.MessageBoxes();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].text, "Can't load the plug-in /no/such/plugin.so");
    EXPECT_EQ(messages[1].text, LibraryPathTooLongMessage(std::string(256, 'x')));
    EXPECT_EQ(messages[2].text, "Bank could not be loaded");
    EXPECT_EQ(messages[3].text, "Bank could not be loaded");
}

} // namespace
} // namespace zorvil
