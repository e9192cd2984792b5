// Effect records of projects with our real plug-ins: capture from one host, apply in another.
#include "files/project_effects.h"

#include "host/probe_access.h"
#include "program_value.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"
#include "temp_dir.h"

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

TEST(ProjectEffects, TheSynthsParametersAndProgramSurviveAFile) {
    test::TempDir dir;
    const std::string path = dir.File("synth.tsn");
    ProjectImage image;
    image.notes = {{0, 60, 100, 4}, {255, 72, 90, 1}};
    {
        Session session;
        const int slot = session.host.LoadPlugin(PluginPath("zorvil-synth"));
        ASSERT_EQ(slot, 0);
        CSeqEffect& synth = *session.host.GetSeqEffect(slot);
        synth.Dispatch(effSetProgram, 0, 0);
        synth.SetParameter(1, 0.125f);
        synth.Dispatch(effSetProgram, 0, 2);
        synth.SetParameter(0, 0.75f);
        synth.SetParameter(2, 0.0625f);
        image.effects = session.effects.Capture();
        ASSERT_EQ(image.effects.size(), 1u);
        EXPECT_EQ(image.effects[0].libraryPath, PluginPath("zorvil-synth"));
        EXPECT_EQ(image.effects[0].program, 2);
        EXPECT_EQ(image.effects[0].bank.size(), 156u + 3u * (56u + 12u));
        ASSERT_EQ(WriteProjectFile(path, image), platform::FileErrorCause::None);
    }
    const auto read = ReadProjectFile(path);
    ASSERT_EQ(read.read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(read.read.image, image);

    Session session;
    EXPECT_EQ(session.effects.Apply(read.read.image.effects), (std::vector<int>{0}));
    CSeqEffect& synth = *session.host.GetSeqEffect(0);
    EXPECT_EQ(synth.Dispatch(effGetProgram), 2);
    EXPECT_FLOAT_EQ(ProgramValue(synth, 0, 1), 0.125f);
    EXPECT_FLOAT_EQ(ProgramValue(synth, 2, 0), 0.75f);
    EXPECT_FLOAT_EQ(ProgramValue(synth, 2, 2), 0.0625f);
    EXPECT_TRUE(session.ui.MessageBoxes().empty());
}

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

TEST(ProjectEffects, CaptureReplacesTheStoredImageAndClearSlotForgetsIt) {
    Session session;
    ASSERT_EQ(session.host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    session.effects.Store(0).SetStoredImage(std::vector<uint8_t>{4, 5, 6});
    // The probe builds its bank: the stored image is replaced.
    auto effects = session.effects.Capture();
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].bank.size(), 292u);
    session.effects.ClearSlot(0);
    EXPECT_TRUE(session.effects.Store(0).StoredImage().empty());
}

} // namespace
} // namespace zorvil
