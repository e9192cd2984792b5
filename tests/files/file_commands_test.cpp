// The file commands as the windows call them: the dialogs they ask for (filter, extension,
// initial folder from the profile, whether a read-only target is refused) and what they do with
// the answer. (While the sequencer plays the main frame disables them.)
#include "file_commands_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ReadBytes;
using FileCommandsTest = test::FileCommandsFixture;
using test::Fields;
const std::string kBanks = "Vst Bank Files (.fxb)|*.fxb|All Files|*.*||";

TEST_F(FileCommandsTest, BankCommandsAskInTheBankFolderReuseTheBankFileAndRestoreEveryProgram) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    CSeqEffect& probe = *host.GetSeqEffect(0);
    probe.Dispatch(effSetProgram, 0, 1);
    probe.SetParameter(2, 0.875f);
    const std::string first = dir.File("first.fxb");

    // Save with no bank file yet falls back to Save As.
    ui.AnswerSaveFile(first);
    Commands().OnSaveBank(0);
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(Fields(ui.SaveFileRequests()[0]), Fields({"", "*.fxb", kBanks, "fxb", true, false}));
    EXPECT_EQ(ReadBytes(first).size(), 292u); // 2 programs of 3 parameters
    EXPECT_EQ(probe.m_strBankFile, first);
    EXPECT_EQ(profile.GetString("FxbFiles", "Path", ""), dir.Path().string());

    // Save again: the same file, no dialog.
    probe.SetParameter(0, 0.125f);
    std::filesystem::remove(first);
    Commands().OnSaveBank(0);
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(first));

    // Load into the other instance starts in the stored folder, restores every program and
    // remembers where the bank came from.
    std::filesystem::create_directories(dir.File("banks"));
    const std::string second = dir.File("banks/second.fxb");
    std::filesystem::copy_file(first, second);
    ui.AnswerOpenFile(second);
    Commands().OnLoadBank(1);
    ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
    EXPECT_EQ(Fields(ui.OpenFileRequests()[0]),
              Fields({"", dir.Path().string() + "/*.fxb", kBanks, "fxb", false, false}));
    CSeqEffect& other = *host.GetSeqEffect(1);
    EXPECT_EQ(other.Dispatch(effGetProgram), 0);
    EXPECT_FLOAT_EQ(ProgramValue(other, 1, 0), 0.125f);
    EXPECT_FLOAT_EQ(ProgramValue(other, 1, 2), 0.875f);
    EXPECT_FLOAT_EQ(ProgramValue(other, 0, 0), 0.5f);
    EXPECT_EQ(other.m_strBankFile, second);
    EXPECT_EQ(ui.RefreshedSlots().back(), 1);
    EXPECT_EQ(profile.GetString("FxbFiles", "Path", ""), dir.File("banks"));

    // Without an effect, Save does nothing at all; a bank that cannot be written is reported.
    Commands().OnSaveBank(3);
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
    ui.AnswerSaveFile(dir.File("no/such/folder.fxb"));
    Commands().OnSaveBankAs(0);
    EXPECT_EQ(ui.SaveFileRequests()[1].initialPath, dir.File("banks") + "/*.fxb");
    EXPECT_EQ(Texts(), std::vector<std::string>{"Error saving file"});
}

TEST_F(FileCommandsTest, MidiExportAsksInTheMidiFolderAndReportsAFileItCannotWrite) {
    pattern.AddNote(0, 60, 100, 1);
    const std::string path = dir.File("song.mid");
    ui.AnswerSaveFile(path);
    Commands().OnExportMidi();
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(Fields(ui.SaveFileRequests()[0]),
              Fields({"", "*.mid", "Midi Files (.mid)|*.mid|All Files|*.*||", "mid", true, true}));
    EXPECT_EQ(ReadBytes(path).size(), 14u + 8u + 21u + 8u);
    EXPECT_EQ(profile.GetString("MidiFiles", "Path", ""), dir.Path().string());

    // The export only reads the pattern: it runs while the pattern plays.
    pattern.Start();
    ASSERT_TRUE(pattern.IsPlaying());
    const std::string missing = dir.File("no/such/folder.mid");
    ui.AnswerSaveFile(missing);
    Commands().OnExportMidi();
    EXPECT_EQ(ui.SaveFileRequests()[1].initialPath, dir.Path().string() + "/*.mid");
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::Error);
    pattern.Stop();
}

TEST_F(FileCommandsTest, AProjectWithTheSynthAndAChunkPluginSurvivesSaveAndOpen) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-chunk")), 2);
    ASSERT_TRUE(host.RemoveEffect(1)); // slots 0 and 2: two records
    CSeqEffect& synth = *host.GetSeqEffect(0);
    synth.SetParameter(1, 0.125f); // in program 0: every program is saved
    synth.Dispatch(effSetProgram, 0, 2);
    synth.SetParameter(0, 0.3f);
    synth.SetParameter(1, 0.6f);
    host.GetSeqEffect(2)->Dispatch(effSetProgram, 0, 1);
    host.GetSeqEffect(2)->SetParameter(1, 0.4375f);
    pattern.SetTempo(133);
    pattern.SetMeasures(8);
    pattern.SetStepsPerMeasure(32);
    const std::vector<NoteRecord> notes = {
        {0, 60, 100, 4}, {0, 64, 90, 2}, {37, 48, 1, 1}, {128, 72, 127, 30}, {255, 127, 64, 1}};
    for (const NoteRecord& note : notes)
        ASSERT_TRUE(pattern.AddNote(note.step, note.key, note.velocity, note.length));
    const std::string path = dir.File("song.tsn");
    ui.AnswerSaveFile(path);
    Commands().OnSave();
    const std::string projects = "Zorvil Files (.tsn)|*.tsn|All Files|*.*||";
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(Fields(ui.SaveFileRequests()[0]), Fields({"", "*.tsn", projects, "tsn", true, true}));
    EXPECT_EQ(titles.back(), "Zorvil by Ostrelworks - " + path);
    EXPECT_EQ(profile.GetString("TsnFiles", "Path", ""), dir.Path().string());

    pattern.Reset();
    synth.SetParameter(0, 0.9f);
    ui.AnswerOpenFile(path);
    Commands().OnOpen();
    EXPECT_EQ(Fields(ui.OpenFileRequests().at(0)),
              Fields({"", dir.Path().string() + "/*.tsn", projects, "tsn", false, false}));
    EXPECT_EQ(NotesOf(pattern), notes);
    EXPECT_EQ(std::tuple(pattern.GetTempo(), pattern.GetMeasures(), pattern.GetStepsPerMeasure()),
              std::tuple(133, 8, 32));
    CSeqEffect& reopened = *host.GetSeqEffect(0);
    EXPECT_EQ(reopened.Dispatch(effGetProgram), 2);
    EXPECT_FLOAT_EQ(ProgramValue(reopened, 2, 0), 0.3f);
    EXPECT_FLOAT_EQ(ProgramValue(reopened, 2, 1), 0.6f);
    EXPECT_FLOAT_EQ(ProgramValue(reopened, 0, 1), 0.125f);
    CSeqEffect& chunkProbe = *host.GetSeqEffect(1);
    EXPECT_EQ(chunkProbe.Dispatch(effGetProgram), 1);
    EXPECT_FLOAT_EQ(ProgramValue(chunkProbe, 1, 1), 0.4375f);
    EXPECT_EQ(Commands().GetPath(), path);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    Commands().OnSave(); // no dialog: the current path
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
}

} // namespace
} // namespace zorvil
