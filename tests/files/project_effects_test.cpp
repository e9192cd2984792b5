// Effect records of projects with our real plug-ins: capture from one host, apply in another.
#include "files/project_effects.h"

#include "file_test_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using test::PluginPath;

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
    Session session;
    EXPECT_EQ(session.effects.Apply(read.image.effects), (std::vector<int>{0}));
    CSeqEffect& chunkProbe = *session.host.GetSeqEffect(0);
    EXPECT_EQ(chunkProbe.Dispatch(effGetProgram), 1);
    EXPECT_FLOAT_EQ(test::ProgramValue(chunkProbe, 1, 1), 0.4375f);
}

TEST(ProjectEffects, DamagedRecordsAreSkippedAndTheRestLoads) {
    const std::string full(256, 'x'); // a read path that filled its whole field
    const std::vector<EffectImage> records = {
        {"/no/such/plugin.so", 0, {1, 2, 3}},
        {full, 0, {}},
        {PluginPath("zorvil-probe"), 7, {}}, // no bank, a program it does not have
        {PluginPath("zorvil-probe"), 1, {}},
    };
    Session session;
    EXPECT_EQ(session.effects.Apply(records), (std::vector<int>{0, 1}));
    EXPECT_EQ(session.host.GetSeqEffect(0)->Dispatch(effGetProgram), 0);
    EXPECT_EQ(session.host.GetSeqEffect(1)->Dispatch(effGetProgram), 1);
    EXPECT_EQ(test::MessageTexts(session.ui),
              (std::vector<std::string>{"Can't load the plug-in /no/such/plugin.so",
                                        LibraryPathTooLongMessage(full), "Bank could not be loaded",
                                        "Bank could not be loaded"}));
}

} // namespace
} // namespace zorvil
